#!/usr/bin/python3
"""TessaryLive on a real desktop (openbox, picom, a see-through icon layer):
a full-screen window pauses it and leaving full screen resumes it; a
maximised window that hides the whole screen pauses it as "covered"; with
the icons hidden from the tray menu, the program is killed at 20 random
moments: the icons come back with the window, which cannot outlive the
program, and every next start removes the recovery file before it plays.

Run as:
  LIVE_PROGRAM=build/native/bin/TessaryLive TEST_WINDOW=build/native/tests/linux/tessary_desktop_test_window \\
    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- tests/linux/live-desktop-pauses.py
"""
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from trayhost import expect, failures, items, private_home, pump, start_live, wait_state  # noqa: E402

import gi  # noqa: E402

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

children = [subprocess.Popen(["openbox", "--sm-disable"], stderr=subprocess.DEVNULL)]
time.sleep(1)
children.append(subprocess.Popen(["picom", "--backend", "xrender", "--no-fading-openclose"],
                                 stderr=subprocess.DEVNULL))
children.append(subprocess.Popen([os.environ["TEST_WINDOW"], "icons"], stderr=subprocess.DEVNULL))
time.sleep(1.5)


def first_line(item):
    return item.layout()[0][0]


def screen_pauses():
    env = private_home(LANGUAGE="en")
    live, item = start_live(env, "--test")
    try:
        if item is None:
            failures.append("the item never registered")
            return
        expect("playing", wait_state(1, 45), True)
        window = Gtk.Window(title="a full-screen program")
        window.show_all()
        pump(1)
        window.fullscreen()
        started = time.monotonic()
        expect("a full-screen window pauses", wait_state(2, 10), True)
        print(f"     paused {time.monotonic() - started:.1f} s after going full screen (polled every 2 s)")
        expect("named in the menu", first_line(item), "(Auto-paused (fullscreen))")
        window.unfullscreen()
        expect("leaving full screen resumes", wait_state(1, 10), True)
        window.maximize()
        expect("a maximised window hiding the screen pauses", wait_state(2, 10), True)
        expect("named in the menu", first_line(item), "(Auto-paused (covered))")
        window.unmaximize()
        window.resize(400, 300)
        expect("a smaller window resumes", wait_state(1, 10), True)
        window.destroy()
        pump(0.5)
    finally:
        live.kill()
        live.wait()


def icons_survive_kills(rounds=20):
    env = private_home(LANGUAGE="en")
    state_file = f"{env['XDG_DATA_HOME']}/Tessary/wallpaper-state.json"
    hidden_seen = 0
    for n in range(rounds):
        items.clear()
        live, item = start_live(env, "--test")
        if item is None or not wait_state(1, 45):
            failures.append(f"round {n}: did not play")
            live.kill()
            live.wait()
            continue
        if os.path.exists(state_file):
            failures.append(f"round {n}: the recovery file outlived the start")
        # Hide the icons, then kill at a random moment: right away, while the
        # hide is being applied, or a while after.
        item.click("Show desktop icons")
        pump(random.uniform(0, 1.2))
        if os.path.exists(state_file):
            hidden_seen += 1
        live.kill()
        live.wait()
    items.clear()
    live, item = start_live(env, "--test")
    expect("the last start plays", item is not None and wait_state(1, 45), True)
    expect("no recovery file after the last start", os.path.exists(state_file), False)
    expect("the icons were hidden when killed in most rounds", hidden_seen >= rounds // 2, True)
    print(f"     {hidden_seen} of {rounds} kills came with the icons hidden")
    live.kill()
    live.wait()


try:
    screen_pauses()
    icons_survive_kills()
finally:
    for child in reversed(children):
        child.kill()
        child.wait()

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
