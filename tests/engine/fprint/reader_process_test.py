"""The real program with libfprint's virtual image reader (FP_VIRTUAL_IMAGE): init finds the
reader, tessiva-sensor presses synthetic fingers and image files on it and prints the quality
line the clients got, and clients see enrolment, identification and verification; a touch of the
simulated sensor says it is not in use; a template loaded back into a new cache is identified
again; once the reader is unplugged the next init falls back to the simulated sensor, which
refuses the reader's template. Prints how long a press command takes until its scan reaches the
clients.

Usage: reader_process_test.py TESSIVA TESSIVA_SENSOR
"""
import asyncio
import json
import os
import re
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app"))
import protocol_process_test as protocol  # noqa: E402  (the program and client helpers)

both, fields = protocol.both, protocol.fields

# A simulated sensor's template: one minutia, format "9".
SIMULATED_TEMPLATE = "NQ9:01102030"


async def scenario(program, socket_path):
    a = await protocol.connect_when_ready()
    b = await protocol.connect_when_ready()
    delays = []

    async def command(act, state):
        await a.send(f'{{"act":"{act}","state":"{state}"}}')
        return await both(a, b)

    async def load(state, templates):
        await a.send(json.dumps({"act": "load", "state": state, "templates": templates}))
        return await both(a, b)

    async def press(*args):
        """Presses on the reader; returns the scan message, whose quality line the tool printed."""
        sent = time.monotonic()
        printed = program.sensor(*args)
        scan = await both(a, b)
        delays.append(time.monotonic() - sent)
        assert scan["event"] == "Finger Scan Info", scan
        assert printed == "ok " + scan["message"].lstrip(" ") + "\n", (printed, scan)
        return scan

    reply = await command("init", "r-init")
    assert fields(reply, "event", "status", "message", "sensor_count", "sensor_SN") == (
        "Sensor Initialization", "success", "Sensor connected", 1, "virtual_image:0"), reply
    program.wait_for_log("fingerprint", "Sensor: virtual_image:0")

    reply = await command("enroll", "r-enroll")
    assert fields(reply, "event", "step_remainder") == ("Start Enrollment", 3), reply
    for impression, remainder in ((1, 3), (2, 2), (3, 1)):
        scan = await press("press-synthetic", "1", str(impression))
        assert scan["step_remainder"] == remainder, scan
        assert " Fingerprint quality good, quality=" in scan["message"], scan
    finish = await both(a, b)
    assert fields(finish, "event", "status") == ("Enrollment Finish", "success"), finish
    assert finish["template"].startswith("TSF10S:"), finish

    reply = await command("identify", "r-identify")
    await press("press-synthetic", "1", "4")
    match = await both(a, b)
    assert fields(match, "event", "status", "id", "processnum") == (
        "Identify", "success", 1, 1), match
    await press("press-synthetic", "2", "1")
    miss = await both(a, b)
    assert fields(miss, "event", "status", "id") == ("Identify", "fail", -1), miss

    reply = await command("verify", "r-verify")
    await press("press-synthetic", "1", "5")
    verified = await both(a, b)
    assert fields(verified, "event", "status") == ("Verify", "success"), verified
    # A blank image file: the reader finds no finger in it; a poor press, matching nothing.
    blank = os.path.join(os.path.dirname(socket_path), "blank.pgm")
    with open(blank, "wb") as out:
        out.write(b"P5\n300 400\n255\n" + b"\xff" * (300 * 400))
    scan = await press("press", blank)
    assert re.fullmatch(r" Fingerprint quality not good, quality=\d+", scan["message"]), scan
    refused = await both(a, b)
    assert fields(refused, "event", "status") == ("Verify", "fail"), refused
    # libfprint's complaint about that image is one line of the log, not GLib's own text.
    program.wait_for_log(
        "GLib", "libfprint-image_device warning: Failed to detect minutiae: No minutiae found")

    touch = subprocess.run([protocol.SENSOR, "touch", "1"], env=program.env, capture_output=True,
                           text=True, timeout=protocol.DEADLINE)
    assert (touch.returncode, touch.stdout) == (1, (
        "error the simulated sensor is not in use: Tessiva drives a fingerprint reader (for "
        "libfprint's virtual one, use tessiva-sensor press FILE or press-synthetic FINGER)\n")), touch

    # A new init starts an empty cache; the page loads the enrolled template back under the next
    # id, and the simulated sensor's template is refused by name.
    reply = await command("init", "r-reinit")
    assert fields(reply, "status", "sensor_SN") == ("success", "virtual_image:0"), reply
    loaded = await load("r-load", [finish["template"], SIMULATED_TEMPLATE])
    assert fields(loaded, "event", "status", "message", "ids", "reasons", "state") == (
        "Load Templates", "fail", "Loaded 1 of 2 templates", [2, -1],
        ["", "a template of the simulated sensor, but a fingerprint reader is in use"],
        "r-load"), loaded
    await command("identify", "r-identify-loaded")
    await press("press-synthetic", "1", "4")
    match = await both(a, b)
    assert fields(match, "event", "status", "id", "processnum") == (
        "Identify", "success", 2, 1), match

    # The reader unplugged: the next init serves with the simulated sensor.
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as reader:
        reader.connect(socket_path)
        reader.sendall(struct.pack("=ii", -5, 0))
    end = time.monotonic() + protocol.DEADLINE
    while True:
        reply = await command("init", "r-fallback")
        if reply["sensor_SN"] != "virtual_image:0" or time.monotonic() > end:
            break
        await asyncio.sleep(0.1)
    assert fields(reply, "status", "sensor_SN") == ("success", "TSV-SIM-000001"), reply
    program.sensor("touch", "4")
    scan = await both(a, b)
    assert scan["event"] == "Finger Scan Info", scan
    await both(a, b)  # the identification of that touch
    loaded = await load("r-load-simulated", [finish["template"], SIMULATED_TEMPLATE])
    assert fields(loaded, "status", "ids", "reasons") == (
        "fail", [-1, 3],
        ["a template of a fingerprint reader, but the simulated sensor is in use", ""]), loaded
    await a.close()
    await b.close()
    return delays


def main():
    with tempfile.TemporaryDirectory() as runtime_dir:
        os.chmod(runtime_dir, 0o700)
        socket_path = os.path.join(runtime_dir, "virtual-image.sock")
        os.environ["FP_VIRTUAL_IMAGE"] = socket_path
        program = protocol.Program(runtime_dir)
        try:
            delays = asyncio.run(asyncio.wait_for(scenario(program, socket_path), 240))
        finally:
            code = program.stop()
        assert code == 0, f"exit code {code}: {program.proc.stderr.read()}"
    ms = sorted(round(d * 1000) for d in delays)
    print(f"press to scan event on the clients: median {statistics.median(ms)} ms, "
          f"max {ms[-1]} ms over {len(ms)} presses")
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
