"""The mouse, the keyboard and the screen of the desktop tests under GNOME's compositor,
run headless: its remote-desktop session is the seat's pointer and keyboard, and a
screen-cast session tied to it streams the monitor into PipeWire for screenshots.

The compositor ends both sessions as soon as their caller leaves the bus, and the seat
has a keyboard only while one lasts, so this client lives for the whole test and takes
one command a line on standard input, answering "ok" once the compositor has it:

    move DX DY        relative motion, in pixels
    warp X Y          the pointer put at (X, Y) on the monitor
    press BUTTON      BUTTON is left or right
    release BUTTON
    click BUTTON      pressed, held 100 ms (the game reads its buttons once a frame), let go
    key CODE          an evdev key code pressed and let go (1 is Escape)
    keydown CODE      ... only pressed, or only let go: chords such as Alt+Enter
    keyup CODE
    node              answers "node N": the PipeWire node the monitor streams into

It says "ready" once both sessions run. Exits 1 when the compositor cannot be reached,
2 on a bad command."""
import sys
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

BUTTONS = {"left": 272, "right": 273}  # the Linux input codes BTN_LEFT and BTN_RIGHT
SHIFT = 42                             # KEY_LEFTSHIFT

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
loop = GLib.MainLoop()
state = {"node": None, "failed": None}


def proxy(bus, path, interface):
    return dbus.Interface(bus.get_object("org.gnome.Mutter." + interface.split(".")[0], path),
                          "org.gnome.Mutter." + interface)


def main():
    try:
        bus = dbus.SessionBus()
        desktop = proxy(bus, "/org/gnome/Mutter/RemoteDesktop", "RemoteDesktop")
        session_path = desktop.CreateSession()
        session = proxy(bus, session_path, "RemoteDesktop.Session")
        session_id = bus.get_object("org.gnome.Mutter.RemoteDesktop", session_path).Get(
            "org.gnome.Mutter.RemoteDesktop.Session", "SessionId", dbus_interface=dbus.PROPERTIES_IFACE)
        # The screen cast must be tied to the remote desktop before that starts.
        cast = proxy(bus, "/org/gnome/Mutter/ScreenCast", "ScreenCast")
        cast_session = proxy(bus, cast.CreateSession({"remote-desktop-session-id": session_id}),
                             "ScreenCast.Session")
        stream_path = state["stream"] = cast_session.RecordMonitor("", {"cursor-mode": dbus.UInt32(0)})
        bus.add_signal_receiver(lambda node: stream_added(node), "PipeWireStreamAdded",
                                "org.gnome.Mutter.ScreenCast.Stream", path=stream_path)
        session.Start()
    except dbus.DBusException as error:
        print("mutter-input: the compositor's remote desktop is out of reach: %s" % error, file=sys.stderr)
        return 1

    def stream_added(node):
        state["node"] = int(node)
        # The first key of a session is lost now and then: a modifier goes first.
        session.NotifyKeyboardKeycode(SHIFT, True)
        session.NotifyKeyboardKeycode(SHIFT, False)
        print("ready", flush=True)
        GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)

    def command(source, condition):
        line = source.readline()
        if not line:
            loop.quit()
            return False
        words = line.split()
        try:
            if not words:
                return True
            verb, args = words[0], words[1:]
            if verb == "move" and len(args) == 2:
                session.NotifyPointerMotionRelative(float(args[0]), float(args[1]))
            elif verb == "warp" and len(args) == 2:
                session.NotifyPointerMotionAbsolute(state["stream"], float(args[0]), float(args[1]))
            elif verb in ("press", "release", "click") and len(args) == 1 and args[0] in BUTTONS:
                code = BUTTONS[args[0]]
                if verb != "release":
                    session.NotifyPointerButton(code, True)
                if verb == "click":
                    time.sleep(0.1)
                if verb != "press":
                    session.NotifyPointerButton(code, False)
            elif verb in ("key", "keydown", "keyup") and len(args) == 1 and args[0].isdigit():
                if verb != "keyup":
                    session.NotifyKeyboardKeycode(int(args[0]), True)
                if verb == "key":
                    time.sleep(0.05)
                if verb != "keydown":
                    session.NotifyKeyboardKeycode(int(args[0]), False)
            elif verb == "node" and not args:
                print("node %d" % state["node"], flush=True)
                return True
            else:
                state["failed"] = 2
                print("mutter-input: not a command: %s" % line.strip(), file=sys.stderr)
                loop.quit()
                return False
        except dbus.DBusException as error:
            state["failed"] = 1
            print("mutter-input: the compositor refused %s: %s" % (line.strip(), error), file=sys.stderr)
            loop.quit()
            return False
        print("ok", flush=True)
        return True

    def too_late():
        if state["node"] is None:
            state["failed"] = 1
            print("mutter-input: the monitor's stream never started", file=sys.stderr)
            loop.quit()
        return False

    GLib.timeout_add_seconds(20, too_late)
    loop.run()
    try:
        session.Stop()
    except dbus.DBusException:
        pass  # the compositor has gone first
    return state["failed"] or 0


if __name__ == "__main__":
    sys.exit(main())
