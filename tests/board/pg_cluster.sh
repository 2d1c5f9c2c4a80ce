#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the board's tests.
#   pg_cluster.sh start DIR   makes a new cluster in DIR (which must be empty or not yet
#                             exist), listening only on a unix socket in DIR, starts it,
#                             makes the database 'board' and prints one line: its libpq URI
#   pg_cluster.sh stop DIR    stops the cluster and removes DIR
# PostgreSQL will not run as root: run as root, the server and its tools run as the test
# user scripts/setup --test makes (DIR is then handed to it). Exits 77 when PostgreSQL's
# programs, or that user, are missing, so a caller can tell "not here" from "broken".
set -uo pipefail
test_user=quillrun-test

usage() { echo "usage: pg_cluster.sh start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
command=$1
dir=$2
case "$dir" in
  /*) ;;
  *) dir=$PWD/$dir ;;
esac

# The newest PostgreSQL installed.
bin=
for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5,5n); do
  [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ] && bin=$candidate
done

run_as=()
user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  if id -u "$test_user" >/dev/null 2>&1; then
    run_as=(setpriv --reuid="$(id -u "$test_user")" --regid="$(id -g "$test_user")" --clear-groups)
    user=$test_user
  fi
fi
# Only what the server needs from the environment, none of the caller's PG* settings.
as_server() { "${run_as[@]}" env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

case "$command" in
  start)
    if [ -z "$bin" ]; then
      echo "pg_cluster.sh: no PostgreSQL here (/usr/lib/postgresql/*/bin; scripts/setup --test installs it)" >&2
      exit 77
    fi
    if [ "$(id -u)" -eq 0 ] && [ ${#run_as[@]} -eq 0 ]; then
      echo "pg_cluster.sh: run as root, PostgreSQL needs the user $test_user (scripts/setup --test makes it)" >&2
      exit 77
    fi
    # The socket's path has room for about 100 characters.
    if [ ${#dir} -gt 80 ]; then
      echo "pg_cluster.sh: $dir is too long a path for the server's socket" >&2
      exit 1
    fi
    if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
      echo "pg_cluster.sh: $dir is not empty" >&2
      exit 1
    fi
    mkdir -p "$dir" || exit 1
    # The folder was empty: on failure it is removed again, with anything started in it.
    started=0
    give_up() {
      echo "pg_cluster.sh: $*" >&2
      [ $started = 1 ] && as_server "$bin/pg_ctl" -D "$dir" -m immediate -w stop >/dev/null 2>&1
      rm -rf "$dir"
      exit 1
    }
    if [ ${#run_as[@]} -gt 0 ]; then
      chown "$test_user:" "$dir" || give_up "cannot hand $dir to $test_user"
      as_server test -x "$(dirname "$dir")" || give_up "$test_user cannot reach $dir (its parent is closed to others)"
    fi
    chmod 700 "$dir" || give_up "cannot close $dir to others"
    # initdb's own syncing only makes its files durable; the server's fsync stays on.
    if ! out=$(as_server "$bin/initdb" -D "$dir" --auth=trust --encoding=UTF8 --locale=C --no-sync \
        --no-instructions 2>&1); then
      give_up "initdb failed: $(tail -n 3 <<<"$out" | tr '\n' ' ')"
    fi
    {
      echo "listen_addresses = ''"
      echo "unix_socket_directories = '$dir'"
      echo "fsync = on"
      echo "synchronous_commit = on"
      echo "max_connections = 60"
      echo "shared_buffers = 16MB"
    } >>"$dir/postgresql.conf" || give_up "cannot write $dir/postgresql.conf"
    started=1
    if ! as_server "$bin/pg_ctl" -D "$dir" -l "$dir/server.log" -w -t 60 start >/dev/null; then
      give_up "the server did not start: $(tail -n 3 "$dir/server.log" | tr '\n' ' ')"
    fi
    as_server "$bin/createdb" -h "$dir" -U "$user" board || give_up "cannot make the database 'board'"
    echo "postgresql:///board?host=$dir&user=$user"
    ;;
  stop)
    # Only a cluster's folder is removed, whatever is passed.
    if [ ! -f "$dir/PG_VERSION" ]; then
      echo "pg_cluster.sh: $dir is not a cluster" >&2
      exit 1
    fi
    status=0
    if [ -f "$dir/postmaster.pid" ]; then
      if [ -z "$bin" ]; then
        echo "pg_cluster.sh: no PostgreSQL here to stop $dir" >&2
        exit 1
      fi
      as_server "$bin/pg_ctl" -D "$dir" -m fast -w stop >/dev/null || status=1
    fi
    rm -rf "$dir" || status=1
    exit $status
    ;;
  *) usage ;;
esac
