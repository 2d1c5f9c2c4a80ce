"""Frame times of the browser build against the desktop build, measured in one run:
the same replay (tests/data/stage1.input, every frame drawn on the reference device,
no window) run by the desktop replay runner and inside the page in headless Chromium,
and the page's own title screen and game on WebGL 2 with its frame rate.

    python3 bench/web_frames.py <page dir> <desktop build dir> [repeats]
"""
import os
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import cdp  # noqa: E402


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    page, native = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    path = os.path.join(ROOT, "tests", "data", "stage1.input")
    text = open(path).read()
    frames = len(text.splitlines())
    desktop, browser_ms = [], []
    with cdp.serve(page) as url:
        for _ in range(repeats):
            started = time.perf_counter()
            subprocess.run([os.path.join(native, "quillrun-replay"), "--seed", "20261207", "--input", path, "--frames",
                            str(frames), "--hash"], cwd=native, check=True, capture_output=True)
            desktop.append((time.perf_counter() - started) * 1000 / frames)
            with cdp.Browser() as browser:
                browser.navigate(url + "index.html?replay")
                browser.wait_for("!!(window.Module && Module.ready)")
                ms = browser.evaluate(
                    "(function(){var t=performance.now();Module.ccall('QrReplay','string',['number','string','number'],"
                    "[20261207,%s,%d]);return performance.now()-t;})()" % (json_string(text), frames))
                browser_ms.append(ms / frames)
        with cdp.Browser() as browser:
            browser.send("Emulation.setDeviceMetricsOverride", width=800, height=600, deviceScaleFactor=1,
                         mobile=False)
            browser.navigate(url + "index.html")
            browser.wait_for("!!(window.Module && Module.questionShownAt)")
            browser.evaluate("document.getElementById('no').click()")
            browser.wait_for("Module._QrProbe(1) >= 10")
            f0, p0, us0, t0 = browser.evaluate("[Module._QrProbe(1), Module._QrProbe(2), Module._QrProbe(8), performance.now()]")
            time.sleep(5)
            f1, p1, us1, t1 = browser.evaluate("[Module._QrProbe(1), Module._QrProbe(2), Module._QrProbe(8), performance.now()]")
    d, b = min(desktop), min(browser_ms)
    print("replay of %d frames on the reference device, best of %d:" % (frames, repeats))
    print("  desktop runner (whole process) %.3f ms/frame, page %.3f ms/frame: page / desktop = %.2f" % (d, b, b / d))
    seconds = (t1 - t0) / 1000
    print("title screen on WebGL 2 in headless Chromium: %.1f game frames/s, %.1f display frames/s, "
          "%.3f ms of game code per frame" % ((f1 - f0) / seconds, (p1 - p0) / seconds, (us1 - us0) / 1000 / max(f1 - f0, 1)))
    print("load average: %s" % open("/proc/loadavg").read().split()[0])


def json_string(text):
    import json
    return json.dumps(text)


if __name__ == "__main__":
    main()
