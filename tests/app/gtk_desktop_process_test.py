"""The real program in a window on an X server (Xvfb) of desktops where Qt would load its GTK 3
theme (installed here: qt6-gtk-platformtheme). GTK must stay out of the process: its GDK event
source would land on GLib's default context, which the readers' thread iterates for libfprint.
Presses on libfprint's virtual reader still reach the clients, and SIGTERM ends the program.

Usage: gtk_desktop_process_test.py TESSIVA TESSIVA_SENSOR
"""
import asyncio
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

import websockets

TESSIVA, SENSOR = sys.argv[1], sys.argv[2]
GTK_THEME_PLUGIN = "/usr/lib/x86_64-linux-gnu/qt6/plugins/platformthemes/libqgtk3.so"
DEADLINE = 20
SKIPPED = 77  # ctest's SKIP_RETURN_CODE

DESKTOPS = ["GNOME", "ubuntu:GNOME", "XFCE", "X-Cinnamon", "MATE"]


class Xvfb:
    def __init__(self):
        read, write = os.pipe()
        # No reset when the last client leaves: a program connecting while the server resets
        # can wait for its connection setup for ever (seen: stuck in XOpenDisplay).
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                                      "-noreset"],
                                     pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            self.display = ":" + display.readline().strip()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=DEADLINE)


def loaded_libraries(pid):
    with open(f"/proc/{pid}/maps") as maps:
        return {line.split()[-1] for line in maps if "/" in line}


class Program(subprocess.Popen):
    """The program with its standard error read as it comes: a pipe left unread would stop it
    once full."""

    def __init__(self, command, env):
        super().__init__(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True)
        self.lines = []
        self.collector = threading.Thread(target=lambda: self.lines.extend(self.stderr),
                                          daemon=True)
        self.collector.start()

    def errors(self):
        self.collector.join(timeout=DEADLINE)
        return "".join(self.lines)


def thread_stacks(pid):
    """Where a program that is still running but not listening is stuck, when gdb is there."""
    try:
        return subprocess.run(["gdb", "-batch", "-p", str(pid), "-ex", "thread apply all bt"],
                              capture_output=True, text=True, timeout=DEADLINE).stdout[-6000:]
    except (OSError, subprocess.TimeoutExpired) as failure:
        return f"(no stacks: {failure!r})"


async def connect_when_ready(program):
    # A window on a loaded machine may take a while to come up; one that ended says why.
    end = time.monotonic() + 3 * DEADLINE
    while True:
        if program.poll() is not None:
            raise AssertionError(f"the program ended with {program.returncode}: "
                                 f"{program.errors()[-2000:]}")
        try:
            return await websockets.connect("ws://127.0.0.1:9090", ping_interval=None,
                                            close_timeout=1)
        except OSError:
            if time.monotonic() > end:
                raise AssertionError(f"no connection on port 9090 in {3 * DEADLINE} s; the "
                                     f"program's standard error:\n{''.join(program.lines)[-2000:]}\n"
                                     f"its threads:\n{thread_stacks(program.pid)}")
            await asyncio.sleep(0.05)


async def next_message(client):
    return json.loads(await asyncio.wait_for(client.recv(), DEADLINE))


async def press_reaches_clients(program, env):
    client = await connect_when_ready(program)
    await client.send('{"act":"init","state":"gtk"}')
    reply = await next_message(client)
    assert (reply["status"], reply["sensor_SN"]) == ("success", "virtual_image:0"), reply
    subprocess.run([SENSOR, "press-synthetic", "1"], env=env, check=True, timeout=DEADLINE,
                   capture_output=True)
    scan = await next_message(client)
    assert scan["event"] == "Finger Scan Info", scan
    await client.close()


def run_desktop(desktop, display, work):
    env = {k: v for k, v in os.environ.items()
           if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME")}
    env.update(DISPLAY=display, XDG_CURRENT_DESKTOP=desktop, XDG_RUNTIME_DIR=work,
               FP_VIRTUAL_IMAGE=os.path.join(work, "reader.sock"))
    program = Program([TESSIVA], env)
    try:
        asyncio.run(press_reaches_clients(program, env))
        gtk = [lib for lib in loaded_libraries(program.pid) if "libgtk-3" in lib or "libqgtk3" in lib]
        assert not gtk, f"GTK loaded: {gtk}"
        program.send_signal(signal.SIGTERM)
        assert program.wait(timeout=DEADLINE) == 0
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def main():
    if not os.path.exists(GTK_THEME_PLUGIN) or subprocess.run(
            ["which", "Xvfb"], capture_output=True).returncode != 0:
        print("needs Xvfb and qt6-gtk-platformtheme")
        sys.exit(SKIPPED)
    server = Xvfb()
    failures = []
    try:
        for desktop in DESKTOPS:
            with tempfile.TemporaryDirectory() as work:
                os.chmod(work, 0o700)
                try:
                    run_desktop(desktop, server.display, work)
                    print(f"{desktop}: ok")
                except Exception as failure:  # noqa: BLE001  (every desktop is tried)
                    failures.append(f"{desktop}: {failure!r}")
                    print(failures[-1])
    finally:
        server.stop()
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
