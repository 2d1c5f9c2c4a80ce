"""A small client of the browser's DevTools protocol for the browser tests: starts a
headless Chromium on a fresh profile, serves the page from a local HTTP server, and
sends protocol commands over the page's websocket (python3-websocket)."""
import base64
import contextlib
import functools
import http.server
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request

import websocket

CHROMIUM = os.environ.get("QR_CHROMIUM", "/usr/bin/chromium")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serve(directory):
    """Serves `directory` on 127.0.0.1; yields the base URL."""
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


class ProtocolError(Exception):
    pass


class Browser:
    """One headless Chromium with one page, driven over the DevTools protocol."""

    def __init__(self, webgl=True):
        self.profile = tempfile.mkdtemp(prefix="quillrun-chromium-")
        self.port = free_port()
        flags = [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--mute-audio",
                 "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                 "--window-size=800,600",
                 "--remote-debugging-port=%d" % self.port, "--user-data-dir=" + self.profile]
        if webgl:
            flags += ["--use-angle=swiftshader", "--enable-unsafe-swiftshader"]
        else:
            flags += ["--disable-gpu", "--disable-webgl2"]
        env = dict(os.environ, FONTCONFIG_FILE=os.path.join(os.path.dirname(os.path.abspath(__file__)), "fonts.conf"))
        self.process = subprocess.Popen(flags + ["about:blank"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=env)
        self.next_id = 0
        self.events = []
        self.console = []
        self.socket = None
        deadline = time.time() + 30
        while time.time() < deadline:
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/json" % self.port, timeout=2) as r:
                    pages = [t for t in json.load(r) if t.get("type") == "page"]
                if pages:
                    self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=900)
                    break
            except OSError:
                pass
            time.sleep(0.1)
        if self.socket is None:
            self.close()
            raise ProtocolError("chromium did not open its DevTools port")
        self.send("Page.enable")
        self.send("Runtime.enable")

    def close(self):
        if self.socket is not None:
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, method, **params):
        return self.answer(method, self.post(method, **params))

    def post(self, method, **params):
        """Sends a command without waiting for its answer (collect it with `answer`), so
        that events sent one after another reach the page as closely as they were sent,
        however slowly the page answers each."""
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        return self.next_id

    def answer(self, method, my_id):
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise ProtocolError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            if message.get("method") == "Runtime.consoleAPICalled":
                args = message["params"].get("args", [])
                self.console.append(" ".join(str(a.get("value", "")) for a in args))
            elif "method" in message:
                self.events.append(message)

    def evaluate(self, expression, await_promise=False):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            raise ProtocolError("%s: %s" % (expression[:80], result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=60.0, interval=0.05):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(interval)
        raise ProtocolError("timed out waiting for " + expression)

    def navigate(self, url):
        self.send("Page.navigate", url=url)

    def screenshot_rgb(self):
        """The page's viewport as (width, height, bytes RGB) through a PNG."""
        data = base64.b64decode(self.send("Page.captureScreenshot", format="png")["data"])
        return decode_png(data)

    def mouse(self, kind, x, y, button="none", buttons=0):
        self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button=button, buttons=buttons,
                  clickCount=1 if kind in ("mousePressed", "mouseReleased") else 0)

    def click_element(self, selector):
        """A real click (a user gesture, unlike element.click()) in the middle of an element."""
        x, y = self.evaluate("(function(){var r=document.querySelector(%r).getBoundingClientRect();"
                             "return [r.left + r.width / 2, r.top + r.height / 2];})()" % selector)
        self.mouse("mouseMoved", x, y)
        self.mouse("mousePressed", x, y, "left", 1)
        self.mouse("mouseReleased", x, y, "left", 0)

    def touch(self, kind, *points, wait=True):
        """The fingers down after the event, each (x, y, id) in CSS pixels: a start adds
        the new ones, a move moves them, an end lifts those named (all when none are). Without `wait`
        the event is only sent: `answer("touch", id)` collects it."""
        post = self.post("Input.dispatchTouchEvent", type=kind,
                         touchPoints=[{"x": x, "y": y, "id": finger} for x, y, finger in points])
        return self.answer("touch", post) if wait else post

    def key(self, kind, key, code, key_code):
        self.send("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=key_code,
                  nativeVirtualKeyCode=key_code)


def decode_png(data):
    """Decodes an 8-bit RGB or RGBA PNG without interlacing into (width, height, RGB bytes)."""
    import struct
    import zlib
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, chunks, width = 8, [], 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unsupported PNG"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            chunks.append(body)
        pos += 12 + length
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    out = bytearray(width * height * 3)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        previous = line
        if channels == 3:
            out[y * width * 3:(y + 1) * width * 3] = line
        else:
            row = out[y * width * 3:(y + 1) * width * 3]
            row[0::3], row[1::3], row[2::3] = line[0::4], line[1::4], line[2::4]
            out[y * width * 3:(y + 1) * width * 3] = row
    return width, height, bytes(out)
