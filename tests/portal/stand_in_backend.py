#!/usr/bin/python3
"""A stand-in portal implementation behind the real xdg-desktop-portal, like
xdg-desktop-portal-wlr's: the ScreenCast backend interface (org.freedesktop.impl.portal.*) alone,
no dialog, the cursor embedded only, and one stream: the node of the test's PipeWire producer.
The frontend does the rest: requests, sessions, restore tokens and the PipeWire remote. Every
call is one JSON line in the record.

    stand_in_backend.py --record FILE --node N
"""
import argparse
import json
import signal

from gi.repository import Gio, GLib

NAME = "org.freedesktop.impl.portal.desktop.ravelotest"
PATH = "/org/freedesktop/portal/desktop"


def definition(name):
    """The portal's own definition of the interface (xdg-desktop-portal-dev)."""
    with open("/usr/share/dbus-1/interfaces/%s.xml" % name) as f:
        return Gio.DBusNodeInfo.new_for_xml(f.read()).lookup_interface(name)


class Backend:
    def __init__(self, args, bus):
        self.args = args
        self.bus = bus
        self.record_file = open(args.record, "a", buffering=1)
        self.sessions = {}
        bus.register_object(PATH, definition("org.freedesktop.impl.portal.ScreenCast"), self.call, self.get_property,
                            None)

    def record(self, **entry):
        self.record_file.write(json.dumps(entry) + "\n")

    def get_property(self, connection, sender, path, interface, name):
        values = {"version": 4, "AvailableSourceTypes": 1, "AvailableCursorModes": 3}
        return GLib.Variant("u", values[name])

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        args = parameters.unpack()
        if interface.endswith(".Session"):  # Close
            self.record(interface="Session", method=method)
            if path in self.sessions:
                self.bus.unregister_object(self.sessions.pop(path))
            invocation.return_value(None)
            return
        options = args[-1]
        entry = {k: v for k, v in options.items() if k in ("types", "cursor_mode", "persist_mode", "restore_data")}
        self.record(interface="ScreenCast", method=method, options=entry)
        results = {}
        if method == "CreateSession":
            session = args[1]
            self.sessions[session] = self.bus.register_object(
                session, definition("org.freedesktop.impl.portal.Session"), self.call, None, None)
        elif method == "Start":
            results["streams"] = GLib.Variant("a(ua{sv})", [(self.args.node, {
                "size": GLib.Variant("(ii)", (1920, 1080)), "source_type": GLib.Variant("u", 1)})])
            # Kept by the frontend in its permission store, handed back on a restore.
            results["persist_mode"] = GLib.Variant("u", 2)
            results["restore_data"] = GLib.Variant("(suv)", ("ravelotest", 1, GLib.Variant("s", "monitor-0")))
        invocation.return_value(GLib.Variant("(ua{sv})", (0, results)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--node", type=int, required=True)
    args = parser.parse_args()
    loop = GLib.MainLoop()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    Backend(args, bus)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or False)
    Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, lambda *_: print("ready", flush=True), None)
    loop.run()


if __name__ == "__main__":
    main()
