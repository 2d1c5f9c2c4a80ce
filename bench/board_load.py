"""The leaderboard under load, on this machine: the whole POST path of one normal game
(parse, play, store, answer) one at a time, then 200 whole games sent at once, then
GET /api/top under wrk; on SQLite and on PostgreSQL (a throwaway cluster started here),
and on PostgreSQL with three boards behind nginx, with the database's own CPU a game.
Then, on SQLite, the board's memory while 128 clients download at once the largest game
it takes (a game after 1,990,000 title frames), and other clients' GET /api/top while
one address holds 1,100 connections sending a header byte a second.

    python3 bench/board_load.py <build dir> [--games N] [--seconds S] [--only-attacks | --no-attacks]

The baseline, measured in the same run: the replay runner playing the same recording to
its end, as a process of its own. Needs wrk (scripts/setup --test installs it)."""
import concurrent.futures
import gzip
import json
import os
import re
import resource
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "board"))
from nginx_proxy import NginxProxy, nginx_missing  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Board:
    def __init__(self, build, db, *options):
        self.process = subprocess.Popen([os.path.join(build, "quillrun-board"), "--db", db, "--port", "0"] +
                                        list(options), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        if "listening on http://" not in line:
            raise SystemExit("the board did not start: %r" % line)
        self.url = line.split("listening on ", 1)[1].strip().rstrip("/")

    def submit(self, record, name, url=None):
        req = urllib.request.Request((url or self.url) + "/api/games?name=" + urllib.parse.quote(name), data=record,
                                     method="POST", headers={"Content-Type": "text/plain"})
        started = time.perf_counter()
        try:
            with urllib.request.urlopen(req, timeout=600) as r:
                status, body = r.status, r.read()
        except urllib.error.HTTPError as e:
            status, body = e.code, e.read()
        return status, json.loads(body), time.perf_counter() - started

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=120)


def whole_game(build, work):
    """A normal game played to ALL CLEAR: the built-in player's game from seed 7 with
    the Enter key (which only shows the HUD's caption) held on its eleventh frame, so it
    is no longer the player's own game and the board plays it through. The games sent
    are variants of it (see variant), which may end otherwise."""
    path = os.path.join(work, "player.rec")
    subprocess.run([os.path.join(build, "quillrun-replay"), "--seed", "7", "--play", "normal", "--frames", "7200",
                    "--record", path], check=True, capture_output=True)
    lines = open(path, "rb").read().split(b"\n")
    values = lines[11].split()
    values[5] = b"1" if values[5] == b"0" else b"0"
    lines[11] = b" ".join(values)
    record = b"\n".join(lines)
    path = os.path.join(work, "game.rec")
    with open(path, "wb") as f:
        f.write(record)
    return record, path


def variant(record, n):
    """The game with its hand's motion on its twentieth frame n pixels longer: a game of
    its own (the board keeps each game once), which plays a little differently."""
    lines = record.split(b"\n")
    values = lines[21].split()
    values[0] = b"%d" % (int(values[0]) + n)
    lines[21] = b" ".join(values)
    return b"\n".join(lines)


def baseline(build, path, rounds):
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        subprocess.run([os.path.join(build, "quillrun-replay"), "--input", path, "--summary"], check=True,
                       capture_output=True)
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def at_once(submit, record, label, how, first):
    """200 games sent at once through `submit`: (taken, wall seconds); prints the figures."""
    started = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(200) as pool:
        results = list(pool.map(lambda n: submit(variant(record, first + n), "many-%d" % (first + n)), range(200)))
    wall = time.perf_counter() - started
    taken = [r for r in results if r[0] == 201]
    print("%s  200 games at once, %s: %d taken, %d refused; all answered in %.1f s; 99th percentile %.2f s;"
          " %.1f games a second" % (label, how, len(taken), 200 - len(taken), wall,
                                    percentile([r[2] for r in results], 99), 200 / wall))
    assert len({r[1]["id"] for r in taken}) == len(taken), "two games given one id"
    return taken, wall


def postgres_cpu(cluster):
    """CPU seconds the cluster has used so far: the postmaster, its live backends, and
    the backends that have ended (counted in its children's times)."""
    with open(os.path.join(cluster, "postmaster.pid")) as f:
        master = int(f.readline())
    total = 0.0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(entry) == master:
            total += sum(int(v) for v in fields[11:15])
        elif int(fields[1]) == master:
            total += int(fields[11]) + int(fields[12])
    return total / os.sysconf("SC_CLK_TCK")


