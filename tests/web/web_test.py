"""The browser build in headless Chromium: the page starts, the title screen matches the
desktop build's picture of the same frame, mouse and keys play the game, fingers play it
on a phone, the page installs and plays offline, replays run inside the page end with
the desktop replay runner's hashes, and a recording fetched with "?watch=URL" plays to
the end the desktop replay runner gives it.

    python3 tests/web/web_test.py <page dir> <desktop build dir>

Prints the figures it measures (sizes, load time, frame times) on stderr."""
import base64
import functools
import html
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

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


def open_game(browser, url, query="", scale=1):
    """Loads the page, answers No to the start-up question and waits for the first frames."""
    browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=scale, mobile=False)
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


class ServedPage(unittest.TestCase):
    """The page served on a port of its own for the tests of a class."""
    @classmethod
    def setUpClass(cls):
        cls.server = cdp.serve(PAGE)
        cls.url = cls.server.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)


class Page(ServedPage):
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

    def test_a_dense_screen_shows_each_game_pixel_as_a_square_of_its_own(self):
        # The title's button lines, on a screen of one and of two device pixels per CSS pixel.
        seed, frames, left, top, width, height = 5, 40, 200, 360, 400, 60
        shots = {}
        for scale in (1, 2):
            with cdp.Browser() as browser:
                open_game(browser, self.url, "?seed=%d&frames=%d" % (seed, frames), scale=scale)
                browser.wait_for("Module._QrProbe(1) == %d" % frames)
                time.sleep(0.2)   # the last frame reaches the screen
                sizes = browser.evaluate("(function(c){return [c.width, c.height, c.clientWidth, c.clientHeight]})"
                                         "(document.getElementById('canvas'))")
                self.assertEqual(sizes, [800 * scale, 600 * scale, 800, 600])
                shots[scale] = cdp.decode_png(base64.b64decode(browser.send(
                    "Page.captureScreenshot", format="png",
                    clip=dict(x=left, y=top, width=width, height=height, scale=1))["data"]))
                self.assertEqual(shots[scale][:2], (width * scale, height * scale))
        # Every lit game pixel covers two device pixels each way, all four alike and of its
        # colour on the plain screen: a filtered picture blurs the edges of every stroke.
        one, two = shots[1][2], shots[2][2]
        lit = square = 0
        for y in range(height):
            for x in range(width):
                pixel = one[(y * width + x) * 3:(y * width + x) * 3 + 3]
                if sum(pixel) <= 96:
                    continue
                lit += 1
                square += all(max(abs(a - b) for a, b in zip(pixel, two[i:i + 3])) <= 8
                              for i in (((2 * y + dy) * 2 * width + 2 * x + dx) * 3 for dy in (0, 1) for dx in (0, 1)))
        figure("title at 2 device pixels per CSS pixel: %.1f %% of %d lit game pixels drawn as even squares of "
               "their colour" % (100 * square / max(lit, 1), lit))
        self.assertGreater(lit, 1000)
        self.assertGreaterEqual(square / lit, 0.97)

    def test_the_button_and_alt_enter_take_the_full_screen_and_leave_it(self):
        full = "String(document.fullscreenElement && document.fullscreenElement.id)"
        alt_enter = dict(key="Enter", code="Enter", windowsVirtualKeyCode=13, nativeVirtualKeyCode=13, modifiers=1)
        with cdp.Browser() as browser:
            open_game(browser, self.url)
            for way in ("button", "Alt+Enter"):
                for expected in ("screen", "null"):
                    if way == "button":
                        browser.click_element("#full")
                    else:
                        browser.send("Input.dispatchKeyEvent", type="rawKeyDown", **alt_enter)
                        browser.send("Input.dispatchKeyEvent", type="keyUp", **alt_enter)
                    self.assertEqual(browser.wait_for("%s == %r && %s" % (full, expected, full), timeout=10),
                                     expected, way)
            # The game runs on, on its title screen.
            self.assertEqual(browser.evaluate("[Module._QrProbe(7), Module._QrProbe(0)]"), [1, 0])

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


