"""The browser build in headless Chromium: the page starts, the title screen matches the
desktop build's picture of the same frame, mouse and keys play the game, and replays run
inside the page end with the desktop replay runner's hashes.

    python3 tests/web/web_test.py <page dir> <desktop build dir>

Prints the figures it measures (sizes, load time, frame times) on stderr."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

PAGE = None
NATIVE = None
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
FIGURES = []


def figure(text):
    FIGURES.append(text)
    print("figure: " + text, file=sys.stderr)


def replay_runner(*args):
    result = subprocess.run([os.path.join(NATIVE, "quillrun-replay")] + [str(a) for a in args],
                            cwd=NATIVE, capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        raise AssertionError("quillrun-replay %s failed: %s" % (args, result.stderr))
    return result.stdout


def desktop_picture(seed, frames):
    """The reference device's picture of frame `frames` of a title screen from `seed`."""
    with tempfile.TemporaryDirectory() as scratch:
        shot = os.path.join(scratch, "title.png")
        # An empty input: nothing held, no motion (the runner takes files and pipes only).
        nothing = os.path.join(scratch, "nothing.txt")
        open(nothing, "w").close()
        replay_runner("--seed", seed, "--input", nothing, "--frames", frames, "--screenshot", shot,
                      "--at", frames)
        with open(shot, "rb") as f:
            return cdp.decode_png(f.read())


def open_game(browser, url, query=""):
    """Loads the page, answers No to the start-up question and waits for the first frames."""
    browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1, mobile=False)
    browser.navigate(url + "index.html" + query)
    browser.wait_for("!!(window.Module && Module.questionShownAt)")
    caption = browser.evaluate("document.getElementById('question-caption').textContent")
    text = browser.evaluate("document.getElementById('question-text').textContent")
    assert (caption, text) == ("disp mode", "FULL SCREEN ?"), (caption, text)
    browser.evaluate("Module.answeredAt = performance.now(); document.getElementById('no').click()")
    browser.wait_for("Module._QrProbe(1) >= 1")


def compare(picture, reference):
    """Share of pixels whose channels all lie within 8 levels, over the whole picture and
    over the reference's lit pixels (the texts and stars), so a black page cannot pass."""
    w, h, a = picture
    rw, rh, b = reference
    assert (w, h) == (rw, rh) == (800, 600), ((w, h), (rw, rh))
    close = lit = lit_close = 0
    for i in range(0, w * h * 3, 3):
        ok = abs(a[i] - b[i]) <= 8 and abs(a[i + 1] - b[i + 1]) <= 8 and abs(a[i + 2] - b[i + 2]) <= 8
        close += ok
        if b[i] + b[i + 1] + b[i + 2] > 96:
            lit += 1
            lit_close += ok
    return close / (w * h), lit_close / max(lit, 1), lit


