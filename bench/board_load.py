"""The leaderboard under load, on this machine: the whole POST path of one normal game
(parse, play, store, answer) one at a time, then 200 whole games sent at once, then
GET /api/top under wrk; on SQLite and on PostgreSQL (a throwaway cluster started here).

    python3 bench/board_load.py <build dir> [--games N] [--seconds S]

The baseline, measured in the same run: the replay runner playing the same recording to
its end, as a process of its own. Needs wrk (scripts/setup --test installs it)."""
import concurrent.futures
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


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

    def submit(self, record, name):
        req = urllib.request.Request(self.url + "/api/games?name=" + urllib.parse.quote(name), data=record,
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
    is no longer the player's own game and the board plays it through."""
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


def baseline(build, path, rounds):
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        subprocess.run([os.path.join(build, "quillrun-replay"), "--input", path, "--summary"], check=True,
                       capture_output=True)
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def measure(build, db, record, games, seconds, base, label):
    board = Board(build, db, "--rate", "1000000", "--queue", "1024")
    try:
        # One at a time: the whole POST path of one game.
        cpu_before = cpu_seconds(board.process.pid)
        times = []
        for n in range(games):
            status, answer, took = board.submit(record, "one-%d" % n)
            assert status == 201, answer
            times.append(took)
        cpu = (cpu_seconds(board.process.pid) - cpu_before) / games
        median, p99 = statistics.median(times), percentile(times, 99)
        print("%s  one game at a time (%d games, %s %d frames): median %.1f ms, 99th %.1f ms, CPU %.1f ms a game;"
              " %.2f of the replay runner's whole process (%.1f ms)" %
              (label, games, answer["end"], answer["frames"], median * 1e3, p99 * 1e3, cpu * 1e3, median / base,
               base * 1e3))

        # 200 at once.
        started = time.perf_counter()
        with concurrent.futures.ThreadPoolExecutor(200) as pool:
            results = list(pool.map(lambda n: board.submit(record, "many-%d" % n), range(200)))
        wall = time.perf_counter() - started
        taken = [r for r in results if r[0] == 201]
        answered = [r[2] for r in results]
        with urllib.request.urlopen(board.url + "/api/top?mode=normal&limit=100", timeout=60) as r:
            top = json.load(r)
        print("%s  200 games at once: %d taken, %d refused; all answered in %.1f s; 99th percentile %.2f s;"
              " %.1f games a second" % (label, len(taken), 200 - len(taken), wall, percentile(answered, 99),
                                        200 / wall))
        ids = {r[1]["id"] for r in taken}
        assert len(ids) == len(taken), "two games given one id"

        # The top list under wrk: as the board answers it (a list kept for a second),
        # and from a board that asks the database every time, on the same database.
        top_list(board.url, seconds, label, "kept a second")
        uncached = Board(build, db, "--top-cache", "0")
        try:
            top_list(uncached.url, seconds, label, "database every time")
        finally:
            uncached.stop()
        return len(top["games"])
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


def main():
    build = os.path.abspath(sys.argv[1])
    games = int(sys.argv[sys.argv.index("--games") + 1]) if "--games" in sys.argv else 30
    seconds = int(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 10
    work = tempfile.mkdtemp(prefix="quillrun-board-bench-")
    os.chmod(work, 0o755)
    cluster = os.path.join(work, "cluster")
    try:
        record, path = whole_game(build, work)
        base = baseline(build, path, 9)
        measure(build, os.path.join(work, "board.sqlite"), record, games, seconds, base, "SQLite    ")
        uri = subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "start", cluster],
                             check=True, capture_output=True, text=True).stdout.strip().splitlines()[-1]
        measure(build, uri, record, games, seconds, base, "PostgreSQL")
    finally:
        if os.path.isdir(cluster):
            subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "stop", cluster])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