def tap(browser, x, y, fingers=1, apart=0.0):
    """A tap of one or two fingers side by side; the second lands `apart` seconds later."""
    points = [(x, y, 1), (x + 40, y, 2)][:fingers]
    # The fingers land `apart` on the browser's side whatever a busy page's answers take.
    sent = []
    for down in range(1, fingers + 1):
        sent.append(browser.touch("touchStart", *points[:down], wait=False))
        time.sleep(apart if down < fingers else 0.05)
    for post in sent:
        browser.answer("touch", post)
    browser.touch("touchEnd")


def centre(browser, selector):
    return browser.evaluate("(function(){var r=document.querySelector(%r).getBoundingClientRect();"
                            "return [r.left + r.width / 2, r.top + r.height / 2];})()" % selector)


def turn_phone(browser, landscape=True):
    """A phone of 844 x 390 CSS pixels at 3 device pixels each, touch only."""
    width, height, kind, angle = (844, 390, "landscapePrimary", 90) if landscape else (390, 844, "portraitPrimary", 0)
    browser.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
    browser.send("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=3, mobile=True,
                 screenOrientation={"type": kind, "angle": angle})


def open_phone(browser, url, start=False):
    """The page on the phone held on its side, No tapped; with `start` a tap starts a game."""
    turn_phone(browser)
    browser.navigate(url + "index.html")
    browser.wait_for("!!(window.Module && Module.questionShownAt)")
    tap(browser, *centre(browser, "#no"))
    browser.wait_for("Module._QrProbe(1) >= 1")
    if start:
        tap(browser, 422, 195)
        browser.wait_for("Module._QrProbe(0) == 1", timeout=10)
        browser.wait_for("!document.getElementById('back').hidden", timeout=10)


class Offline(cdp.QuietHandler):
    """The page's folder, or while `off` is set no answer at all, as with no network."""
    off = False

    def do_GET(self):
        if Offline.off:
            self.close_connection = True
            return
        super().do_GET()


