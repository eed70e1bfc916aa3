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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from trayhost import expect, failures, items, private_home, pump, shown, start_live, wait_state  # noqa: E402

def run(language, texts):
    items.clear()
    live, item = start_live(private_home(LANGUAGE=language), "--test")
    try:
        if item is None:
            failures.append(f"{language}: the item never registered")
            return
        expect(f"{language}: playing", wait_state(1, 45), True)

        def menu_lines():
            return [("(Build *)" if l.startswith("(Build ") else "(ビルド *)" if l.startswith("(ビルド ") else l)
                    for l in item.layout()[0]]

        # The menu follows the state a moment later; a loaded machine takes longer.
        pump(10, lambda: menu_lines() == texts["running"])
        expect(f"{language}: the menu while playing", menu_lines(), texts["running"])
        item.click(texts["pause"])
        expect(f"{language}: pause", wait_state(2), True)
        pump(10, lambda: item.layout()[0][0] == texts["resume"])
        expect(f"{language}: the menu while paused", item.layout()[0][0], texts["resume"])
        item.click(texts["resume"])
        expect(f"{language}: resume", wait_state(1), True)
        item.click(texts["fast"])
        pump(10, lambda: "  [x] " + texts["fast"] in item.layout()[0])
        expect(f"{language}: speed", "  [x] " + texts["fast"] in item.layout()[0], True)
        item.click(texts["sway"])
        pump(10, lambda: "  [x] " + texts["sway"] in item.layout()[0])
        expect(f"{language}: motion", "  [x] " + texts["sway"] in item.layout()[0], True)
        shown.clear()
        item.click(texts["open"])
        expect(f"{language}: open", pump(10, lambda: bool(shown)), True)
        item.click(texts["stop"])
        expect(f"{language}: stop", wait_state(0), True)
        pump(10, lambda: item.layout()[0][0] == texts["start"])
        expect(f"{language}: the menu when stopped offers a start", item.layout()[0][0], texts["start"])
        item.click(texts["start"])
        expect(f"{language}: start again", wait_state(1, 45), True)
        item.click(texts["exit"])
        try:
            live.wait(15)
            expect(f"{language}: exit", live.returncode, 0)
        except subprocess.TimeoutExpired:
            failures.append(f"{language}: exit did not end the program")
    finally:
        if live.poll() is None:
            live.kill()
            live.wait()


run("en", {
    "running": ["Pause", "Stop Live Wallpaper", "-", "(Show desktop icons)", "(This desktop shows no icons)", "-",
                "Choose wallpaper", "  ((No saved creations))", "  -", "  Open from a file (*.kiro)…", "-",
                "Motion", "  [x] Drop", "  Sway", "Speed", "  Slow", "  [x] Normal", "  Fast", "-", "(Build *)",
                "-", "Open Tessary", "Exit Live Wallpaper"],
    "pause": "Pause", "resume": "Resume", "fast": "Fast", "sway": "Sway", "stop": "Stop Live Wallpaper",
    "start": "Start Live Wallpaper", "exit": "Exit Live Wallpaper", "open": "Open Tessary"})
run("ja", {
    "running": ["一時停止", "ライブ壁紙を停止", "-", "(デスクトップアイコンを表示)", "(このデスクトップにはアイコンがありません)",
                "-", "壁紙を選ぶ", "  (（保存した作品がありません）)", "  -", "  ファイルから開く（*.kiro）…", "-",
                "動き", "  [x] 落とす", "  舞う", "速さ", "  ゆっくり", "  [x] ふつう", "  はやい", "-", "(ビルド *)",
                "-", "テッサリーを開く", "ライブ壁紙を終了"],
    "pause": "一時停止", "resume": "再開", "fast": "はやい", "sway": "舞う", "stop": "ライブ壁紙を停止",
    "start": "ライブ壁紙を開始", "exit": "ライブ壁紙を終了", "open": "テッサリーを開く"})

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
