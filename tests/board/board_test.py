"""The leaderboard server as a player and a host meet it: quillrun-board started on
SQLite and on PostgreSQL (a throwaway cluster this test starts), a recorded real game
submitted and placed, every refusal one by one (the built-in player's own game among
them), hostile names shown as text in headless Chromium, the stored recording replayed
by quillrun-replay to the same end, rate limits held across two board processes sharing
one database, a board killed with SIGKILL while taking games keeping every game it
had answered for, and three boards on one PostgreSQL behind nginx taking 1,000 games
sent at once, each once.

    python3 tests/board/board_test.py <build dir>

QR_REQUIRE_POSTGRES=1 makes a missing PostgreSQL a failure instead of a skip."""
import concurrent.futures
import gzip
import http.client
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "web"))
BUILD = None
WORK = None
RECORDS = {}


def replay_runner(*args):
    return subprocess.run([os.path.join(BUILD, "quillrun-replay")] + list(args), check=True,
                          capture_output=True, text=True).stdout


def make_records():
    """The recordings submitted: two real games of the test data (seed 1), the built-in
    player's own game (seed 7) and the faulty ones made from them."""
    real = os.path.join(WORK, "real.rec")
    replay_runner("--seed", "1", "--input", os.path.join(SOURCE, "tests/data/wholegame.input"), "--record", real)
    low = os.path.join(WORK, "low.rec")
    replay_runner("--seed", "1", "--input", os.path.join(SOURCE, "tests/data/stage1.input"), "--record", low)
    bot = os.path.join(WORK, "bot.rec")
    replay_runner("--seed", "7", "--play", "normal", "--frames", "7200", "--record", bot)
    for name, path in (("real", real), ("low", low), ("bot", bot)):
        with open(path, "rb") as f:
            RECORDS[name] = f.read()
    lines = RECORDS["real"].split(b"\n")
    RECORDS["other-rules"] = b"\n".join([lines[0].replace(b"rules 1", b"rules 2")] + lines[1:])
    RECORDS["cut"] = b"\n".join(lines[:3001]) + b"\n"
    RECORDS["malformed"] = b"\n".join(lines[:5] + [b"0 0 x 0 0 0"] + lines[6:])
    frame = b"0 0 0 0 0 0\n"
    RECORDS["frames"] = gzip.compress(lines[0] + b"\n" + frame * 2000001, 1)
    RECORDS["bomb"] = gzip.compress(lines[0] + b"\n" + frame * 3600000, 1)
    RECORDS["big"] = RECORDS["real"] + b"#" * (4200 * 1024) + b"\n"


def low_variant(n):
    """The low game with its hand's first move n pixels longer: a game of its own (the
    board keeps each game once), for the checks that need many."""
    lines = RECORDS["low"].split(b"\n")
    first = next(i for i, line in enumerate(lines[1:], 1) if line[:4] != b"0 0 ")
    dx, rest = lines[first].split(b" ", 1)
    lines[first] = b"%d %s" % (int(dx) - n, rest)
    return b"\n".join(lines)


def kept_form(record, frames, score):
    """What the board keeps of a recording whose game began on frame 0: the header, the
    line naming that frame, the frames up to the game's end and a closing line, as the
    game's own --export writes a kept game."""
    lines = record.split(b"\n")
    frame_lines = [line for line in lines[1:] if not line.startswith(b"#")][:frames]
    return b"\n".join([lines[0], b"# game begins at frame 0"] + frame_lines +
                       [b"# frames %d score %d" % (frames, score), b""])


def clear_of_a_minutes_end():
    """A board counts each address's submissions in the minute of the clock they come in:
    a test of the limit waits until the next ones cannot straddle two minutes."""
    second = time.time() % 60
    if second > 40:
        time.sleep(60.5 - second)