class OnAPhone(ServedPage):
    """Fingers are the mouse's buttons and move the hand, a back control and the system's
    back are Escape, the page holds still, and it installs and plays with no network."""

    def test_taps_start_the_games(self):
        # (how, random mode): the two fingers land two frames apart, as fingers do.
        cases = [("one finger", lambda b: tap(b, 422, 195), 0),
                 ("one finger held", lambda b: b.touch("touchStart", (422, 195, 1)), 0),
                 ("two fingers", lambda b: tap(b, 400, 195, fingers=2, apart=0.045), 1)]
        for how, fingers, random_mode in cases:
            with self.subTest(how), cdp.Browser() as browser:
                open_phone(browser, self.url)
                fingers(browser)
                browser.wait_for("Module._QrProbe(0) == 1", timeout=10)
                self.assertEqual(browser.evaluate("Module._QrProbe(15)"), random_mode)
                # A finger is no mouse: the pointer stays free.
                self.assertIsNone(browser.evaluate("document.pointerLockElement"))

    def test_fingers_move_the_hand_and_hold_the_buttons(self):
        probe = "[Module._QrProbe(1), Module._QrProbe(3), Module._QrProbe(4), Module._QrProbe(16), Module._QrProbe(14)]"
        with cdp.Browser() as browser:
            open_phone(browser, self.url, start=True)
            width = browser.evaluate("document.getElementById('canvas').getBoundingClientRect().width")
            _, x0, y0, _, _ = browser.evaluate(probe)
            for step in range(21):
                browser.touch("touchStart" if step == 0 else "touchMove", (300 + 10 * step, 200, 1))
                time.sleep(0.02)
            browser.touch("touchEnd")
            time.sleep(0.6)   # the hand's smoothed motion comes to rest
            _, x1, y1, _, _ = browser.evaluate(probe)
            expected = 200 * 800 / width
            figure("a 200 CSS pixel swipe over a %.0f CSS pixel picture moved the hand %.2f game pixels (%.2f expected)"
                   % (width, (x1 - x0) / 100, expected))
            self.assertAlmostEqual((x1 - x0) / 100, expected, delta=2)
            self.assertAlmostEqual((y1 - y0) / 100, 0, delta=2)
            # (fingers held, frames per world update, power each update takes): the blade
            # takes 2, the slow motion 5 more.
            points = [(300, 200, 1), (500, 200, 2)]
            for fingers, frames_per_update, cost in ((1, 1, 2), (2, 3, 7)):
                browser.touch("touchStart", *points[:fingers])
                time.sleep(0.2)
                f0, _, _, p0, _ = browser.evaluate(probe)
                time.sleep(1.0)
                f1, _, _, p1, slow = browser.evaluate(probe)
                self.assertEqual(slow, fingers - 1, fingers)
                self.assertAlmostEqual((p0 - p1) / cost, (f1 - f0) / frames_per_update, delta=1.5, msg=fingers)
            # Lifting the second finger lets go of the right button only.
            browser.touch("touchEnd", points[1])
            browser.wait_for("Module._QrProbe(14) == 0", timeout=10)
            self.assertEqual(browser.evaluate("[Module._QrProbe(0), JSON.stringify(fingers.map(function(f){"
                                              "return [f.id, f.button]}))]"), [1, "[[1,1]]"])

    def test_the_back_control_and_the_systems_back_return_to_the_title(self):
        def system_back(browser):
            history = browser.send("Page.getNavigationHistory")
            browser.send("Page.navigateToHistoryEntry", entryId=history["entries"][history["currentIndex"] - 1]["id"])

        for how, back in (("back control", lambda b: tap(b, *centre(b, "#back"))), ("system back", system_back)):
            with self.subTest(how), cdp.Browser() as browser:
                open_phone(browser, self.url, start=True)
                # Beside the picture, not over it.
                self.assertLessEqual(*browser.evaluate("[document.getElementById('back').getBoundingClientRect().right,"
                                                       " document.getElementById('canvas').getBoundingClientRect().left]"))
                for game in range(2):   # the same page, still running, goes back from its next game too
                    if game:
                        tap(browser, 422, 195)
                        browser.wait_for("!document.getElementById('back').hidden", timeout=10)
                    back(browser)
                    browser.wait_for("Module._QrProbe(0) == 0 && document.getElementById('back').hidden", timeout=10)
                    self.assertEqual(browser.evaluate("Module._QrProbe(7)"), 1)

    def test_the_page_holds_still_and_waits_while_upright(self):
        with cdp.Browser() as browser:
            open_phone(browser, self.url)
            # The picture fills the height, 4:3, in the middle.
            self.assertEqual(browser.evaluate("(function(){var r=document.getElementById('canvas')"
                                              ".getBoundingClientRect();return [r.left, r.top, r.width, r.height];})()"),
                             [162, 0, 520, 390])
            browser.send("Input.synthesizePinchGesture", x=422, y=195, scaleFactor=2.5, gestureSourceType="touch")
            browser.send("Input.synthesizeScrollGesture", x=422, y=100, yDistance=250, xDistance=-200,
                         gestureSourceType="touch")
            self.assertEqual(browser.evaluate("[visualViewport.scale, scrollX, scrollY, visualViewport.pageTop]"),
                             [1, 0, 0, 0])
            # A long press opens no menu.
            self.assertFalse(browser.evaluate("document.getElementById('canvas').dispatchEvent(new MouseEvent("
                                              "'contextmenu', {bubbles: true, cancelable: true}))"))
            # Upright, a line asks to turn the phone and no frame runs; turned back, they do.
            turn_phone(browser, landscape=False)
            browser.wait_for("!document.getElementById('turn').hidden", timeout=10)
            time.sleep(0.1)
            f0 = browser.evaluate("Module._QrProbe(1)")
            time.sleep(0.5)
            self.assertEqual(browser.evaluate("Module._QrProbe(1)"), f0)
            turn_phone(browser)
            browser.wait_for("document.getElementById('turn').hidden && Module._QrProbe(1) > %d" % (f0 + 5), timeout=10)

    def test_the_page_installs_plays_offline_and_takes_a_new_build(self):
        with tempfile.TemporaryDirectory() as scratch:
            page = os.path.join(scratch, "web")
            shutil.copytree(PAGE, page)
            server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Offline, directory=page))
            threading.Thread(target=server.serve_forever, daemon=True).start()
            url = "http://127.0.0.1:%d/" % server.server_address[1]
            caches = "caches.keys().then(function (names) { return names.join(' '); })"
            try:
                with cdp.Browser() as browser:
                    open_game(browser, url)
                    manifest = browser.send("Page.getAppManifest")
                    self.assertEqual(manifest.get("errors"), [])
                    manifest = json.loads(manifest["data"])
                    self.assertEqual((manifest["name"], manifest["display"], manifest["orientation"]),
                                     ("quillrun", "fullscreen", "landscape"))
                    for icon in manifest["icons"]:
                        with urllib.request.urlopen(url + icon["src"], timeout=30) as r:
                            self.assertEqual("%dx%d" % cdp.decode_png(r.read())[:2], icon["sizes"])
                    browser.wait_for("!!navigator.serviceWorker.controller", timeout=60)
                    first = browser.evaluate(caches, await_promise=True)
                    self.assertRegex(first, r"^quillrun-[0-9a-f]{16}$")
                    def network(on):
                        Offline.off = not on
                        browser.send("Network.emulateNetworkConditions", offline=not on, latency=0,
                                     downloadThroughput=-1, uploadThroughput=-1)

                    # No network: the page comes from the cache and plays.
                    network(False)
                    open_game(browser, url)
                    self.assertEqual(browser.evaluate("Module._QrProbe(0)"), 0)
                    network(True)
                    # A new build's worker replaces the cache at the next visit.
                    with open(os.path.join(page, "sw.js")) as f:
                        worker = f.read().replace(first, "quillrun-0123456789abcdef")
                    with open(os.path.join(page, "sw.js"), "w") as f:
                        f.write(worker)
                    open_game(browser, url)
                    deadline = time.time() + 60
                    while browser.evaluate(caches, await_promise=True) != "quillrun-0123456789abcdef":
                        self.assertLess(time.time(), deadline, "the new build's cache did not replace the old")
                        time.sleep(0.2)
            finally:
                Offline.off = False
                server.shutdown()
                server.server_close()