def lit_in(picture, left, top, right, bottom, minimum=200):
    w, _, px = picture
    return sum(1 for y in range(top, bottom) for x in range(left, right)
               if min(px[(y * w + x) * 3:(y * w + x) * 3 + 3]) >= minimum)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = cdp.serve(PAGE)
        cls.url = cls.server.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def check_title(self, webgl, device_word):
        seed, frames = 5, 40
        with cdp.Browser(webgl=webgl) as browser:
            open_game(browser, self.url, "?seed=%d&frames=%d" % (seed, frames))
            browser.wait_for("Module._QrProbe(1) == %d" % frames)
            time.sleep(0.2)   # the last frame reaches the screen
            picture = browser.screenshot_rgb()
            devices = [line for line in browser.console if line.startswith("d3d8: ")]
        self.assertTrue(any(device_word in line for line in devices), devices)
        whole, lit, count = compare(picture, desktop_picture(seed, frames))
        figure("title on the %s: %.2f %% of pixels within 8 levels, %.2f %% of the %d lit ones"
               % (device_word, whole * 100, lit * 100, count))
        self.assertGreater(count, 2000)
        self.assertGreaterEqual(whole, 0.99)
        self.assertGreaterEqual(lit, 0.70)

    def test_title_screen_matches_the_desktop_picture_on_webgl2(self):
        self.check_title(True, "hardware device")

    def test_without_webgl2_the_reference_device_draws_the_same_title(self):
        self.check_title(False, "reference device")

    def test_mouse_and_keys_play_the_game(self):
        with cdp.Browser() as browser:
            open_game(browser, self.url)
            figure("load to the title screen: %.0f ms from navigation to the question, %.0f ms from the answer "
                   "to the first frame" % tuple(browser.evaluate(
                       "[Module.questionShownAt, Module.firstFrameAt - Module.answeredAt]")))
            title = browser.screenshot_rgb()
            self.assertEqual(browser.evaluate("Module._QrProbe(0)"), 0)
            # The sound library is bound from the built-in table and its seven effects are
            # loaded; the browser holds the audio back until the first click.
            self.assertEqual(browser.evaluate("Module._QrProbe(9)"), 1)
            self.assertEqual(browser.evaluate("Object.keys(AL.buffers).filter(function(k){return k > 0}).length"), 7)
            self.assertEqual(browser.evaluate("AL.currentCtx.audioCtx.state"), "suspended")
            # A click on the canvas starts the normal game; the hand starts at (200, 300).
            browser.mouse("mouseMoved", 400, 300)
            browser.mouse("mousePressed", 400, 300, "left", 1)
            browser.wait_for("Module._QrProbe(0) == 1")
            browser.mouse("mouseReleased", 400, 300, "left", 0)
            browser.wait_for("AL.currentCtx.audioCtx.state == 'running'", timeout=10)
            start = browser.evaluate("[Module._QrProbe(3), Module._QrProbe(4)]")
            self.assertEqual(start, [20000, 30000])
            # Moving the mouse moves the hand the same way (right and down).
            for step in range(1, 11):
                browser.mouse("mouseMoved", 400 + 12 * step, 300 + 6 * step)
                time.sleep(0.03)
            moved = browser.wait_for("Module._QrProbe(3) > 21000 && Module._QrProbe(4) > 30300 && "
                                     "[Module._QrProbe(3), Module._QrProbe(4)]", timeout=10)
            self.assertGreater(moved[0] - start[0], moved[1] - start[1])
            # The HUD's white line at the top left shows while playing, not on the title.
            time.sleep(0.2)
            playing = browser.screenshot_rgb()
            self.assertGreater(lit_in(playing, 20, 20, 400, 40), 40)
            self.assertLess(lit_in(title, 20, 20, 400, 40), 10)
            # The click took the pointer; the browser keeps Escape to give it back, so the
            # first Escape frees the mouse and the second goes back to the title screen.
            self.assertEqual(browser.evaluate("String(document.pointerLockElement && document.pointerLockElement.id)"),
                             "canvas")
            browser.key("rawKeyDown", "Escape", "Escape", 27)
            browser.key("keyUp", "Escape", "Escape", 27)
            browser.wait_for("!document.pointerLockElement", timeout=10)
            self.assertEqual(browser.evaluate("Module._QrProbe(0)"), 1)
            browser.key("rawKeyDown", "Escape", "Escape", 27)
            browser.wait_for("Module._QrProbe(0) == 0", timeout=10)
            browser.key("keyUp", "Escape", "Escape", 27)
            self.assertEqual(browser.evaluate("Module._QrProbe(7)"), 1)
            # Frames follow their 22 ms deadlines: never more than one per deadline.
            f0, t0, us0 = browser.evaluate("[Module._QrProbe(1), performance.now(), Module._QrProbe(8)]")
            p0 = browser.evaluate("Module._QrProbe(2)")
            time.sleep(3)
            f1, t1, us1 = browser.evaluate("[Module._QrProbe(1), performance.now(), Module._QrProbe(8)]")
            p1 = browser.evaluate("Module._QrProbe(2)")
            self.assertLessEqual(f1 - f0, (t1 - t0) / 22 + 2)
            self.assertGreater(f1 - f0, 0)
            figure("title screen in headless Chromium: %.1f frames/s over %.0f display frames/s, %.2f ms per frame"
                   % ((f1 - f0) * 1000 / (t1 - t0), (p1 - p0) * 1000 / (t1 - t0), (us1 - us0) / 1000 / max(f1 - f0, 1)))

    def test_the_lock_asks_for_unadjusted_motion_and_falls_back_to_the_plain_lock(self):
        # A spy on the canvas's lock request, put in before the click: it notes each call's
        # options and, when `refuse` is set, rejects calls that pass any (as a browser
        # without unadjusted motion does); plain calls go to the browser.
        spy = ("(function(refuse){var original = HTMLCanvasElement.prototype.requestPointerLock;"
               "window.lockCalls = [];"
               "HTMLCanvasElement.prototype.requestPointerLock = function(options) {"
               "  window.lockCalls.push(options === undefined ? null : JSON.stringify(options));"
               "  if (options !== undefined && refuse)"
               "    return Promise.reject(new DOMException('not here', 'NotSupportedError'));"
               "  return original.apply(this, arguments);"
               "}; return true;})(%s)")
        for refuse in (False, True):
            with self.subTest(refused=refuse), cdp.Browser() as browser:
                open_game(browser, self.url)
                browser.evaluate(spy % ("true" if refuse else "false"))
                browser.mouse("mouseMoved", 400, 300)
                browser.mouse("mousePressed", 400, 300, "left", 1)
                browser.wait_for("Module._QrProbe(0) == 1")
                browser.mouse("mouseReleased", 400, 300, "left", 0)
                self.assertEqual(browser.wait_for("document.pointerLockElement && document.pointerLockElement.id",
                                                  timeout=10), "canvas")
                calls = browser.evaluate("window.lockCalls")
                self.assertEqual(calls[0], '{"unadjustedMovement":true}', calls)
                if refuse:
                    self.assertEqual(calls, ['{"unadjustedMovement":true}', None])
                # Locked either way, the hand follows the mouse.
                start = browser.evaluate("Module._QrProbe(3)")
                for step in range(1, 11):
                    browser.mouse("mouseMoved", 400 + 12 * step, 300)
                    time.sleep(0.03)
                browser.wait_for("Module._QrProbe(3) > %d" % (start + 1000), timeout=10)

    def test_yes_plays_in_the_browsers_full_screen(self):
        with cdp.Browser() as browser:
            browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1,
                         mobile=False)
            browser.navigate(self.url + "index.html")
            browser.wait_for("!!(window.Module && Module.questionShownAt)")
            browser.click_element("#yes")
            self.assertEqual(browser.wait_for("document.fullscreenElement && document.fullscreenElement.id",
                                              timeout=10), "screen")
            browser.wait_for("Module._QrProbe(1) >= 5")
            self.assertEqual(browser.evaluate("Module._QrProbe(0)"), 0)

    def test_replays_in_the_page_end_with_the_desktop_hashes(self):
        # (seed, input file, the desktop runner's hash): the kept stage-1 recording, and a
        # normal and a random game of the built-in player recorded here on the desktop,
        # whose recording runs give their hashes.
        with tempfile.TemporaryDirectory() as scratch:
            stage1 = os.path.join(SOURCE, "tests", "data", "stage1.input")
            with open(stage1) as f:
                frames = frame_count(f.read())
            runs = [(20261207, stage1, replay_runner("--seed", 20261207, "--input", stage1, "--frames", frames,
                                                     "--hash").strip())]
            with open(os.path.join(SOURCE, "tests", "data", "stage1.hash")) as f:
                self.assertEqual(runs[0][2], f.read().strip())
            whole = os.path.join(SOURCE, "tests", "data", "wholegame.input")
            if os.path.exists(whole):
                with open(whole) as f:
                    frames = frame_count(f.read())
                # A whole normal game of the built-in player: it ends on ALL CLEAR.
                self.assertIn("state all-clear",
                              replay_runner("--seed", 7, "--input", whole, "--frames", frames, "--summary"))
                runs.append((7, whole, replay_runner("--seed", 7, "--input", whole, "--frames", frames,
                                                     "--hash").strip()))
            for seed, mode in ((11, "normal"), (3, "random")):
                recorded = os.path.join(scratch, mode + ".input")
                runs.append((seed, recorded, replay_runner("--seed", seed, "--play", mode, "--frames", 1000,
                                                           "--record", recorded, "--hash").strip()))
            for seed, path, expected in runs:
                with open(path) as f:
                    text = f.read()
                frames = frame_count(text)
                with cdp.Browser() as browser:
                    browser.navigate(self.url + "index.html?replay")
                    browser.wait_for("!!(window.Module && Module.ready)")
                    got, ms = browser.evaluate(
                        "(function(){var t=performance.now();var h=Module.ccall('QrReplay','string',"
                        "['number','string','number'],[%d,%s,%d]);return [h, performance.now()-t];})()"
                        % (seed, json_string(text), frames))
                self.assertEqual(got, expected, os.path.basename(path))
                figure("replay %s (seed %d, %d frames) in the page: hash %s, %.2f ms per frame"
                       % (os.path.basename(path), seed, frames, got, ms / frames))
            # A recording of other rules is refused by its header, naming both versions.
            with cdp.Browser() as browser:
                browser.navigate(self.url + "index.html?replay")
                browser.wait_for("!!(window.Module && Module.ready)")
                refused = browser.evaluate(
                    "Module.ccall('QrReplay','string',['number','string','number'],[3,%s,10])"
                    % json_string("# quillrun-record 2 rules 999 seed 3\n0 0 0 0 0 0\n"))
            self.assertTrue(refused.startswith("error: line 1: recorded under rules 999"), refused)
            self.assertIn("plays rules ", refused)


def frame_count(text):
    """The frames of an input file: its lines less the header (# quillrun-record seed N)
    that recordings start with; counting it would replay one frame past the recording."""
    return sum(1 for line in text.splitlines() if not line.startswith("#"))


def json_string(text):
    import json
    return json.dumps(text)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: web_test.py <page dir> <desktop build dir>")
    PAGE, NATIVE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    sizes = {name: os.path.getsize(os.path.join(PAGE, name)) for name in ("quillrun.wasm", "quillrun.js", "quillrun.data")}
    figure("sizes: .wasm %d bytes, .js %d bytes, .data %d bytes" % (sizes["quillrun.wasm"], sizes["quillrun.js"],
                                                                    sizes["quillrun.data"]))
    program = unittest.main(argv=sys.argv[:1] + sys.argv[3:], exit=False, verbosity=2)
    sys.exit(0 if program.result.wasSuccessful() else 1)