class Board:
    """One quillrun-board process on a database; stopped (or killed) by the test."""

    def __init__(self, db, *options):
        self.db = db
        self.log = open(os.path.join(WORK, "board-%d.log" % time.monotonic_ns()), "w+")
        self.process = subprocess.Popen([os.path.join(BUILD, "quillrun-board"), "--db", db, "--port", "0"] +
                                        list(options), stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.process.stdout.readline()
        if "listening on http://" not in line:
            self.process.kill()
            self.process.wait()
            self.log.seek(0)
            raise AssertionError("the board did not start: %r %s" % (line, self.log.read()))
        self.url = line.split("listening on ", 1)[1].strip().rstrip("/")

    def request(self, method, path, body=None, headers=None):
        """(status, headers, body bytes); never raises for an HTTP status."""
        req = urllib.request.Request(self.url + path, data=body, method=method, headers=headers or {})
        try:
            with urllib.request.urlopen(req, timeout=120) as r:
                return r.status, dict(r.headers), r.read()
        except urllib.error.HTTPError as e:
            return e.code, dict(e.headers), e.read()

    def submit(self, record, name="Ada", game=None, headers=None):
        query = "?name=" + urllib.parse.quote(name, safe="")
        if game is not None:
            query += "&game=%s" % game
        all_headers = {"Content-Type": "text/plain"}
        all_headers.update(headers or {})
        status, _, body = self.request("POST", "/api/games" + query, record, all_headers)
        return status, json.loads(body.decode("utf-8"))

    def stop(self, kill=False):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL if kill else signal.SIGTERM)
        code = self.process.wait(timeout=60)
        self.process.stdout.close()
        self.log.close()
        return code


