"""The browser build on a phone, in headless Chromium emulating one (844 x 390 CSS
pixels at 3 device pixels each, touch only): the page's first load and a reload with
the network cut, each to the title screen; with the CPU slowed four times (the
browser's own throttling, as for a mid-range phone), the time of each pass of the game
(the world's update when one is due, and the picture drawn) while a finger swipes, its
median and 95th percentile against the 22 ms frame; and the frames from a finger's
motion to the first picture drawn after the world moved the hand.

    python3 bench/phone.py <page dir> [seconds]

The baseline, measured in the same run: the same passes with the CPU at full speed."""
import functools
import http.server
import os
import statistics
import sys
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import cdp  # noqa: E402
from web_test import Offline, centre, tap, turn_phone  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def to_title(browser, url):
    """Milliseconds from the navigation to the start-up question, and from No tapped to
    the title's first frame."""
    browser.navigate(url + "index.html")
    browser.wait_for("!!(window.Module && Module.questionShownAt)", timeout=120)
    shown = browser.evaluate("Module.questionShownAt")
    tapped = browser.evaluate("performance.now()")
    tap(browser, *centre(browser, "#no"))
    browser.wait_for("!!Module.firstFrameAt", timeout=60)
    return shown, browser.evaluate("Module.firstFrameAt") - tapped


# In the page: each motion of the finger notes the pass it came in, and the first pass
# after it that drew a world whose hand had moved ends the count, in animation frames.
LATENCY_PROBE = """
(function () {
  window.qrLatency = [];
  var canvas = document.getElementById('canvas');
  canvas.addEventListener('touchmove', function () {
    if (window.qrWaiting) return;
    window.qrWaiting = true;
    var x0 = Module._QrProbe(3), frames = 0, started = performance.now();
    var look = function () {
      frames += 1;
      if (Module._QrProbe(3) !== x0) {
        window.qrLatency.push([frames, performance.now() - started]);
        window.qrWaiting = false;
      } else if (frames < 120) {
        requestAnimationFrame(look);
      } else {
        window.qrWaiting = false;
      }
    };
    requestAnimationFrame(look);
  }, {capture: true});
})()
"""


def swipe_and_time(browser, seconds):
    """Swipes back and forth for `seconds`; the passes timed meanwhile (ms) and the
    latencies noted (frames, ms)."""
    browser.evaluate("window.qrLatency = []")
    first = browser.evaluate("Module._QrProbe(17)")
    end = time.monotonic() + seconds
    browser.touch("touchStart", (300, 200, 1))
    step = 0
    while time.monotonic() < end:
        step += 1
        x = 300 + 200 * abs((step % 40) - 20) / 20
        browser.touch("touchMove", (x, 200, 1))
        time.sleep(0.05)
    browser.touch("touchEnd")
    timed = browser.evaluate("Module._QrProbe(17)") - first
    samples = [s / 1000.0 for s in browser.evaluate(
        "(function(){var a=[];for(var i=0;i<%d;i++)a.push(Module._QrPassMicroseconds(i));return a;})()"
        % min(timed, 1024)) if s >= 0]
    return samples, browser.evaluate("window.qrLatency")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    page = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Offline, directory=page))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_address[1]
    try:
        with cdp.Browser() as browser:
            turn_phone(browser)
            shown, title = to_title(browser, url)
            print("first load: the start-up question %.0f ms after the navigation; the title %.0f ms after No"
                  % (shown, title))
            browser.wait_for("!!navigator.serviceWorker.controller", timeout=60)
            Offline.off = True
            browser.send("Network.emulateNetworkConditions", offline=True, latency=0, downloadThroughput=-1,
                         uploadThroughput=-1)
            shown, title = to_title(browser, url)
            print("offline reload: the start-up question %.0f ms after the navigation; the title %.0f ms after No"
                  % (shown, title))
            Offline.off = False
            browser.send("Network.emulateNetworkConditions", offline=False, latency=0, downloadThroughput=-1,
                         uploadThroughput=-1)
            browser.evaluate(LATENCY_PROBE)
            tap(browser, 422, 195)
            browser.wait_for("Module._QrProbe(0) == 1", timeout=10)
            results = {}
            for rate in (1, 4):
                browser.send("Emulation.setCPUThrottlingRate", rate=rate)
                samples, latency = swipe_and_time(browser, seconds)
                results[rate] = samples
                frames = [f for f, _ in latency]
                print("CPU slowed %dx: %d passes, pass time median %.2f ms, 95th percentile %.2f ms (%.0f%% of the"
                      " 22 ms frame); finger to the moved hand: median %s frames (%.1f ms), worst %s, of %d motions"
                      % (rate, len(samples), statistics.median(samples), percentile(samples, 95),
                         percentile(samples, 95) / 22 * 100, statistics.median(frames) if frames else "-",
                         statistics.median([m for _, m in latency]) if latency else 0, max(frames) if frames else "-",
                         len(latency)))
            browser.send("Emulation.setCPUThrottlingRate", rate=1)
            print("slowed / full speed, 95th percentile: %.2f" % (percentile(results[4], 95) / percentile(results[1], 95)))
    finally:
        server.shutdown()
        server.server_close()
    print("load average: %s" % open("/proc/loadavg").read().split()[0])


if __name__ == "__main__":
    main()
