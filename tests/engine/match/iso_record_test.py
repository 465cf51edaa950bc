"""tessiva-match --iso, read back by a check of the ISO/IEC 19794-2:2005 finger minutiae record
written here from the standard's layout alone. The templates are made here too, from the
documented template format, so that nothing of the program's own code takes part in the check.

Usage: iso_record_test.py TESSIVA_MATCH
"""
import struct
import subprocess
import sys
import zlib

# Impression types the 2005 edition defines: live-scan plain and rolled, non-live plain and
# rolled, swipe.
IMPRESSION_TYPES = {0, 1, 2, 3, 8}


def reader_template(samples, fine=True, sampled=False):
    """The fingerprint reader's template text. samples: (width, height, quality, minutiae) with
    minutiae (x, y, direction) in the format's own units: eighths of a pixel and 65536 steps per
    turn when fine, whole pixels and 256 steps otherwise."""
    body = bytes([(110 if fine else 109) if sampled else (10 if fine else 9)])
    if sampled:
        body += bytes([len(samples)])
    for width, height, quality, minutiae in samples:
        body += struct.pack(">HHBB", width, height, quality, len(minutiae))
        for x, y, direction in minutiae:
            body += struct.pack(">HHH" if fine else ">HHB", x, y, direction)
    body += struct.pack(">I", zlib.crc32(body))
    prefix = ("TSF10" if fine else "TSF9") + ("S" if sampled else "") + ":"
    return prefix + body.hex()


def expected_minutia(minutia, fine):
    """The pixel and the counter-clockwise angle in 256 steps the record should hold; the
    templates turn clockwise (y downward)."""
    x, y, direction = minutia
    scale, steps = (8, 65536) if fine else (1, 256)
    counter = (steps - direction) % steps
    return x // scale, y // scale, counter * 256 / steps


def read_record(data):
    """Parses a record strictly by the 2005 layout; returns the header and the views."""
    assert data[0:4] == b"FMR\0", data[0:4]
    assert data[4:8] == b" 20\0", data[4:8]
    length, equipment, width, height, xres, yres, views, reserved = struct.unpack(
        ">IHHHHHBB", data[8:24])
    assert length == len(data), f"record length {length}, record has {len(data)} bytes"
    assert equipment >> 12 in (0, 1), "certification flag"
    assert reserved == 0, "reserved byte"
    assert views >= 1
    offset = 24
    found = []
    for _ in range(views):
        position, view_impression, quality, count = struct.unpack(">BBBB", data[offset:offset + 4])
        offset += 4
        assert 0 <= position <= 10, f"finger position {position}"
        assert view_impression & 15 in IMPRESSION_TYPES, f"impression type {view_impression & 15}"
        assert quality <= 100, f"finger quality {quality}"
        minutiae = []
        for _ in range(count):
            first, second, angle, minutia_quality = struct.unpack(">HHBB", data[offset:offset + 6])
            offset += 6
            kind, x, y = first >> 14, first & 0x3FFF, second & 0x3FFF
            assert kind in (0, 1, 2), f"minutia type {kind}"
            assert second >> 14 == 0, "reserved bits of y"
            assert x < width and y < height, f"minutia ({x}, {y}) outside {width} x {height}"
            assert minutia_quality <= 100, f"minutia quality {minutia_quality}"
            minutiae.append((x, y, angle))
        (extended,) = struct.unpack(">H", data[offset:offset + 2])
        offset += 2
        assert extended == 0, f"extended data length {extended}"
        found.append({"view": view_impression >> 4, "quality": quality, "minutiae": minutiae})
    assert offset == len(data), f"{len(data) - offset} bytes after the last view"
    return {"width": width, "height": height, "xres": xres, "yres": yres}, found


def angle_close(got, expected):
    """Within half a step and its rounding, around the full turn."""
    difference = abs(got - expected) % 256
    return min(difference, 256 - difference) <= 0.5 + 1e-6


def check(tool, name, samples, fine, sampled):
    text = reader_template(samples, fine, sampled)
    run = subprocess.run([tool, "--iso", text, "-"], capture_output=True, timeout=60)
    assert run.returncode == 0, f"{name}: exit {run.returncode}: {run.stderr!r}"
    assert run.stderr == b"", f"{name}: {run.stderr!r}"
    header, views = read_record(run.stdout)
    assert header["width"] == max(s[0] for s in samples), f"{name}: {header}"
    assert header["height"] == max(s[1] for s in samples), f"{name}: {header}"
    assert header["xres"] == header["yres"] == 197, f"{name}: 500 dpi is 197 pixels per cm"
    assert [v["view"] for v in views] == list(range(len(samples))), f"{name}: view numbers"
    for view, (_, _, quality, minutiae) in zip(views, samples):
        assert view["quality"] == quality, f"{name}: finger quality"
        assert len(view["minutiae"]) == len(minutiae), f"{name}: minutiae count"
        for got, minutia in zip(view["minutiae"], minutiae):
            x, y, angle = expected_minutia(minutia, fine)
            assert got[:2] == (x, y), f"{name}: {got} for {minutia}"
            assert angle_close(got[2], angle), f"{name}: angle {got[2]}, expected {angle}"
    return run.stdout


def main():
    tool = sys.argv[1]
    # A quarter turn clockwise (downward on the image) is three quarters counter-clockwise.
    quarter = [(800, 800, 0), (808, 1600, 16384), (0, 0, 32768), (2399, 3199, 49152)]
    cases = [
        ("format 10, one press", [(300, 400, 73, quarter)], True, False),
        ("format 9, one press",
         [(300, 400, 55, [(0, 0, 0), (299, 399, 64), (150, 200, 1), (10, 20, 255)])], False, False),
        ("format 10, three presses of different sizes",
         [(300, 400, 90, quarter), (256, 360, 40, []),
          (200, 150, 61, [(1599, 1199, 12345), (4, 4, 65535)])], True, True),
        ("format 9, no minutiae", [(16, 16, 0, [])], False, False),
        ("format 10, largest frame", [(4096, 4096, 100, [(32767, 32767, 100)])], True, False),
    ]
    passed = 0
    for name, samples, fine, sampled in cases:
        record = check(tool, name, samples, fine, sampled)
        passed += 1
        if name == "format 10, one press":
            # Exact on quarter turns: 0, 270, 180 and 90 degrees counter-clockwise.
            angles = [m[2] for m in read_record(record)[1][0]["minutiae"]]
            assert angles == [0, 192, 128, 64], angles
            # 24 + 4 + 4 * 6 + 2
            assert len(record) == 54, len(record)

    # Bad input: nothing on standard output, the reason on standard error, status 2.
    bad = [
        (["--iso", "NQ9:01102030", "-"], "tessiva-match: template: not a fingerprint reader template\n"),
        (["--iso", reader_template([(16, 16, 0, [])])[:-1] + "x", "-"],
         "tessiva-match: template: damaged template: not lowercase hexadecimal\n"),
        (["probe", "--gallery", "/nonexistent/gallery.txt"],
         "tessiva-match: probe: not a fingerprint reader template\n"),
        ([reader_template([(16, 16, 0, [])]), "--gallery", "/nonexistent/gallery.txt"],
         "tessiva-match: cannot open /nonexistent/gallery.txt: No such file or directory\n"),
    ]
    for args, message in bad:
        run = subprocess.run([tool] + args, capture_output=True, timeout=60, text=True)
        assert (run.returncode, run.stdout, run.stderr) == (2, "", message), (args[:2], run)
        passed += 1
    print(f"{passed} passed, 0 failed")


if __name__ == "__main__":
    main()
