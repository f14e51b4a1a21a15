#!/usr/bin/python3
"""A stand-in portal implementation behind the real xdg-desktop-portal: the ScreenCast and
RemoteDesktop backend interfaces (org.freedesktop.impl.portal.*) with no dialog, whose one
stream is the node of the test's PipeWire producer. The frontend does the rest: requests,
sessions, restore tokens and the PipeWire remote. Every call is one JSON line in the record.

    stand_in_backend.py --record FILE --node N [--remote-desktop 0|1] [--cursor-modes MASK] [--size WxH]
"""
import argparse
import json
import signal

from gi.repository import Gio, GLib

NAME = "org.freedesktop.impl.portal.desktop.ravelotest"
PATH = "/org/freedesktop/portal/desktop"
SESSION_ARGS = '<arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>'
REPLY = '<arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>'
XML = """
<node>
  <interface name="org.freedesktop.impl.portal.ScreenCast">
    <method name="CreateSession">%(s)s<arg type="a{sv}" direction="in"/>%(r)s</method>
    <method name="SelectSources">%(s)s<arg type="a{sv}" direction="in"/>%(r)s</method>
    <method name="Start">%(s)s<arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>%(r)s</method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.RemoteDesktop">
    <method name="CreateSession">%(s)s<arg type="a{sv}" direction="in"/>%(r)s</method>
    <method name="SelectDevices">%(s)s<arg type="a{sv}" direction="in"/>%(r)s</method>
    <method name="Start">%(s)s<arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>%(r)s</method>
    <method name="NotifyPointerMotionAbsolute"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="in"/><arg type="d" direction="in"/><arg type="d" direction="in"/></method>
    <method name="NotifyPointerButton"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="i" direction="in"/><arg type="u" direction="in"/></method>
    <method name="NotifyKeyboardKeysym"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="i" direction="in"/><arg type="u" direction="in"/></method>
    <property name="AvailableDeviceTypes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Session">
    <method name="Close"/>
    <signal name="Closed"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
""" % {"s": SESSION_ARGS, "r": REPLY}


class Backend:
    def __init__(self, args, bus):
        self.args = args
        self.bus = bus
        self.info = Gio.DBusNodeInfo.new_for_xml(XML)
        self.record_file = open(args.record, "a", buffering=1)
        self.sessions = {}
        self.width, self.height = (int(n) for n in args.size.split("x"))
        for name in ("ScreenCast", "RemoteDesktop")[:2 if args.remote_desktop else 1]:
            bus.register_object(PATH, self.info.lookup_interface("org.freedesktop.impl.portal." + name), self.call,
                                self.get_property, None)

    def record(self, **entry):
        self.record_file.write(json.dumps(entry) + "\n")

    def get_property(self, connection, sender, path, interface, name):
        values = {"version": 4 if interface.endswith("ScreenCast") else self.args.remote_desktop,
                  "AvailableSourceTypes": 1, "AvailableCursorModes": self.args.cursor_modes, "AvailableDeviceTypes": 3}
        return GLib.Variant("u", values[name])

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        args = parameters.unpack()
        short = interface.rsplit(".", 1)[1]
        if short == "Session":
            self.record(interface=short, method=method)
            registration = self.sessions.pop(path, None)
            if registration is not None:
                self.bus.unregister_object(registration)
            invocation.return_value(None)
            return
        if method.startswith("Notify"):
            self.record(interface=short, method=method, args=list(args[2:]))
            invocation.return_value(None)
            return
        options = args[-1]
        entry = {k: v for k, v in options.items() if k in ("types", "cursor_mode", "persist_mode", "restore_data")}
        self.record(interface=short, method=method, options=entry)
        results = {}
        if method == "CreateSession":
            session = args[1]
            self.sessions[session] = self.bus.register_object(
                session, self.info.lookup_interface("org.freedesktop.impl.portal.Session"), self.call, None, None)
        elif method == "Start":
            results["streams"] = GLib.Variant("a(ua{sv})", [(self.args.node, {
                "size": GLib.Variant("(ii)", (self.width, self.height)), "source_type": GLib.Variant("u", 1)})])
            if short == "RemoteDesktop":
                results["devices"] = GLib.Variant("u", 3)
            else:
                # Kept by the frontend in its permission store, handed back on a restore.
                results["persist_mode"] = GLib.Variant("u", 2)
                results["restore_data"] = GLib.Variant("(suv)", ("ravelotest", 1, GLib.Variant("s", "monitor-0")))
        invocation.return_value(GLib.Variant("(ua{sv})", (0, results)))

    def close_all(self):
        for path, registration in list(self.sessions.items()):
            self.bus.emit_signal(None, path, "org.freedesktop.impl.portal.Session", "Closed", None)
            self.bus.unregister_object(registration)
            self.record(interface="Session", method="Closed")
        self.sessions.clear()
        return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--node", type=int, required=True)
    parser.add_argument("--remote-desktop", type=int, default=1)
    parser.add_argument("--cursor-modes", type=int, default=7)
    parser.add_argument("--size", default="1920x1080")
    args = parser.parse_args()
    loop = GLib.MainLoop()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    backend = Backend(args, bus)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, backend.close_all)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or False)
    Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, lambda *_: print("ready", flush=True), None)
    loop.run()


if __name__ == "__main__":
    main()