def behind_proxy(build, db, cluster, record, work, base_rate):
    """Three boards on one PostgreSQL behind nginx against one board on the same
    database; and how much of a game's CPU is the database's."""
    boards = [Board(build, db, "--rate", "1000000", "--queue", "1024", "--trust-proxy", "127.0.0.1")
              for _ in range(3)]
    try:
        with NginxProxy([b.url for b in boards], os.path.join(work, "nginx")) as proxy:
            cpu_before = sum(cpu_seconds(b.process.pid) for b in boards)
            pg_before = postgres_cpu(cluster)
            taken, wall = at_once(lambda r, n: boards[0].submit(r, n, proxy.url), record, "PostgreSQL",
                                  "three boards behind nginx", 5000)
            board_cpu = (sum(cpu_seconds(b.process.pid) for b in boards) - cpu_before) / len(taken)
            pg_cpu = (postgres_cpu(cluster) - pg_before) / len(taken)
        cores = os.cpu_count()
        print("PostgreSQL  three boards: %.2f of one board's games a second on %d cores; CPU a game: boards %.1f ms,"
              " database %.2f ms: one more machine adds about %.0f games a second a core, and the database's"
              " core is full at about %.0f games a second" %
              (len(taken) / wall / base_rate, cores, board_cpu * 1e3, pg_cpu * 1e3, 1 / board_cpu,
               1 / pg_cpu if pg_cpu > 0 else float("inf")))
    finally:
        for b in boards:
            b.stop()


def measure(build, db, record, games, seconds, base, label):
    # Every client here is one address: its share of connections is not what is measured.
    board = Board(build, db, "--rate", "1000000", "--queue", "1024", "--connections-per-address", "0")
    try:
        # One at a time: the whole POST path of one game.
        cpu_before = cpu_seconds(board.process.pid)
        times = []
        for n in range(games):
            status, answer, took = board.submit(variant(record, n + 1), "one-%d" % n)
            assert status == 201, answer
            times.append(took)
        cpu = (cpu_seconds(board.process.pid) - cpu_before) / games
        median, p99 = statistics.median(times), percentile(times, 99)
        print("%s  one game at a time (%d games, %s %d frames): median %.1f ms, 99th %.1f ms, CPU %.1f ms a game;"
              " %.2f of the replay runner's whole process (%.1f ms)" %
              (label, games, answer["end"], answer["frames"], median * 1e3, p99 * 1e3, cpu * 1e3, median / base,
               base * 1e3))

        taken, wall = at_once(board.submit, record, label, "one board", 1000)
        with urllib.request.urlopen(board.url + "/api/top?mode=normal&limit=100", timeout=60) as r:
            top = json.load(r)

        # The top list under wrk: as the board answers it (a list kept for a second),
        # and from a board that asks the database every time, on the same database.
        top_list(board.url, seconds, label, "kept a second")
        uncached = Board(build, db, "--top-cache", "0", "--connections-per-address", "0")
        try:
            top_list(uncached.url, seconds, label, "database every time")
        finally:
            uncached.stop()
        return len(top["games"]), len(taken) / wall
    finally:
        board.stop()


def top_list(url, seconds, label, how):
    out = subprocess.run(["wrk", "-t2", "-c32", "-d%ds" % seconds, "--latency", url + "/api/top?mode=normal&limit=10"],
                         check=True, capture_output=True, text=True).stdout
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    p99 = re.search(r"99%\s+([\d.]+)(us|ms|s)", out)
    p99_ms = float(p99.group(1)) * {"us": 1e-3, "ms": 1.0, "s": 1e3}[p99.group(2)]
    non2xx = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    print("%s  GET /api/top, %s (32 connections, %d s): %.0f requests a second, 99th percentile %.2f ms%s" %
          (label, how, seconds, rate, p99_ms, ", %s failed" % non2xx.group(1) if non2xx else ""))


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:")) / 1024.0


class PeakRss:
    """The board's resident memory, sampled every 5 ms while a `with` block runs."""

    def __init__(self, pid):
        self.pid, self.peak, self.done = pid, 0.0, threading.Event()

    def __enter__(self):
        self.before = rss_mb(self.pid)
        self.thread = threading.Thread(target=self.sample)
        self.thread.start()
        return self

    def sample(self):
        while not self.done.is_set():
            self.peak = max(self.peak, rss_mb(self.pid))
            time.sleep(0.005)

    def __exit__(self, *exc):
        self.done.set()
        self.thread.join()


