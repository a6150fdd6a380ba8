#!/usr/bin/env python3
"""The error of each change a play made, by the recording made while it played.

    play_errors.py PLAYED.vcd RECORDED.vcd START

Reads the changes of the data pins (pins 2 to 9) in both files: sigrok's D0
to D7 or the recording's lpt378_pin02_d0 to lpt378_pin09_d7, each time a pin
goes from one level to the other. In the recording a pin's first level is
where it starts; in the played file the pins start at the byte START, which
differs from its first levels, so that the play's first write is a change
in both and times count from it. Prints the count, the median, 99th
percentile and largest of recorded - played in microseconds, and the
largest early change (recorded before its time, which must not happen beyond
the recording's one-tick rounding). Exits 1 when the changes differ.
"""
import re
import sys

NAMES = {f"D{bit}": bit for bit in range(8)}
NAMES.update({f"lpt378_pin{bit + 2:02d}_d{bit}": bit for bit in range(8)})
UNITS = {"s": 1e6, "ms": 1e3, "us": 1.0, "ns": 1e-3, "ps": 1e-6, "fs": 1e-9}


def changes(path, start=None):
    """[(time_us, bit, level)] of the data pins' changes, times from the first."""
    text = open(path, encoding="ascii", errors="replace").read()
    scale = re.search(r"\$timescale\s*(\d+)\s*(\w+)\s*\$end", text)
    tick = int(scale.group(1)) * UNITS[scale.group(2)]
    ids = {}
    for ident, name in re.findall(r"\$var\s+\w+\s+1\s+(\S+)\s+(\S+)", text):
        if name in NAMES:
            ids[ident] = NAMES[name]
    body = text.split("$enddefinitions", 1)[1]
    level, found, now = {}, [], 0.0
    if start is not None:
        level = {bit: str(start >> bit & 1) for bit in range(8)}
    for word in body.split():
        if word.startswith("#"):
            now = int(word[1:]) * tick
        elif word[0] in "01" and word[1:] in ids:
            bit, value = ids[word[1:]], word[0]
            if level.get(bit, value) != value:
                found.append((now, bit, value))
            level[bit] = value
    found.sort(key=lambda change: (change[0], change[1]))
    origin = found[0][0] if found else 0.0
    return [(time - origin, bit, value) for time, bit, value in found]


def main():
    played, recorded = changes(sys.argv[1], int(sys.argv[3])), changes(sys.argv[2])
    if [c[1:] for c in played] != [c[1:] for c in recorded]:
        print(f"the changes differ: {len(played)} played, {len(recorded)} recorded")
        return 1
    errors = sorted(max(r[0] - p[0], 0.0) for p, r in zip(played, recorded))
    early = max([p[0] - r[0] for p, r in zip(played, recorded)] + [0.0])
    at = lambda share: errors[min(len(errors) - 1, int(share * len(errors)))]
    print(f"{len(errors)} changes: median {at(0.5):.1f} us, 99th percentile {at(0.99):.1f} us, "
          f"largest {errors[-1]:.1f} us; earliest {early:.1f} us before its time")
    return 0


if __name__ == "__main__":
    sys.exit(main())
