"""A real reverse proxy in front of board processes, for the tests and the benchmark:
Debian's nginx, started from a folder of its own with its own configuration, as the test
user when run as root (a proxy has no business running as root here), spreading requests
over the boards in turn and adding the client's address to X-Forwarded-For, as an
operator's proxy would. The boards are started with --trust-proxy 127.0.0.1.

    with NginxProxy(["http://127.0.0.1:4001", ...], folder) as proxy:
        proxy.url  -> "http://127.0.0.1:PORT"
"""
import os
import pwd
import shutil
import socket
import subprocess
import time

NGINX = "/usr/sbin/nginx"
TEST_USER = "quillrun-test"


def nginx_missing():
    """Why the proxy cannot run here, or None."""
    if not os.access(NGINX, os.X_OK):
        return "nginx is not installed (scripts/setup --test installs nginx-light)"
    if os.getuid() == 0:
        try:
            pwd.getpwnam(TEST_USER)
        except KeyError:
            return "run as root, the proxy needs the user %s (scripts/setup --test makes it)" % TEST_USER
    return None


def as_test_user():
    """The setpriv prefix that runs a program as the test user when we are root."""
    if os.getuid() != 0:
        return []
    user = pwd.getpwnam(TEST_USER)
    return ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups"]


class NginxProxy:
    def __init__(self, upstreams, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        if os.getuid() == 0:
            user = pwd.getpwnam(TEST_USER)
            os.chown(folder, user.pw_uid, user.pw_gid)
        self.upstreams = [u.split("://", 1)[-1] for u in upstreams]
        self.process = None

    def config(self, port):
        d = self.folder
        servers = "".join("    server %s;\n" % u for u in self.upstreams)
        return f"""worker_processes 2;
pid {d}/nginx.pid;
error_log {d}/error.log warn;
events {{ worker_connections 4096; }}
http {{
  access_log off;
  client_body_temp_path {d}/body;
  proxy_temp_path {d}/proxy;
  fastcgi_temp_path {d}/fastcgi;
  uwsgi_temp_path {d}/uwsgi;
  scgi_temp_path {d}/scgi;
  client_max_body_size 8m;
  upstream boards {{
{servers}    keepalive 64;
  }}
  server {{
    listen 127.0.0.1:{port};
    location / {{
      proxy_pass http://boards;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_set_header Host $host;
      proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;
      proxy_read_timeout 600s;
      # A submission is never sent to a second board: it may have been taken by the first.
      proxy_next_upstream off;
    }}
  }}
}}
"""

    def __enter__(self):
        # A port found free and taken by nginx a moment later: tried again if another
        # program took it in between.
        for _ in range(5):
            probe = socket.socket()
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
            probe.close()
            conf = os.path.join(self.folder, "nginx.conf")
            with open(conf, "w") as f:
                f.write(self.config(port))
            log = open(os.path.join(self.folder, "startup.log"), "w+")
            self.process = subprocess.Popen(
                as_test_user() + [NGINX, "-e", os.path.join(self.folder, "error.log"), "-p", self.folder,
                                  "-c", conf, "-g", "daemon off;"], stdout=log, stderr=log)
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline and self.process.poll() is None:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    self.url = "http://127.0.0.1:%d" % port
                    return self
                except OSError:
                    time.sleep(0.05)
            self.stop()
            log.seek(0)
            why = log.read() + open(os.path.join(self.folder, "error.log")).read()
            if "Address already in use" not in why:
                raise AssertionError("nginx did not start: " + why)
        raise AssertionError("nginx found no free port")

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)
