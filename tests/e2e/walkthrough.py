#!/usr/bin/python3
"""A new user's first session, driven through the accessibility interface of the real program.

Serves the Android components (built from the emulator and adb stand-ins) from a local server named
by CORVANE_ANDROID_MANIFEST, starts the program with a home folder of its own, visits every tab,
opens the Linux screen's own window, turns on the experimental tab and developer mode, installs
Android, starts and stops a device, takes a snapshot and rolls back to it, starts the device again
and quits through the guard, which stops the device first. Then the global log must hold the
expected entries in order.

Usage: walkthrough.py PROGRAM FAKES_DIR HOME_DIR --snapshots|--no-snapshots
(snapshots need HOME_DIR on a copy-on-write volume)
Runs inside a display and a D-Bus session (tests/e2e/run.sh provides both).
"""
import hashlib
import http.server
import io
import json
import os
import platform
import signal
import subprocess
import sys
import threading
import time
import zipfile

import pyatspi

PROGRAM, FAKES, HOME = sys.argv[1:4]
SNAPSHOTS = sys.argv[4:5] != ["--no-snapshots"]
DATA = os.path.join(HOME, ".local", "share")


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


# --- the component mirror --------------------------------------------------------------------------

def archive(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as zf:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
                zf.writestr(info, b"")
            else:
                info.external_attr = (0o100000 | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                zf.writestr(info, data)
    return buffer.getvalue()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def serve_components(folder):
    # The program installs and reads the system image of its host's processor.
    abi = "x86_64" if platform.machine() in ("x86_64", "AMD64") else "arm64-v8a"
    archives = {
        "emulator-linux_x64-1.zip": archive([("emulator/", b"", 0),
                                             ("emulator/emulator", read(os.path.join(FAKES, "emulator")), 0o755)]),
        "platform-tools_r1-linux.zip": archive([("platform-tools/", b"", 0),
                                                ("platform-tools/adb", read(os.path.join(FAKES, "adb")), 0o755)]),
        f"{abi}-34_r04.zip": archive([(f"{abi}/", b"", 0),
                                      (f"{abi}/system.img", b"s" * 65536, 0o644),
                                      (f"{abi}/kernel-ranchu", b"k" * 4096, 0o644)]),
    }

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = archives.get(self.path.rsplit("/", 1)[-1])
            if body is None:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/repository/"
    rows = []
    for (name, body), (ident, destination, source) in zip(archives.items(), [
            ("emulator", "emulator", "emulator"),
            ("platform-tools", "platform-tools", "platform-tools"),
            ("system-image", f"system-images/android-34/default/{abi}", abi)]):
        rows.append({"id": ident, "name": ident, "url": base + name, "sha1": hashlib.sha1(body).hexdigest(),
                     "size": len(body), "destination": destination, "source": source})
    manifest = os.path.join(folder, "mirror.json")
    with open(manifest, "w") as f:
        json.dump(rows, f)
    return manifest


# --- driving the window ----------------------------------------------------------------------------

def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def nodes(root, everything=False):
    """Every node that is on screen (or every node at all); hidden pages are not entered."""
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        try:
            children = [node.getChildAtIndex(i) for i in range(node.childCount)]
        except Exception:
            continue
        stack.extend(child for child in reversed(children)
                     if child is not None and (everything or showing(child)))


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Corvane Beta":
            return app
    return None


def find(role, name, timeout=20.0, enabled=True, prefix=False, everything=False):
    deadline = time.monotonic() + timeout
    while True:
        app = application()
        if app is not None:
            for node in nodes(app, everything):
                try:
                    matches = node.getRoleName() == role and (
                        node.name.startswith(name) if prefix else node.name == name)
                    if matches and (not enabled or node.getState().contains(pyatspi.STATE_ENABLED)):
                        return node
                except Exception:
                    continue
        if time.monotonic() > deadline:
            dump()
            raise AssertionError(f"no {'enabled ' if enabled else ''}{role} '{name}' within {timeout} s")
        time.sleep(0.25)


def press_in_dialog(name, timeout=10.0):
    """Presses a button of a window opened over the main window (an alert or a sheet)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        app = application()
        windows = [app.getChildAtIndex(i) for i in range(app.childCount)] if app is not None else []
        for window in windows:
            if window is None or window.getRoleName() == "frame":
                continue
            for node in nodes(window):
                if node.getRoleName() == "push button" and node.name == name:
                    log(f"press {name} in '{window.name}'")
                    act(node, "Press")
                    return
        time.sleep(0.2)
    dump()
    raise AssertionError(f"no window over the main window offers '{name}'")


def act(node, *names):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in names:
            action.doAction(i)
            return
    raise AssertionError(f"'{node.name}' offers none of {names}")


def press(name, role="push button", timeout=20.0):
    node = find(role, name, timeout)
    log(f"press {name}")
    act(node, "Press", "Toggle")
    return node


def dump():
    app = application()
    if app is None:
        log("the program has no accessible window")
        return
    for node in nodes(app):
        try:
            log(f"  {node.getRoleName()} '{node.name}'")
        except Exception:
            pass


def log_lines():
    path = os.path.join(DATA, "CorvaneBeta", "logs", "global.log")
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def wait_for_log(text, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if any(text in line for line in log_lines()):
            return
        time.sleep(0.2)
    raise AssertionError(f"the global log never said '{text}'")


# --- the session -----------------------------------------------------------------------------------

def main():
    runtime = os.path.join(HOME, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    environment = dict(os.environ)
    environment.update({
        "HOME": HOME,
        "XDG_DATA_HOME": DATA,
        "XDG_CONFIG_HOME": os.path.join(HOME, ".config"),
        "XDG_CACHE_HOME": os.path.join(HOME, ".cache"),
        "XDG_STATE_HOME": os.path.join(HOME, ".local", "state"),
        "XDG_RUNTIME_DIR": runtime,
        "CORVANE_ANDROID_MANIFEST": serve_components(HOME),
        "QT_QPA_PLATFORM": "xcb",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "FAKE_EMULATOR_BOOT_DELAY_MS": "300",
    })
    for attempt in range(3):
        started = time.monotonic()
        # A group of its own, so that the emulator stand-ins it started go down with it on a failure.
        program = subprocess.Popen([PROGRAM], env=environment, start_new_session=True)
        while program.poll() is None and application() is None and time.monotonic() - started < 30:
            time.sleep(0.05)
        if program.poll() is None:
            break
        # A virtual display occasionally refuses the very first connection on a loaded machine.
        log(f"the program ended with {program.returncode} before its window appeared; starting it again")
    try:
        find("frame", "Corvane Beta", timeout=30)
        log(f"window up after {time.monotonic() - started:.2f} s")
        find("label", "Windows 虚拟机")  # a new user lands on the Windows tab

        for tab, marker_role, marker in [("Android", "push button", "添加安卓设备"),
                                         ("iPhone", "label", "iOS Simulator"),
                                         ("Windows", "label", "Windows 虚拟机"),
                                         ("Linux", "label", "Linux · ARM64"),
                                         ("设置", "label", "整体外观")]:
            press(tab)
            find(marker_role, marker, enabled=False)
        press("Linux")
        press("独立窗口")
        # The machine's screen in a window of its own, beside the main one.
        windows = []
        for _ in range(100):
            app = application()
            windows = [app.getChildAtIndex(i).name for i in range(app.childCount)] if app else []
            if "Linux" in windows:
                break
            time.sleep(0.2)
        if "Linux" not in windows:
            raise AssertionError(f"no window 'Linux' beside the main one, only {windows}")
        find("label", "Linux 尚未启动", enabled=False)
        press("设置")
        press("启用 vphone-cli 实验入口", role="check box")
        press("iPhone Beta")
        find("label", "vphone-cli 实验性接入", enabled=False)
        press("设置")
        press("开发者模式", role="check box")
        find("label", "实时日志", enabled=False)  # the live log slides in beside the pages

        press("Android")
        press("安装安卓环境")
        press("我已阅读并同意 Android SDK 许可协议", role="check box")
        press_in_dialog("同意并安装")
        find("label", "安卓环境已就绪", timeout=90, enabled=False)

        press("启动安卓")
        find("label", "安卓正在运行", timeout=60, enabled=False)
        press("停止安卓")
        find("push button", "启动安卓", timeout=60)

        if SNAPSHOTS:
            press("创建快照")
            find("label", "最近快照：", prefix=True, timeout=60, enabled=False)
            press("一键回滚")
            press_in_dialog("一键回滚")
            wait_for_log("已回滚 ")

        press("启动安卓")
        find("label", "安卓正在运行", timeout=60, enabled=False)
        log("quit through the menu while the device runs")
        act(find("menu item", "退出 Corvane Beta", everything=True), "Press")
        code = program.wait(timeout=90)
        if code != 0:
            raise AssertionError(f"the program ended with {code}")
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        try:
            os.killpg(program.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    expected = ["[应用] Corvane Beta 已启动", "用户已开启开发者模式", "切换到 Android", "安卓环境安装完成",
                "请求启动 ", "请求正常关闭 ", "已停止",
                *(["已创建 ", "已回滚 "] if SNAPSHOTS else []),
                "请求启动 ", "请求正常关闭 ", "已停止"]
    lines = log_lines()
    position = 0
    for text in expected:
        while position < len(lines) and text not in lines[position]:
            position += 1
        if position == len(lines):
            print("\n".join(lines))
            raise AssertionError(f"the global log lacks '{text}' after the entries before it")
        log(f"log: {lines[position]}")
        position += 1
    log(f"walkthrough passed in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