class BoardLike(cdp.QuietHandler):
    """The page under /play/ and recordings as text/plain under /api/games/ID, as the
    leaderboard serves them."""
    recordings = {}

    def do_GET(self):
        path = self.path.split("?")[0]
        if path.startswith("/api/games/"):
            body = self.recordings.get(path[len("/api/games/"):])
            if body is None:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif path.startswith("/play/"):
            self.path = self.path[len("/play"):]
            super().do_GET()
        else:
            self.send_error(404)


def summary(path):
    """The desktop replay runner's end of a recording: frame, state, score, shield."""
    fields = replay_runner("--input", path, "--frames", 10 ** 7, "--summary").split()
    assert fields[0::2] == ["ended", "state", "score", "shield"], fields
    return int(fields[1]), fields[3].replace("-", " "), int(fields[5]), int(fields[7])


def press(browser, key, code, key_code):
    browser.key("rawKeyDown", key, code, key_code)
    browser.key("keyUp", key, code, key_code)


class Watching(unittest.TestCase):
    """index.html?watch=URL: the page fetches a recording and plays it as the desktop's
    --watch does."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        # The whole game of the kept input from seed 1, up to the frame it ends on, as
        # the leaderboard serves a submitted game.
        with open(os.path.join(SOURCE, "tests", "data", "wholegame.input")) as f:
            frames = f.read().splitlines()
        whole = cls.recording("whole", "# quillrun-record 2 rules 1 seed 1\n", frames)
        cls.ended = summary(whole)[0]
        cls.frames = frames[:cls.ended]
        cls.game = cls.recording("game", "# quillrun-record 2 rules 1 seed 1\n# game begins at frame 0\n",
                                 cls.frames)
        handler = functools.partial(BoardLike, directory=PAGE)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.origin = "http://127.0.0.1:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.scratch.cleanup()
        BoardLike.recordings.clear()

    @classmethod
    def recording(cls, name, head, frames):
        """Serves a recording as /api/games/<name>; returns its file for the desktop runner."""
        text = head + "".join(line + "\n" for line in frames)
        BoardLike.recordings[name] = text.encode()
        path = os.path.join(cls.scratch.name, name + ".txt")
        with open(path, "w") as f:
            f.write(text)
        return path

    def open_watch(self, browser, url):
        browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1, mobile=False)
        browser.navigate(self.origin + "/play/index.html?watch=" + url)
        return browser.wait_for("window.Module && Module.ready && "
                                "(Module.watchFailed || (Module._QrProbe(1) >= 1 && 'watching'))")

    def status(self, browser):
        return browser.evaluate("document.getElementById('status').textContent")

    def expected_line(self, path, frames):
        _, state, score, shield = summary(path)
        return "Watched to frame %d: %s, score %d, shield %d" % (frames - 1, state, score, shield)

    def test_a_whole_game_plays_to_the_desktops_end_with_the_keys_of_watching(self):
        self.assertEqual(summary(self.game)[:3], (self.ended, "game over", 19037))
        with cdp.Browser() as browser:
            self.assertEqual(self.open_watch(browser, "/api/games/game"), "watching")
            # No start-up question; the game starts at x1 from the run's first frame.
            self.assertTrue(browser.evaluate("document.getElementById('question').hidden"))
            self.assertEqual(browser.evaluate("[Module._QrProbe(11), Module._QrProbe(12)]"), [1, 0])
            self.assertRegex(self.status(browser), r"^Watching frame \d+ of %d at x1\." % (self.ended - 1))
            # A click takes no pointer; a key lets the sound start.
            browser.click_element("#canvas")
            self.assertFalse(browser.evaluate("!!document.pointerLockElement"))
            # Space pauses; the right arrow then steps one frame per press; Space again goes on.
            press(browser, " ", "Space", 32)
            browser.wait_for("Module._QrProbe(12) == 1")
            held = browser.evaluate("Module._QrProbe(10)")
            time.sleep(0.3)
            self.assertEqual(browser.evaluate("Module._QrProbe(10)"), held)
            self.assertIn(", paused.", self.status(browser))
            press(browser, "ArrowRight", "ArrowRight", 39)
            browser.wait_for("Module._QrProbe(10) == %d" % (held + 1))
            time.sleep(0.2)
            self.assertEqual(browser.evaluate("Module._QrProbe(10)"), held + 1)
            press(browser, " ", "Space", 32)
            browser.wait_for("Module._QrProbe(10) > %d" % (held + 5))
            self.assertEqual(browser.evaluate("AL.currentCtx.audioCtx.state"), "running")
            # 4: eight of the run's frames per game frame, to the end.
            press(browser, "4", "Digit4", 52)
            browser.wait_for("Module._QrProbe(11) == 8")
            f0, s0 = browser.evaluate("[Module._QrProbe(1), Module._QrProbe(10)]")
            started = time.time()
            time.sleep(1)
            f1, s1 = browser.evaluate("[Module._QrProbe(1), Module._QrProbe(10)]")
            self.assertEqual(s1 - s0, 8 * (f1 - f0))
            browser.wait_for("Module._QrProbe(13) == 1", timeout=120)
            took = time.time() - started
            figure("watching at x8 in headless Chromium: the run's frames %d to %d in %.1f s, %.0f frames/s"
                   % (s0, self.ended, took, (self.ended - s0) / took))
            self.assertEqual(self.status(browser), self.expected_line(self.game, self.ended))
            self.assertEqual(browser.evaluate("Module._QrProbe(10)"), self.ended)
            # The last picture stays: the desktop's picture of the game's last frame.
            browser.evaluate("document.getElementById('status').hidden = true")
            time.sleep(0.3)
            picture = browser.screenshot_rgb()
            self.assertEqual(browser.evaluate("Module._QrProbe(10)"), self.ended)
            # Escape ends the watching; the line stays.
            press(browser, "Escape", "Escape", 27)
            browser.wait_for("Module.ended")
            self.assertTrue(self.status(browser).startswith(self.expected_line(self.game, self.ended) + ". Reload"))
        with tempfile.TemporaryDirectory() as scratch:
            shot = os.path.join(scratch, "end.png")
            replay_runner("--input", self.game, "--frames", self.ended, "--screenshot", shot, "--at", self.ended)
            with open(shot, "rb") as f:
                reference = cdp.decode_png(f.read())
        whole, lit, count = compare(picture, reference)
        figure("the watched game's last picture: %.2f %% of pixels within 8 levels, %.2f %% of the %d lit ones"
               % (whole * 100, lit * 100, count))
        self.assertGreater(count, 2000)
        self.assertGreaterEqual(whole, 0.99)
        self.assertGreaterEqual(lit, 0.70)

    def test_the_frames_before_the_game_are_stepped_unseen(self):
        # The same run watched from its frame 5400 (a relative address): the first frame
        # shown is the run's 5400th, and it ends as the whole run does.
        late = self.recording("late", "# quillrun-record 2 rules 1 seed 1\n# game begins at frame 5400\n",
                              self.frames)
        with cdp.Browser() as browser:
            self.assertEqual(self.open_watch(browser, "../api/games/late"), "watching")
            first = browser.evaluate("[Module._QrProbe(1), Module._QrProbe(10)]")
            self.assertGreaterEqual(first[1], 5401)
            self.assertLessEqual(first[1], 5400 + first[0])
            browser.wait_for("Module._QrProbe(13) == 1", timeout=30)
            self.assertEqual(self.status(browser), self.expected_line(late, self.ended))

    def test_recordings_the_page_will_not_play_are_named_on_the_status_line(self):
        good = ["0 0 1 0 0 0", "0 0 0 0 0 0"]
        self.recording("rules999", "# quillrun-record 2 rules 999 seed 1\n", good)
        self.recording("malformed", "# quillrun-record 2 rules 1 seed 1\n", good + ["3 4 x 0 0 0"] + good)
        self.recording("noheader", "", good)
        refused = "^Cannot watch the recording: "
        cases = [("/api/games/rules999", refused + r"/api/games/rules999: recorded under rules 999, but this "
                                         r"quillrun plays rules \d+"),
                 ("/api/games/malformed", refused + r"/api/games/malformed:4: not a frame's input"),
                 ("/api/games/noheader", refused + r"/api/games/noheader has no \"# quillrun-record\" header"),
                 ("/api/games/404", r"^Cannot fetch /api/games/404: 404 "),
                 ("http://127.0.0.1:1/nothing", r"^Cannot fetch http://127.0.0.1:1/nothing: ")]
        with cdp.Browser() as browser:
            for url, expected in cases:
                with self.subTest(url=url):
                    self.assertTrue(self.open_watch(browser, url))
                    self.assertRegex(self.status(browser), expected)
                    # Nothing starts: no window, no frames.
                    self.assertEqual(browser.evaluate("[Module._QrProbe(1), Module._QrProbe(7)]"), [0, 0])


class OnTheBoard(unittest.TestCase):
    """The real leaderboard serving the page (--web): a game submitted to it, and the
    watch link its own page gives for that game plays it in the browser to the end the
    board computed."""

    def test_the_boards_watch_link_plays_the_game_it_proved(self):
        board_program = os.path.join(NATIVE, "quillrun-board")
        if not os.path.exists(board_program):
            self.skipTest("no quillrun-board in " + NATIVE)
        with tempfile.TemporaryDirectory() as scratch:
            recording = os.path.join(scratch, "stage1.rec")
            replay_runner("--seed", "1", "--input", os.path.join(SOURCE, "tests", "data", "stage1.input"),
                          "--record", recording)
            board = subprocess.Popen([board_program, "--db", os.path.join(scratch, "board.sqlite"), "--port", "0",
                                      "--bind", "127.0.0.1", "--web", PAGE], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)
            try:
                line = board.stdout.readline()
                self.assertIn("listening on http://", line)
                origin = line.split("listening on ", 1)[1].strip().rstrip("/")
                with open(recording, "rb") as f:
                    request = urllib.request.Request(origin + "/api/games?name=Watcher", data=f.read(),
                                                     headers={"Content-Type": "text/plain"}, method="POST")
                with urllib.request.urlopen(request, timeout=60) as r:
                    game = json.load(r)
                with urllib.request.urlopen(origin + "/", timeout=30) as r:
                    page = r.read().decode("utf-8")
                links = re.findall(r'href="(/play/index\.html\?watch=[^"]+)"', page)
                self.assertEqual(len(links), 1, page)
                with cdp.Browser() as browser:
                    browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1,
                                 mobile=False)
                    browser.navigate(origin + html.unescape(links[0]))
                    browser.wait_for("window.Module && Module.ready && Module._QrProbe(1) >= 1")
                    press(browser, "4", "Digit4", 52)
                    browser.wait_for("Module._QrProbe(13) == 1", timeout=120)
                    status = browser.evaluate("document.getElementById('status').textContent")
                self.assertEqual(status, "Watched to frame %d: game over, score %d, shield %d"
                                 % (game["began"] + game["frames"] - 1, game["score"], game["shield"]))
            finally:
                board.terminate()
                board.wait(timeout=30)


def frame_count(text):
    """The frames of an input file: its lines less the header (# quillrun-record seed N)
    that recordings start with; counting it would replay one frame past the recording."""
    return sum(1 for line in text.splitlines() if not line.startswith("#"))


def json_string(text):
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
