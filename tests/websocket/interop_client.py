"""Interoperability test: Debian's python3-websockets client against our echo server.

Usage: /usr/bin/python3 interop_client.py PATH_TO_ws_echo_server

Starts the server, connects with the library's standard handshake, and exchanges text messages
of 0, 125, 126, 65535, 65536 and 1,048,576 bytes, ASCII and non-ASCII, both ways. The server
answers no close frame, so the client ends the connection after a short close timeout.
"""

import asyncio
import subprocess
import sys

import websockets

SIZES = [0, 125, 126, 65535, 65536, 1048576]
# Characters of 1, 2, 3 and 4 UTF-8 bytes.
NON_ASCII_UNITS = ["\u00e9", "\u20ac", "\U0001f600", "a"]
OVERALL_TIMEOUT = 120


def ascii_message(size):
    return "".join(chr(ord("a") + i % 26) for i in range(size))


def non_ascii_message(size):
    """A text whose UTF-8 form is exactly `size` bytes, mixing 2-, 3- and 4-byte characters."""
    parts, used, i = [], 0, 0
    while used < size:
        unit = NON_ASCII_UNITS[i % 3]
        if used + len(unit.encode()) > size:
            unit = "a"
        parts.append(unit)
        used += len(unit.encode())
        i += 1
    text = "".join(parts)
    assert len(text.encode()) == size
    return text


async def exchange(port):
    async with websockets.connect(
        f"ws://127.0.0.1:{port}/",
        max_size=2 * 1048576,
        ping_interval=None,  # a ping would be refused and its bytes read as frame starts
        close_timeout=1,
    ) as ws:
        greeting = await asyncio.wait_for(ws.recv(), 20)
        assert greeting == "", f"greeting {greeting!r}"
        checked = 0
        for size in SIZES:
            for message in (ascii_message(size), non_ascii_message(size)):
                await ws.send(message)
                if size == 0:
                    # An empty message reads as no message and gets no echo; the next echo shows
                    # that its frame was consumed whole.
                    continue
                echo = await asyncio.wait_for(ws.recv(), 30)
                assert echo == message, f"echo of {size} bytes differs"
                checked += 1
        return checked


def main():
    server = subprocess.Popen(
        [sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True
    )
    try:
        port = int(server.stdout.readline())
        checked = asyncio.run(asyncio.wait_for(exchange(port), OVERALL_TIMEOUT))
        print(f"websockets {websockets.__version__}: {checked} echoes checked")
    finally:
        server.stdin.close()
        try:
            code = server.wait(timeout=30)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
            raise
    if code != 0:
        print(f"echo server exited with {code}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
