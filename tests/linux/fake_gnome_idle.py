"""A stand-in for GNOME's idle monitor and session manager on the session bus, for
the idle watcher's tests. Its idle time counts from its start or from the last
"active" line on standard input; "inhibit" and "allow" set the session manager's
idle inhibitor. Prints "ready" once it owns both names."""
import sys
import time

from gi.repository import Gio, GLib

INTERFACES = """<node>
  <interface name="org.gnome.Mutter.IdleMonitor">
    <method name="GetIdletime"><arg type="t" direction="out"/></method>
  </interface>
  <interface name="org.gnome.SessionManager">
    <method name="IsInhibited"><arg type="u" direction="in"/><arg type="b" direction="out"/></method>
  </interface>
</node>"""
IDLE_FLAG = 8
state = {"since": time.monotonic(), "inhibited": False, "owned": 0}


def answer(connection, sender, path, interface, method, parameters, invocation):
    if method == "GetIdletime":
        invocation.return_value(GLib.Variant("(t)", (int((time.monotonic() - state["since"]) * 1000),)))
    else:
        invocation.return_value(GLib.Variant("(b)", (bool(parameters[0] & IDLE_FLAG) and state["inhibited"],)))


def read_command(channel, _condition):
    line = sys.stdin.readline().strip()
    if not line:
        loop.quit()
        return False
    if line == "active":
        state["since"] = time.monotonic()
    else:
        state["inhibited"] = line == "inhibit"
    print("done", flush=True)
    return True


def owned(*_):
    state["owned"] += 1
    if state["owned"] == 2:
        print("ready", flush=True)


nodes = Gio.DBusNodeInfo.new_for_xml(INTERFACES)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.register_object("/org/gnome/Mutter/IdleMonitor/Core", nodes.interfaces[0], answer)
bus.register_object("/org/gnome/SessionManager", nodes.interfaces[1], answer)
for name in ("org.gnome.Mutter.IdleMonitor", "org.gnome.SessionManager"):
    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, owned, None)
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IOCondition.IN | GLib.IOCondition.HUP,
                  read_command)
loop = GLib.MainLoop()
loop.run()
