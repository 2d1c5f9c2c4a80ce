"""Screenshots of the desktop tests: where the game's 800 x 600 picture lies in a
screenshot of the whole desktop, where its hand is, and KDE's compositor's screenshot.

    desktop_picture.py locate SHOT.png     "X Y": the picture's top left, from the title screen
    desktop_picture.py hand SHOT.png X Y   the hand's x in the picture (-1 when not seen)
    desktop_picture.py gauge SHOT.png      "LEFT WIDTH TOP": the power gauge's base line
    desktop_picture.py kwin-shot OUT.png   the desktop, over the compositor's bus
    desktop_picture.py kwin-size X Y W H   the game's window framed at W x H at (X, Y), by
                                           a script run in the compositor

The compositors place the window where they like and may frame it, on a background that
may be as black as the game's, so the picture is found by its own content: the title
screen's two button lines, light blue text 30 rows apart and centred in the picture."""
import os
import subprocess
import sys
from collections import Counter

# Where the reference picture of the title has the first button line: its top row and
# the left end of its letters.
FIRST_LINE_TOP, FIRST_LINE_LEFT, LINE_GAP = 372, 230, 30
# A text row has this many of the text's pixels at least; a star has a few.
TEXT_PIXELS = 25


def rgb(path):
    """The screenshot's width, height and RGB bytes."""
    size = subprocess.run(["convert", path, "-format", "%w %h", "info:"], capture_output=True, text=True,
                          check=True).stdout.split()
    pixels = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return int(size[0]), int(size[1]), pixels


def text_rows(width, height, pixels):
    """For each row with text of the title's light blue, its count and leftmost pixel."""
    rows = {}
    for y in range(height):
        xs = [x for x in range(width)
              for i in ((y * width + x) * 3,)
              if pixels[i + 2] >= 200 and pixels[i + 2] - pixels[i] >= 40]
        if len(xs) >= TEXT_PIXELS:
            rows[y] = min(xs)
    return rows


def locate(path):
    width, height, pixels = rgb(path)
    rows = text_rows(width, height, pixels)
    tops = [y for y in rows if y - 1 not in rows]
    for top in tops:
        if top + LINE_GAP in tops or top + LINE_GAP + 1 in tops:
            band = [rows[y] for y in range(top, top + 12) if y in rows]
            left = Counter(band).most_common(1)[0][0]
            return left - FIRST_LINE_LEFT, top - FIRST_LINE_TOP
    return None


def hand(path, x0, y0):
    """The median column of the bright pixels about the hand's row, from left of where it
    starts (200, 300) to right of where 120 pixels of motion take it: not pulled aside by
    a passing star or spark."""
    width, height, pixels = rgb(path)
    xs = []
    for y in range(y0 + 200, min(y0 + 400, height)):
        for x in range(max(x0 + 100, 0), min(x0 + 400, width)):
            i = (y * width + x) * 3
            if pixels[i] * 299 + pixels[i + 1] * 587 + pixels[i + 2] * 114 > 102 * 1000:
                xs.append(x - x0)
    xs.sort()
    return xs[len(xs) // 2] if xs else -1


def gauge(path):
    """The longest unbroken run of strong blue in any row of the screenshot's upper
    quarter: the power gauge's base line, 200 pixels of the game's from x 300, row 25
    (the percentage's text and stars make short runs, a window's frame is grey). Where it lies and how long it is say where the picture is and at
    what scale."""
    width, height, pixels = rgb(path)
    best = (0, 0, 0)
    for y in range(height // 4):
        run = 0
        for x in range(width + 1):
            i = (y * width + x) * 3
            if x < width and pixels[i + 2] >= 150 and pixels[i + 2] - pixels[i] >= 100:
                run += 1
                continue
            if run > best[1]:
                best = (x - run, run, y)
            run = 0
    return best


def kwin_shot(out):
    import dbus
    bus = dbus.SessionBus()
    read_end, write_end = os.pipe()
    screenshot = bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
    result = screenshot.CaptureWorkspace({}, dbus.types.UnixFd(write_end), dbus_interface="org.kde.KWin.ScreenShot2")
    os.close(write_end)
    chunks = []
    while True:
        chunk = os.read(read_end, 1 << 20)
        if not chunk:
            break
        chunks.append(chunk)
    data = b"".join(chunks)
    width, height, stride = int(result["width"]), int(result["height"]), int(result["stride"])
    # 32-bit pixels, blue first in memory; rows may be padded.
    if stride < width * 4 or len(data) < stride * height:
        sys.exit("kwin-shot: %d bytes for %dx%d (stride %d)" % (len(data), width, height, stride))
    rows = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8", "bgra:-", "-alpha", "off", out],
                   input=rows, check=True)


def kwin_size(x, y, width, height, folder):
    """Runs a script in the compositor that frames the game's window at WIDTH x HEIGHT
    with its top left at (X, Y)."""
    import dbus
    script = os.path.join(folder, "size.js")
    with open(script, "w") as out:
        out.write("""
var clients = workspace.clientList();
for (var i = 0; i < clients.length; i++) {
    var c = clients[i];
    if (c.caption != "quillrun") continue;
    c.frameGeometry = {x: %d, y: %d, width: %d, height: %d};
}
""" % (x, y, width, height))
    bus = dbus.SessionBus()
    scripting = dbus.Interface(bus.get_object("org.kde.KWin", "/Scripting"), "org.kde.kwin.Scripting")
    # The last call's script goes only now: unloaded at once, it may not have run yet.
    scripting.unloadScript("qr-size")
    if scripting.loadScript(script, "qr-size", signature="ss") < 0:
        sys.exit("kwin-size: the compositor did not load the script")
    # Runs the scripts loaded and not yet running: this one.
    scripting.start()


def main(args):
    if len(args) == 2 and args[0] == "locate":
        found = locate(args[1])
        if not found:
            return 1
        print("%d %d" % found)
    elif len(args) == 4 and args[0] == "hand":
        print(hand(args[1], int(args[2]), int(args[3])))
    elif len(args) == 2 and args[0] == "gauge":
        print("%d %d %d" % gauge(args[1]))
    elif len(args) == 5 and args[0] == "kwin-size":
        kwin_size(*map(int, args[1:]), os.path.dirname(os.path.abspath(__file__)))
    elif len(args) == 2 and args[0] == "kwin-shot":
        kwin_shot(args[1])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
