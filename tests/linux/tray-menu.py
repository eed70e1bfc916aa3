#!/usr/bin/python3
"""TessaryLive's tray item as a panel sees it: this test owns the status
notifier watcher on the session bus, takes the item's registration, reads
its menu over dbusmenu (GetLayout) and clicks items (Event), in English and
in Japanese, checking the program's state through its own bus name.

Run inside a session with a display and a window manager:
  LIVE_PROGRAM=build/native/bin/TessaryLive xvfb-run -a dbus-run-session -- sh -c 'openbox & tests/linux/tray-menu.py'
"""
import os
import subprocess
import sys
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
        _, ids = self.layout()
        call(self.name, self.menu, "com.canonical.dbusmenu", "Event",
             GLib.Variant("(isvu)", (ids[label], "clicked", GLib.Variant("i", 0), 0)))


def expect(what, got, want):
    if got != want:
        failures.append(f"{what}:\n  got  {got}\n  want {want}")
        print(f"FAIL {what}")
    else:
        print(f"ok   {what}")


def wait_state(want, seconds=3):
    return pump(seconds, lambda: live_state() == want)


def run(language, texts):
    home = tempfile.mkdtemp()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               XDG_CACHE_HOME=f"{home}/cache", LANGUAGE=language, WEBKIT_DISABLE_COMPOSITING_MODE="1")
    items.clear()
    live = subprocess.Popen([os.environ["LIVE_PROGRAM"], "--test"], env=env, stderr=subprocess.DEVNULL)
    try:
        def ours():
            # Registrations of the program that ran before may still arrive.
            for name, path in items:
                pid = call_quietly("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)), "(u)")
                if pid and pid[0] == live.pid:
                    return name, path
            return None

        if not pump(15, lambda: ours() is not None):
            failures.append(f"{language}: the item never registered")
            return
        item = Item(*ours())
        expect(f"{language}: playing", wait_state(1, 15), True)
        pump(0.5)
        lines = [("(Build *)" if l.startswith("(Build ") else "(ビルド *)" if l.startswith("(ビルド ") else l)
                 for l in item.layout()[0]]
        expect(f"{language}: the menu while playing", lines, texts["running"])
        item.click(texts["pause"])
        expect(f"{language}: pause", wait_state(2), True)
        pump(0.3)
        expect(f"{language}: the menu while paused", item.layout()[0][0], texts["resume"])
        item.click(texts["resume"])
        expect(f"{language}: resume", wait_state(1), True)
        item.click(texts["fast"])
        pump(1)
        expect(f"{language}: speed", "  [x] " + texts["fast"] in item.layout()[0], True)
        item.click(texts["sway"])
        pump(1)
        expect(f"{language}: motion", "  [x] " + texts["sway"] in item.layout()[0], True)
        shown.clear()
        item.click(texts["open"])
        expect(f"{language}: open", pump(3, lambda: bool(shown)), True)
        item.click(texts["stop"])
        expect(f"{language}: stop", wait_state(0), True)
        pump(0.3)
        expect(f"{language}: the menu when stopped offers a start", item.layout()[0][0], texts["start"])
        item.click(texts["start"])
        expect(f"{language}: start again", wait_state(1, 10), True)
        item.click(texts["exit"])
        try:
            live.wait(5)
            expect(f"{language}: exit", live.returncode, 0)
        except subprocess.TimeoutExpired:
            failures.append(f"{language}: exit did not end the program")
    finally:
        if live.poll() is None:
            live.kill()
            live.wait()


run("en", {
    "running": ["Pause", "Stop Live Wallpaper", "-", "(Show desktop icons)", "(This desktop shows no icons)", "-",
                "Choose wallpaper", "  ((No saved creations))", "  -", "  (Open from a file (*.kiro)…)", "-",
                "Motion", "  [x] Drop", "  Sway", "Speed", "  Slow", "  [x] Normal", "  Fast", "-", "(Build *)",
                "-", "Open Tessary", "Exit Live Wallpaper"],
    "pause": "Pause", "resume": "Resume", "fast": "Fast", "sway": "Sway", "stop": "Stop Live Wallpaper",
    "start": "Start Live Wallpaper", "exit": "Exit Live Wallpaper", "open": "Open Tessary"})
run("ja", {
    "running": ["一時停止", "ライブ壁紙を停止", "-", "(デスクトップアイコンを表示)", "(このデスクトップにはアイコンがありません)",
                "-", "壁紙を選ぶ", "  (（保存した作品がありません）)", "  -", "  (ファイルから開く（*.kiro）…)", "-",
                "動き", "  [x] 落とす", "  舞う", "速さ", "  ゆっくり", "  [x] ふつう", "  はやい", "-", "(ビルド *)",
                "-", "テッサリーを開く", "ライブ壁紙を終了"],
    "pause": "一時停止", "resume": "再開", "fast": "はやい", "sway": "舞う", "stop": "ライブ壁紙を停止",
    "start": "ライブ壁紙を開始", "exit": "ライブ壁紙を終了", "open": "テッサリーを開く"})

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