class BoardChecks:
    """The same checks on either database; a subclass gives `database()`."""

    def test_a_real_game_is_placed_and_every_refusal_has_its_status_and_reason(self):
        # Telling the built-in player's game takes its whole game of the player's choices:
        # seconds under the sanitizers, over the default minute on a busy machine.
        board = Board(self.database(), "--rate", "1000", "--time-limit", "600")
        try:
            status, game = board.submit(RECORDS["real"], name="Ada")
            self.assertEqual(status, 201, game)
            self.assertEqual((game["score"], game["end"], game["mode"], game["place"], game["began"]),
                             (19037, "over", "normal", 1, 0))
            status, low = board.submit(RECORDS["low"], name="Bo")
            self.assertEqual((status, low["score"], low["place"]), (201, 465, 2), low)
            # The same game again is named, not ranked, however it comes.
            kept = board.request("GET", "/api/games/%d" % game["id"])[2]
            lines = RECORDS["real"].split(b"\n", 1)
            copies = [
                ("gzip, another name", gzip.compress(RECORDS["real"]), {"Content-Encoding": "gzip"}),
                ("as the board serves it", kept, {}),
                ("seed 01", b"# quillrun-record 2 rules 1 seed 01\n" + lines[1], {}),
                ("a space after the header", lines[0] + b" \n" + lines[1], {}),
                ("the first recordings' header", b"# quillrun-record seed 1\n" + lines[1], {}),
                ("three title frames first, scoring 35532 there",
                 lines[0] + b"\n" + b"0 0 0 0 0 0\n" * 3 + lines[1], {}),
            ]
            for what, record, headers in copies:
                with self.subTest(what):
                    status, answer = board.submit(record, name="thief", headers=headers)
                    self.assertEqual((status, answer.get("error"), answer.get("game")), (409, "copy", game["id"]),
                                     answer)

            status, _, body = board.request("GET", "/api/top?mode=normal&limit=10")
            top = json.loads(body)
            self.assertEqual(status, 200)
            self.assertEqual([(g["name"], g["score"]) for g in top["games"]], [("Ada", 19037), ("Bo", 465)])
            status, _, body = board.request("GET", "/api/top?mode=random")
            self.assertEqual((status, json.loads(body)["games"]), (200, []))

            refusals = [
                ("other rules", RECORDS["other-rules"], {}, "Ada", 422, "other-rules"),
                ("no end", RECORDS["cut"], {}, "Ada", 422, "no-end"),
                ("malformed line", RECORDS["malformed"], {}, "Ada", 400, "malformed"),
                ("over 4 MB", RECORDS["big"], {}, "Ada", 413, "too-large"),
                ("over 40 MB opened", RECORDS["bomb"], {"Content-Encoding": "gzip"}, "Ada", 413, "too-large"),
                ("over 2,000,000 frames", RECORDS["frames"], {"Content-Encoding": "gzip"}, "Ada", 413, "too-large"),
                ("empty name", RECORDS["real"], {}, "", 400, "bad-name"),
                ("long name", RECORDS["real"], {}, "x" * 25, 400, "bad-name"),
                ("control in name", RECORDS["real"], {}, "a\x01b", 400, "bad-name"),
                ("only spaces", RECORDS["real"], {}, " \u3000 ", 400, "bad-name"),
                ("right-to-left override", RECORDS["real"], {}, "evil\u202egnp.exe", 400, "bad-name"),
                ("isolate", RECORDS["real"], {}, "\u2067x\u2069", 400, "bad-name"),
                ("zero width", RECORDS["real"], {}, "A\u200bda", 400, "bad-name"),
                ("tag", RECORDS["real"], {}, "Ada\U000e0041", 400, "bad-name"),
                ("line separator", RECORDS["real"], {}, "A\u2028da", 400, "bad-name"),
                ("noncharacter", RECORDS["real"], {}, "Ada\ufffe", 400, "bad-name"),
                ("private use", RECORDS["real"], {}, "Ada\ue000", 400, "bad-name"),
                ("the built-in player", RECORDS["bot"], {}, "Bot", 422, "built-in-player"),
            ]
            for what, record, headers, name, want_status, want_error in refusals:
                with self.subTest(what):
                    status, answer = board.submit(record, name=name, headers=headers)
                    self.assertEqual((status, answer.get("error")), (want_status, want_error), answer)
                    self.assertTrue(answer.get("reason"), answer)
            status, answer = board.submit(RECORDS["malformed"])
            self.assertIn("line 6", answer["reason"])
            status, answer = board.submit(low_variant(9), name="\u3000 Zo\u00eb ")
            self.assertEqual((status, answer["name"]), (201, "Zo\u00eb"), answer)
            self.assertIn("<td><bdi>Zo\u00eb</bdi></td>".encode(), board.request("GET", "/")[2])
            # A name that is not UTF-8 at all, sent as raw bytes.
            status, _, body = board.request("POST", "/api/games?name=%FF%FE", RECORDS["real"],
                                            {"Content-Type": "text/plain"})
            self.assertEqual((status, json.loads(body)["error"]), (400, "bad-name"))
            status, _, body = board.request("GET", "/api/games/999999")
            self.assertEqual(status, 404)
            # Nothing refused was kept.
            status, _, body = board.request("GET", "/api/top?mode=normal&limit=100")
            self.assertEqual(len(json.loads(body)["games"]), 3)

            # The game is kept as the game's own export writes one (the run up to its end),
            # and it replays to the same end.
            status, headers, body = board.request("GET", "/api/games/%d" % game["id"])
            self.assertEqual((status, body), (200, kept_form(RECORDS["real"], 5482, 19037)))
            kept = os.path.join(WORK, "kept-%s.rec" % self.__class__.__name__)
            with open(kept, "wb") as f:
                f.write(body)
            self.assertEqual(replay_runner("--input", kept, "--summary").strip(),
                             "ended 5482 state game-over score 19037 shield 0")
        finally:
            self.assertEqual(board.stop(), 0)

    def test_hostile_names_are_shown_as_text_in_the_page(self):
        import cdp
        board = Board(self.database(), "--rate", "1000")
        names = ["<img src=x onerror=p=1>", "<script>p=2</script>", "\"'&amp;</td>"]
        try:
            for n, name in enumerate(names):
                status, answer = board.submit(low_variant(n), name=name)
                self.assertEqual(status, 201, answer)
            with cdp.Browser(webgl=False) as browser:
                browser.navigate(board.url + "/")
                browser.wait_for("document.readyState === 'complete' && document.body !== null")
                self.assertEqual(browser.evaluate("typeof p"), "undefined")
                self.assertEqual(browser.evaluate("document.querySelectorAll('img').length"), 0)
                self.assertEqual(browser.evaluate("document.querySelectorAll('body script').length"), 0)
                text = browser.evaluate("document.body.innerText")
                for name in names:
                    self.assertIn(name, text)
        finally:
            self.assertEqual(board.stop(), 0)

    def test_rate_limits_hold_across_two_processes_and_trust_only_the_proxy(self):
        clear_of_a_minutes_end()
        database = self.database()
        one = Board(database, "--rate", "2", "--trust-proxy", "127.0.0.1")
        two = Board(database, "--rate", "2")
        try:
            forwarded = {"X-Forwarded-For": "203.0.113.7"}
            self.assertEqual(one.submit(RECORDS["cut"], headers=forwarded)[0], 422)
            self.assertEqual(one.submit(RECORDS["cut"], headers=forwarded)[0], 422)
            status, answer = one.submit(RECORDS["cut"], headers=forwarded)
            self.assertEqual((status, answer["error"]), (429, "too-many"))
            # Another address behind the same proxy has its own share.
            self.assertEqual(one.submit(RECORDS["cut"], headers={"X-Forwarded-For": "203.0.113.8"})[0], 422)
            # The second board trusts no proxy: the header is nobody's word, the share is
            # the peer's own, counted in the database both boards share.
            self.assertEqual(two.submit(RECORDS["cut"], headers=forwarded)[0], 422)
            self.assertEqual(one.submit(RECORDS["cut"], headers={"X-Forwarded-For": "127.0.0.1"})[0], 422)
            self.assertEqual(two.submit(RECORDS["cut"], headers=forwarded)[0], 429)
        finally:
            self.assertEqual(one.stop(), 0)
            self.assertEqual(two.stop(), 0)

    def test_two_boards_taking_one_game_at_once_keep_it_once(self):
        database = self.database()
        boards = [Board(database, "--rate", "1000") for _ in range(2)]
        try:
            with concurrent.futures.ThreadPoolExecutor(2) as pool:
                answers = list(pool.map(lambda b: b.submit(RECORDS["real"], name=b.url), boards))
            self.assertEqual(sorted(status for status, _ in answers), [201, 409], answers)
            kept = [answer["id"] for status, answer in answers if status == 201][0]
            self.assertEqual([answer["game"] for status, answer in answers if status == 409], [kept])
        finally:
            for board in boards:
                self.assertEqual(board.stop(), 0)

    def test_killed_while_taking_games_it_keeps_every_game_it_answered_for(self):
        database = self.database()
        board = Board(database, "--rate", "100000", "--workers", "2")
        answered = []
        records = [low_variant(n) for n in range(400)]

        def send(n):
            try:
                status, answer = board.submit(records[n], name="kill-%d" % n)
                if status == 201:
                    answered.append((answer["id"], kept_form(records[n], answer["frames"], answer["score"])))
            except (OSError, ValueError, urllib.error.URLError):
                pass   # cut off by the kill: never answered, so never promised

        with concurrent.futures.ThreadPoolExecutor(16) as pool:
            futures = [pool.submit(send, n) for n in range(400)]
            deadline = time.time() + 60
            while len(answered) < 20 and time.time() < deadline:
                time.sleep(0.01)
            board.stop(kill=True)
            for f in futures:
                f.result()
        self.assertGreaterEqual(len(answered), 20)
        again = Board(database, "--rate", "100000")
        try:
            for game_id, form in answered:
                status, _, body = again.request("GET", "/api/games/%d" % game_id)
                self.assertEqual((status, body), (200, form), game_id)
            status, _, body = again.request("GET", "/api/top?mode=normal&limit=100")
            listed = {g["id"] for g in json.loads(body)["games"]}
            self.assertTrue({i for i, _ in answered[:100]} <= listed or len(listed) == 100)
            status, answer = again.submit(RECORDS["real"], name="after")
            self.assertEqual((status, answer["place"]), (201, 1), answer)
        finally:
            self.assertEqual(again.stop(), 0)
        print("board test: %d games answered before SIGKILL, all kept" % len(answered), file=sys.stderr)


