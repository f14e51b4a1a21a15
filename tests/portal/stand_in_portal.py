#!/usr/bin/python3
"""A stand-in for the desktop portal on a private session bus, as a desktop that persists a
remote-desktop session offers it: ScreenCast 4 and RemoteDesktop 2, every cursor mode, no dialog.
Its one stream is the node of the test's PipeWire producer; OpenPipeWireRemote hands out a plain
connection to the PipeWire socket. Every call is appended to the record file as one JSON line.
SIGUSR1 closes the open sessions, as a desktop does when the user stops the sharing.

With --backend it stands instead behind the real xdg-desktop-portal, as xdg-desktop-portal-wlr
does: the ScreenCast backend interface (org.freedesktop.impl.portal.*) alone, no dialog, the
cursor embedded only; the frontend does the requests, sessions, tokens and PipeWire remote.

    stand_in_portal.py [--backend] --record FILE --node N
"""
import argparse
import json
import os
import signal
import socket

from gi.repository import Gio, GLib

PATH = "/org/freedesktop/portal/desktop"
BACKEND_NAME = "org.freedesktop.impl.portal.desktop.ravelotest"


def definition(name):
    """The portal's own definition of the interface (xdg-desktop-portal-dev)."""
    with open("/usr/share/dbus-1/interfaces/%s.xml" % name) as f:
        return Gio.DBusNodeInfo.new_for_xml(f.read()).lookup_interface(name)


class Recorder:
    def __init__(self, args, connection):
        self.args = args
        self.bus = connection
        self.record_file = open(args.record, "a", buffering=1)
        self.sessions = {}  # path -> registration id

    def record(self, **entry):
        self.record_file.write(json.dumps(entry) + "\n")


class Backend(Recorder):
    def __init__(self, args, connection):
        super().__init__(args, connection)
        self.bus.register_object(PATH, definition("org.freedesktop.impl.portal.ScreenCast"), self.call,
                                 self.get_property, None)

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

    def close_all(self):
        return True


class StandIn(Recorder):
    def __init__(self, args, connection):
        super().__init__(args, connection)
        self.persist = {}  # session path -> persist_mode asked for
        self.tokens = 0
        for name in ("ScreenCast", "RemoteDesktop"):
            self.bus.register_object(PATH, definition("org.freedesktop.portal." + name), self.call,
                                     self.get_property, None)

    def get_property(self, connection, sender, path, interface, name):
        values = {"AvailableSourceTypes": 1, "AvailableCursorModes": 7, "AvailableDeviceTypes": 3,
                  "version": 4 if interface.endswith("ScreenCast") else 2}
        return GLib.Variant("u", values[name])

    def respond(self, sender, token, results):
        path = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)

        def emit():
            self.bus.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                 GLib.Variant("(ua{sv})", (0, results)))
            return False
        # After the method's reply, as a portal answers once the user has.
        GLib.timeout_add(20, emit)
        return path

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        args = parameters.unpack()
        short = interface.rsplit(".", 1)[1]
        if path != PATH:  # a session object
            self.record(interface=short, method=method, session=path)
            self.close_session(path, signal_it=False)
            invocation.return_value(None)
            return
        if method == "CreateSession":
            options = args[0]
            session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"), options["session_handle_token"])
            self.sessions[session] = self.bus.register_object(
                session, definition("org.freedesktop.portal.Session"), self.call, None, None)
            self.record(interface=short, method=method, session=session)
            handle = self.respond(sender, options["handle_token"], {"session_handle": GLib.Variant("o", session)})
            invocation.return_value(GLib.Variant("(o)", (handle,)))
            return
        if method in ("SelectDevices", "SelectSources"):
            session, options = args
            self.record(interface=short, method=method, session=session,
                        options={k: v for k, v in options.items() if k != "handle_token"})
            if "persist_mode" in options:
                self.persist[session] = options["persist_mode"]
            handle = self.respond(sender, options["handle_token"], {})
            invocation.return_value(GLib.Variant("(o)", (handle,)))
            return
        if method == "Start":
            session, _, options = args
            results = {"streams": GLib.Variant("a(ua{sv})", [(self.args.node, {
                "size": GLib.Variant("(ii)", (1920, 1080)),
                "source_type": GLib.Variant("u", 1)})])}
            if short == "RemoteDesktop":
                results["devices"] = GLib.Variant("u", 3)
            if self.persist.get(session) == 2:
                self.tokens += 1
                results["restore_token"] = GLib.Variant("s", "stand-in-token-%d-%d" % (os.getpid(), self.tokens))
            self.record(interface=short, method=method, session=session,
                        **({"restore_token": results["restore_token"].unpack()} if "restore_token" in results else {}))
            handle = self.respond(sender, options["handle_token"], results)
            invocation.return_value(GLib.Variant("(o)", (handle,)))
            return
        if method == "OpenPipeWireRemote":
            self.record(interface=short, method=method, session=args[0])
            remote = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            remote.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
            fds = Gio.UnixFDList.new()
            index = fds.append(remote.fileno())
            remote.close()
            invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (index,)), fds)
            return
        # The input calls: the session, then the values after the options.
        self.record(interface=short, method=method, session=args[0], args=list(args[2:]))
        invocation.return_value(None)

    def close_session(self, path, signal_it):
        registration = self.sessions.pop(path, None)
        if registration is None:
            return
        if signal_it:
            self.bus.emit_signal(None, path, "org.freedesktop.portal.Session", "Closed", GLib.Variant("(a{sv})", ({},)))
            self.record(interface="Session", method="Closed", session=path)
        self.bus.unregister_object(registration)

    def close_all(self):
        for path in list(self.sessions):
            self.close_session(path, signal_it=True)
        return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--backend", action="store_true")
    parser.add_argument("--record", required=True)
    parser.add_argument("--node", type=int, required=True)
    args = parser.parse_args()
    loop = GLib.MainLoop()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    stand_in = (Backend if args.backend else StandIn)(args, bus)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, stand_in.close_all)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or False)
    name = BACKEND_NAME if args.backend else "org.freedesktop.portal.Desktop"
    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, lambda *_: print("ready", flush=True), None)
    loop.run()


if __name__ == "__main__":
    main()
