"""A stand-in StatusNotifierWatcher, as KDE's or a panel's, for the tray tests.

Run as a program (`sni_watcher.py [--no-host]`) it owns org.kde.StatusNotifierWatcher on the
session bus, takes the items that register, follows their names, and prints one line per event
on standard output: "ready", "registered NAME", "unregistered NAME", "host". With --no-host no
tray host is there until the program gets SIGUSR1. Imported, `Watcher` starts it and reads items
over the bus as a host would."""
import os
import signal
import subprocess
import sys
import tempfile
import time

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
ITEM_PATH = "/StatusNotifierItem"

INTERFACE = Gio.DBusNodeInfo.new_for_xml("""<node><interface name='org.kde.StatusNotifierWatcher'>
<method name='RegisterStatusNotifierItem'><arg name='service' type='s' direction='in'/></method>
<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>
<signal name='StatusNotifierHostRegistered'/>
</interface></node>""").interfaces[0]


def serve(host):
    loop = GLib.MainLoop()
    items = {}  # name -> its watch
    state = {"host": host}

    def say(line):
        print(line, flush=True)

    def vanished(bus, name):
        Gio.bus_unwatch_name(items.pop(name))
        say("unregistered " + name)

    def on_call(bus, sender, path, interface, method, args, invocation):  # RegisterStatusNotifierItem
        service = args.unpack()[0]
        name = sender if service.startswith("/") else service
        if name not in items:
            items[name] = Gio.bus_watch_name_on_connection(bus, name, Gio.BusNameWatcherFlags.NONE, None, vanished)
        say("registered " + name)
        invocation.return_value(None)

    def on_get(bus, sender, path, interface, prop):
        return GLib.Variant("b", state["host"])  # IsStatusNotifierHostRegistered

    def on_bus(bus, name):
        bus.register_object(WATCHER_PATH, INTERFACE, on_call, on_get, None)

    def on_name(bus, name):
        def host_comes():
            state["host"] = True
            bus.emit_signal(None, WATCHER_PATH, WATCHER, "StatusNotifierHostRegistered", None)
            say("host")
            return GLib.SOURCE_CONTINUE
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, host_comes)
        say("ready")

    Gio.bus_own_name(Gio.BusType.SESSION, WATCHER, Gio.BusNameOwnerFlags.DO_NOT_QUEUE, on_bus, on_name,
                     lambda bus, name: loop.quit())
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or GLib.SOURCE_REMOVE)
    loop.run()


class Watcher:
    """The stand-in watcher on the session bus `env` names, started and stopped by the test."""

    def __init__(self, env, host=True):
        self.env = env
        self.output = tempfile.NamedTemporaryFile("w+", prefix="ravelo-watcher-")  # removed when collected
        self.proc = subprocess.Popen(["/usr/bin/python3", os.path.abspath(__file__)] + ([] if host else ["--no-host"]),
                                     env=env, stdout=self.output, stderr=subprocess.STDOUT)
        self.bus = Gio.DBusConnection.new_for_address_sync(
            env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        if not self.wait_for(lambda lines: "ready" in lines, 10):
            self.stop()
            raise RuntimeError("the stand-in watcher did not start: %r" % self.lines())

    def lines(self):
        with open(self.output.name) as f:
            return f.read().splitlines()

    def wait_for(self, accept, timeout):
        deadline = time.time() + timeout
        while not accept(self.lines()):
            if time.time() > deadline or self.proc.poll() is not None:
                return accept(self.lines())
            time.sleep(0.1)
        return True

    def announce_host(self):
        self.proc.send_signal(signal.SIGUSR1)

    def call(self, name, interface, method, args=None, reply=None):
        return self.bus.call_sync(name, ITEM_PATH, interface, method, args,
                                  GLib.VariantType(reply) if reply else None, Gio.DBusCallFlags.NONE, 10000,
                                  None).unpack()

    def item_properties(self, name):
        """Every property of the item, as a host reads them."""
        return self.call(name, "org.freedesktop.DBus.Properties", "GetAll", GLib.Variant("(s)", (ITEM,)),
                         "(a{sv})")[0]

    def activate(self, name):
        """A click on the item in the panel."""
        self.call(name, ITEM, "Activate", GLib.Variant("(ii)", (0, 0)))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()
        if not self.bus.is_closed():
            self.bus.close_sync(None)


if __name__ == "__main__":
    serve(host="--no-host" not in sys.argv[1:])