def submit_from(url, source, record, name, forwarded=None):
    """A submission sent from the local address `source` (any 127.x.y.z), so that a
    proxy sees one client of many: (status, answer)."""
    host, port = url.split("://", 1)[1].rsplit(":", 1)
    conn = http.client.HTTPConnection(host, int(port), timeout=600, source_address=(source, 0))
    headers = {"Content-Type": "text/plain"}
    if forwarded:
        headers["X-Forwarded-For"] = forwarded
    try:
        conn.request("POST", "/api/games?name=" + urllib.parse.quote(name, safe=""), record, headers)
        answer = conn.getresponse()
        return answer.status, json.loads(answer.read().decode("utf-8"))
    finally:
        conn.close()


class SQLiteBoard(BoardChecks, unittest.TestCase):
    def database(self):
        folder = tempfile.mkdtemp(prefix="sqlite-", dir=WORK)
        return os.path.join(folder, "board.sqlite")


class PostgreSQLBoard(BoardChecks, unittest.TestCase):
    cluster = None

    @classmethod
    def setUpClass(cls):
        if not [d for d in os.listdir("/usr/lib/postgresql") if os.path.exists(
                "/usr/lib/postgresql/%s/bin/initdb" % d)] if os.path.isdir("/usr/lib/postgresql") else True:
            if os.environ.get("QR_REQUIRE_POSTGRES") == "1":
                raise AssertionError("PostgreSQL's server is not installed (scripts/setup --test installs it)")
            raise unittest.SkipTest("PostgreSQL's server is not installed")
        cls.folder = tempfile.mkdtemp(prefix="pg-", dir="/tmp")
        os.chmod(cls.folder, 0o755)
        cls.cluster = os.path.join(cls.folder, "cluster")
        cls.count = 0
        cls.uri = subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "start", cls.cluster],
                                 check=True, capture_output=True, text=True).stdout.strip().splitlines()[-1]

    @classmethod
    def tearDownClass(cls):
        if cls.cluster:
            subprocess.run(["bash", os.path.join(SOURCE, "tests/board/pg_cluster.sh"), "stop", cls.cluster])
            shutil.rmtree(cls.folder, ignore_errors=True)

    def database(self):
        # A database of its own for each check, in the one cluster.
        PostgreSQLBoard.count += 1
        name = "board%d" % PostgreSQLBoard.count
        # The cluster's URI names its first database, "board": the others differ only there
        # (an empty host, as in postgresql:///board?host=..., does not survive urlunsplit).
        assert "/board?" in self.uri, self.uri
        env = dict(os.environ)
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", self.uri, "-c", "CREATE DATABASE %s" % name],
                       check=True, capture_output=True, env=env)
        return self.uri.replace("/board?", "/%s?" % name, 1)

    def test_three_boards_behind_a_proxy_take_a_thousand_games_once_each(self):
        from nginx_proxy import NginxProxy, nginx_missing
        if nginx_missing():
            if os.environ.get("QR_REQUIRE_POSTGRES") == "1":
                raise AssertionError(nginx_missing())
            self.skipTest(nginx_missing())
        database = self.database()
        boards = [Board(database, "--rate", "20", "--trust-proxy", "127.0.0.1", "--queue", "1024") for _ in range(3)]
        try:
            with NginxProxy([b.url for b in boards], os.path.join(WORK, "nginx")) as proxy:
                # 1,000 games from 100 clients, ten each, all at once through the proxy;
                # meanwhile 50 games each sent to two boards at once, straight.
                games = [(n, "127.0.1.%d" % (1 + n % 100), low_variant(1000 + n)) for n in range(1000)]
                twins = [(n, low_variant(3000 + n)) for n in range(50)]

                def send(job):
                    if job[0] == "proxy":
                        _, n, source, record = job
                        return job, submit_from(proxy.url, source, record, "p%d" % n)
                    _, n, record, board = job
                    return job, submit_from(board.url, "127.0.0.1", record, "t%d" % n, "198.51.100.%d" % n)

                jobs = [("proxy",) + g for g in games]
                for n, record in twins:
                    jobs[n * 20:n * 20] = [("twin", n, record, boards[n % 3]), ("twin", n, record, boards[(n + 1) % 3])]
                with concurrent.futures.ThreadPoolExecutor(96) as pool:
                    results = list(pool.map(send, jobs))

                taken = {}
                for job, (status, answer) in results:
                    if job[0] == "proxy":
                        self.assertEqual(status, 201, answer)
                        taken[answer["id"]] = kept_form(job[3], answer["frames"], answer["score"])
                self.assertEqual(len(taken), 1000, "two games given one id")
                for n, _ in twins:
                    answers = [a for job, a in results if job[0] == "twin" and job[1] == n]
                    self.assertEqual(sorted(status for status, _ in answers), [201, 409], answers)
                    kept = [a["id"] for status, a in answers if status == 201]
                    self.assertEqual([a["game"] for status, a in answers if status == 409], kept)
                # Every game answered for is there, as sent, from any board.
                for n, (game_id, form) in enumerate(sorted(taken.items())):
                    status, _, body = boards[n % 3].request("GET", "/api/games/%d" % game_id)
                    self.assertEqual((status, body), (200, form), game_id)

                # One client's share holds across the three: 20 a minute however the
                # proxy spreads its submissions.
                clear_of_a_minutes_end()
                statuses = [submit_from(proxy.url, "127.0.2.1", RECORDS["cut"], "limit")[0] for _ in range(24)]
                self.assertEqual(statuses, [422] * 20 + [429] * 4)

            # Each board's list, once its kept list is a second old, is the others'.
            time.sleep(1.1)
            tops = [json.loads(b.request("GET", "/api/top?mode=normal&limit=100")[2])["games"] for b in boards]
            self.assertEqual(len(tops[0]), 100)
            self.assertEqual(tops[1], tops[0])
            self.assertEqual(tops[2], tops[0])
        finally:
            for board in boards:
                self.assertEqual(board.stop(), 0)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    WORK = tempfile.mkdtemp(prefix="quillrun-board-test-")
    os.chmod(WORK, 0o755)
    try:
        make_records()
        unittest.main(verbosity=2)
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
