"""The real program, offscreen, driven by a WebSocket client we did not write (Debian's
python3-websockets) and by tessiva-sensor: every command and sensor event as clients see it.

Usage: protocol_process_test.py TESSIVA TESSIVA_SENSOR
"""
import asyncio
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

import websockets

TESSIVA, SENSOR = sys.argv[1], sys.argv[2]
URL = "ws://127.0.0.1:9090"
DEADLINE = 20  # seconds for any single wait
STANDARD = ["sensor_count", "sensor_index", "sensor_SN", "mode"]
LOG_LINE = re.compile(r"^\[([^\]]*)\] - \d{4}-\d\d-\d\d \d\d:\d\d:\d\d: : (.*)$")


class Program:
    """The program with its stdout collected line by line on a thread."""

    def __init__(self, runtime_dir):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime_dir)
        self.env = env
        self.proc = subprocess.Popen([TESSIVA], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.proc.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def messages(self):
        with self.lock:
            lines = list(self.lines)
        result = []
        for line in lines:
            m = LOG_LINE.match(line)
            assert m, f"malformed log line: {line!r}"
            result.append((m.group(1), m.group(2)))
        return result

    def wait_for_log(self, sender, text, count=1):
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            if sum(1 for s, t in self.messages() if s == sender and t == text) >= count:
                return
            time.sleep(0.02)
        raise AssertionError(f"log line [{sender}] {text!r} x{count} not seen")

    def sensor(self, *args):
        # A press waits up to 30 s for its report, after generating its image.
        done = subprocess.run([SENSOR, *args], env=self.env, capture_output=True, text=True,
                              timeout=3 * DEADLINE)
        assert done.returncode == 0, f"tessiva-sensor {args}: {done.stdout} {done.stderr}"
        return done.stdout

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise


async def connect_when_ready():
    end = time.monotonic() + DEADLINE
    while True:
        try:
            return await websockets.connect(URL, ping_interval=None, close_timeout=1,
                                            max_size=None)
        except OSError:
            if time.monotonic() > end:
                raise
            await asyncio.sleep(0.05)


async def receive(client):
    return await asyncio.wait_for(client.recv(), DEADLINE)


async def both(a, b):
    """The next message on both clients: the same text, as one JSON object in member order."""
    text_a, text_b = await receive(a), await receive(b)
    assert text_a == text_b, f"clients differ:\n{text_a}\n{text_b}"
    message = json.loads(text_a)
    keys = list(message)
    assert keys[:3] == ["event", "status", "message"], keys
    assert keys[-4:] == STANDARD, keys
    assert isinstance(message["sensor_count"], int) and isinstance(message["sensor_index"], int)
    return message


def fields(message, *names):
    return tuple(message[n] for n in names)


async def scenario(program):
    a = await connect_when_ready()
    b = await connect_when_ready()
    program.wait_for_log("SERVER", "Client Connected!", 2)
    names = [t for s, t in program.messages()]
    assert "Client Connected" in names
    assert any(re.fullmatch(r"Port=9090 \(PeerIP=127\.0\.0\.1 - PeerPort=\d+\)", t) for t in names)

    async def command(act, state):
        await a.send(json.dumps({"act": act, "state": state}))
        return await both(a, b)

    reply = await command("init", "s-init")
    assert fields(reply, "event", "status", "message", "state", "mode") == (
        "Sensor Initialization", "success", "Sensor connected", "s-init", "identify"), reply
    assert reply["sensor_count"] == 1 and reply["sensor_SN"], reply

    reply = await command("enroll", "s-enroll")
    assert fields(reply, "event", "message", "step_current", "step_total", "step_remainder",
                  "state", "mode") == (
        "Start Enrollment", "Start enrolling fingerprint by touching the sensor", 0, 3, 3,
        "s-enroll", "enroll"), reply

    expected_scans = [
        ("Register status: press finger 2 more time(s) Fingerprint quality good, quality=80", 1, 2, 3),
        ("Register status: press finger 1 more time(s) Fingerprint quality good, quality=80", 2, 2, 2),
        ("Registration finished Fingerprint quality good, quality=80", 3, 2, 1),
    ]
    for text, current, total, remainder in expected_scans:
        program.sensor("touch", "1")
        scan = await both(a, b)
        assert fields(scan, "event", "status", "message", "quality", "state", "step_current",
                      "step_total", "step_remainder", "mode") == (
            "Finger Scan Info", "success", text, 80, "s-enroll", current, total, remainder,
            "enroll"), scan
    finish = await both(a, b)
    assert fields(finish, "event", "status", "message", "state", "mode") == (
        "Enrollment Finish", "success", "Fingerprint enrollment successful", "s-enroll",
        "enrollfinish"), finish
    assert finish["template"], finish

    reply = await command("identify", "s-identify")
    assert fields(reply, "event", "message", "mode") == (
        "Identify Mode", "Switched to Identify(1:N) mode", "identify"), reply
    program.sensor("touch", "1", "72")
    scan = await both(a, b)
    assert scan["message"] == " Fingerprint quality good, quality=72" and "step_current" not in scan
    match = await both(a, b)
    assert fields(match, "event", "status", "id", "processnum", "state") == (
        "Identify", "success", 1, 1, "s-identify"), match
    assert re.fullmatch(r"Identify Succeed ID = 1 Score = \d+  Processed Number = 1",
                        match["message"]), match
    program.sensor("touch", "2")
    await both(a, b)
    miss = await both(a, b)
    assert fields(miss, "event", "status", "message", "id") == (
        "Identify", "fail", "Identify Failed", -1), miss

    reply = await command("verify", "s-verify")
    assert fields(reply, "event", "message", "mode") == (
        "Verify Mode", "Switched to Verify(1:1) mode", "verify"), reply
    program.sensor("touch", "1")
    await both(a, b)
    verified = await both(a, b)
    assert fields(verified, "event", "status", "message") == (
        "Verify", "success", "Verify Succeed"), verified
    assert "id" not in verified
    program.sensor("touch", "2", "30")
    scan = await both(a, b)
    assert scan["message"] == " Fingerprint quality not good, quality=30", scan
    refused = await both(a, b)
    assert fields(refused, "event", "status", "message") == ("Verify", "fail", "Verify Failed")

    reply = await command("cancelenroll", "s-cancel")
    assert fields(reply, "event", "message", "mode") == (
        "Enrollment Cancel", "Enrollment process aborted", "enrollcancel"), reply
    reply = await command("disconnect", "s-off")
    assert fields(reply, "event", "status", "message") == (
        "Disconnecting Sensor", "success", "Sensor disconnected"), reply

    program.sensor("unplug")
    reply = await command("init", "s-unplugged")
    assert fields(reply, "event", "status", "message", "sensor_count") == (
        "Sensor Initialization", "fail", "Sensor not connected", 0), reply
    program.sensor("plug")

    await b.close()
    program.wait_for_log("", "Client disconnected")
    assert ("fingerprint", "Verify success") in program.messages()
    await a.close()


def main():
    with tempfile.TemporaryDirectory() as runtime_dir:
        os.chmod(runtime_dir, 0o700)
        program = Program(runtime_dir)
        try:
            asyncio.run(asyncio.wait_for(scenario(program), 240))
        finally:
            code = program.stop()
        assert code == 0, f"exit code {code}: {program.proc.stderr.read()}"
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
