"""The panel's side of TessaryLive's tray item, for the tests: a status
notifier watcher on the session bus that takes the item's registration, the
item's menu read and clicked over dbusmenu, a stand-in generator answering
"ShowMain", and the program's state through its own bus name."""
import os
import subprocess
import tempfile
import time

from gi.repository import Gio, GLib

WATCHER_XML = """
<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
items = []  # (bus name, object path)
failures = []


def on_call(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        service = params.unpack()[0]
        # An item names either its object path (then its sender is the name) or its bus name.
        items.append((sender, service) if service.startswith("/") else (service, "/StatusNotifierItem"))
    invocation.return_value(None)


def on_get(conn, sender, path, iface, prop):
    if prop == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", [f"{n}{p}" for n, p in items])
    if prop == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


MAKER_XML = """
<node><interface name="org.tessary.Maker">
  <method name="ShowMain"><arg type="i" direction="out"/></method>
</interface></node>"""
shown = []


def on_show_main(conn, sender, path, iface, method, params, invocation):
    shown.append(method)
    invocation.return_value(GLib.Variant("(i)", (1,)))


# A stand-in for the generator, so that "Open Tessary" has someone to show.
maker = Gio.DBusNodeInfo.new_for_xml(MAKER_XML)
bus.register_object("/org/tessary/Maker", maker.interfaces[0], on_show_main, None, None)
Gio.bus_own_name_on_connection(bus, "org.tessary.Maker", Gio.BusNameOwnerFlags.NONE, None, None)

node = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_get, None)
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE, None, None)


def pump(seconds, until=lambda: False):
    ctx = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end and not until():
        ctx.iteration(False)
        time.sleep(0.01)
    return until()


def call_quietly(*args):
    try:
        return call(*args)
    except GLib.Error:
        return None


def call(name, path, iface, method, args=None, reply=None):
    return bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def live_state():
    return call("org.tessary.Live", "/org/tessary/Live", "org.tessary.Live", "State", None, "(i)")[0]


class Item:
    def __init__(self, name, path):
        self.name = name
        menu = call(name, path, "org.freedesktop.DBus.Properties", "Get",
                    GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")), "(v)")[0]
        self.menu = menu

    def layout(self):
        """The menu as lines like the test of the controller: "(text)" greyed,
        "[x] text" checked, "-" a separator, submenus indented; and the ids."""
        _, root = call(self.name, self.menu, "com.canonical.dbusmenu", "GetLayout",
                       GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
        lines, ids = [], {}

        def walk(node, indent):
            for child in node[2]:
                cid, props, _ = child
                if not props.get("visible", True):
                    continue
                if props.get("type") == "separator":
                    lines.append(indent + "-")
                    continue
                text = props.get("label", "").replace("_", "", 1) if "_" in props.get("label", "") else props.get("label", "")
                if props.get("toggle-type") == "checkmark" and props.get("toggle-state") == 1:
                    text = "[x] " + text
                lines.append(indent + (text if props.get("enabled", True) else f"({text})"))
                ids[text.replace("[x] ", "")] = cid
                if props.get("children-display") == "submenu":
                    walk(child, indent + "  ")

        walk(root, "")
        return lines, ids

    def click(self, label):
        """Clicks the item labelled so. The menu is built again whenever the
        state changes, which may happen between reading its ids and clicking:
        a click on an id that has just gone is tried again with the new ids."""
        def attempt():
            _, ids = self.layout()
            try:
                call(self.name, self.menu, "com.canonical.dbusmenu", "Event",
                     GLib.Variant("(isvu)", (ids[label], "clicked", GLib.Variant("i", 0), 0)))
                return True
            except GLib.Error as error:
                if "does not refer to a menu item" not in str(error):
                    raise
                return False

        end = time.monotonic() + 10
        while not attempt():
            if time.monotonic() > end:
                raise RuntimeError(f"the menu kept changing under the click on {label!r}")
            pump(0.05)


def expect(what, got, want):
    if got != want:
        failures.append(f"{what}:\n  got  {got}\n  want {want}")
        print(f"FAIL {what}")
    else:
        print(f"ok   {what}")


def wait_state(want, seconds=10):
    return pump(seconds, lambda: live_state() == want)




def private_home(**extra):
    """The environment of a program with its own empty XDG folders."""
    home = tempfile.mkdtemp()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               XDG_CACHE_HOME=f"{home}/cache", WEBKIT_DISABLE_COMPOSITING_MODE="1")
    env.update(extra)
    return env


def start_live(env, *args):
    """Starts TessaryLive; returns the process and its tray item (None when
    the item did not register within 30 s)."""
    live = subprocess.Popen([os.environ["LIVE_PROGRAM"], *args], env=env, stderr=subprocess.DEVNULL)

    def ours():
        # Registrations of a program that ran before may still arrive.
        for name, path in items:
            pid = call_quietly("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)), "(u)")
            if pid and pid[0] == live.pid:
                return name, path
        return None

    if not pump(30, lambda: ours() is not None):
        return live, None
    return live, Item(*ours())