def downloads(build, work):
    """128 clients downloading at once the largest game the board takes: the test data's
    whole game after 1,990,000 title frames (about 24 MB as text)."""
    # All 128 from one address: its share of connections (where the board has one) is
    # not what is measured here.
    share = ["--connections-per-address", "0"] if "--connections-per-address" in subprocess.run(
        [os.path.join(build, "quillrun-board"), "--help"], capture_output=True, text=True).stdout else []
    board = Board(build, os.path.join(work, "downloads.sqlite"), "--rate", "1000", *share)
    try:
        game = open(os.path.join(SOURCE, "tests/data/wholegame.input"), "rb").read()
        body = gzip.compress(b"# quillrun-record 2 rules 1 seed 1\n" + b"0 0 0 0 0 0\n" * 1990000 + game, 9)
        req = urllib.request.Request(board.url + "/api/games?name=long", data=body, method="POST",
                                     headers={"Content-Type": "text/plain", "Content-Encoding": "gzip"})
        with urllib.request.urlopen(req, timeout=600) as r:
            kept = json.load(r)

        def fetch(accept):
            headers = {"Accept-Encoding": accept} if accept else {}
            try:
                with urllib.request.urlopen(urllib.request.Request(board.url + kept["url"], headers=headers),
                                            timeout=600) as r:
                    return r.status, len(r.read())
            except urllib.error.HTTPError as e:
                return e.code, 0

        for accept in (None, "gzip"):
            with PeakRss(board.process.pid) as rss:
                with concurrent.futures.ThreadPoolExecutor(128) as pool:
                    results = list(pool.map(fetch, [accept] * 128))
            sizes = sorted({size for status, size in results if status == 200})
            print("downloads, %s: %d KB sent; 128 at once: %d answered 200 (%s bytes each), %d others; board RSS %.0f MB"
                  " before, %.0f MB at most" % ("Accept-Encoding: gzip" if accept else "no Accept-Encoding",
                                                len(body) // 1024, sum(1 for s, _ in results if s == 200), sizes,
                                                sum(1 for s, _ in results if s != 200), rss.before, rss.peak))
    finally:
        board.stop()


def slow_connections(build, work, seconds):
    """One address (127.0.0.1) opening 1,100 connections that each send a header byte a
    second, and another (127.0.0.2) asking GET /api/top one request at a time meanwhile."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    board = Board(build, os.path.join(work, "slow.sqlite"))
    port = int(board.url.rsplit(":", 1)[1])
    try:
        def top_times(duration):
            times = []
            end = time.monotonic() + duration
            while time.monotonic() < end:
                started = time.perf_counter()
                try:
                    conn = socket.create_connection(("127.0.0.2", port), timeout=5, source_address=("127.0.0.2", 0))
                    conn.sendall(b"GET /api/top?mode=normal HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n")
                    while conn.recv(65536):
                        pass
                    conn.close()
                    times.append(time.perf_counter() - started)
                except OSError:
                    times.append(5.0)   # no answer within 5 s
                time.sleep(0.01)
            return times

        quiet = top_times(3)
        held, stop = [], threading.Event()

        def attack():
            for _ in range(1100):
                try:
                    s = socket.create_connection(("127.0.0.1", port), timeout=5)
                    s.sendall(b"GET / HTTP/1.1\r\nHost: b\r\n")
                    held.append(s)
                except OSError:
                    pass
            while not stop.is_set():
                for s in list(held):
                    try:
                        s.send(b"x")
                    except OSError:
                        held.remove(s)
                        s.close()
                stop.wait(1)

        attacker = threading.Thread(target=attack)
        attacker.start()
        time.sleep(3)
        opened = len(held)
        loaded = top_times(seconds)
        still = len(held)
        stop.set()
        attacker.join()
        for s in held:
            s.close()
        print("slow connections: other client's GET /api/top, quiet: 99th percentile %.1f ms (%d requests); while"
              " one address held %d of 1,100 slow connections (%d after %d s): 99th percentile %.1f ms, median"
              " %.1f ms, %d without an answer in 5 s (%d requests)" %
              (percentile(quiet, 99) * 1e3, len(quiet), opened, still, seconds, percentile(loaded, 99) * 1e3,
               statistics.median(loaded) * 1e3, sum(1 for t in loaded if t >= 5.0), len(loaded)))
    finally:
        board.stop()


def main():
    build = os.path.abspath(sys.argv[1])
    games = int(sys.argv[sys.argv.index("--games") + 1]) if "--games" in sys.argv else 30
    seconds = int(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 10
    work = tempfile.mkdtemp(prefix="quillrun-board-bench-")
    os.chmod(work, 0o755)
    cluster = os.path.join(work, "cluster")
    try:
        if "--no-attacks" not in sys.argv:
            downloads(build, work)
            slow_connections(build, work, seconds)
        if "--only-attacks" in sys.argv:
            return
        record, path = whole_game(build, work)
        base = baseline(build, path, 9)
        measure(build, os.path.join(work, "board.sqlite"), record, games, seconds, base, "SQLite    ")
        uri = subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "start", cluster],
                             check=True, capture_output=True, text=True).stdout.strip().splitlines()[-1]
        _, one_board = measure(build, uri, record, games, seconds, base, "PostgreSQL")
        if nginx_missing():
            print("PostgreSQL  three boards behind nginx: not measured: " + nginx_missing())
        else:
            behind_proxy(build, uri, cluster, record, work, one_board)
    finally:
        if os.path.isdir(cluster):
            subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "stop", cluster])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
