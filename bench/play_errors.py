#!/usr/bin/env python3
"""The error of each change a play made, by the recording made while it played.

    play_errors.py PLAYED.vcd RECORDED.vcd START
    play_errors.py --stamps PLAYED.vcd STAMPS

The second form takes the writes' times from the fake ppdev device's own
stamps (fake_ppdev --stamps: "SECONDS data XX" a write, the file complete
once the device has ended), for rounds of a data write and then the play
of a file that drives the eight data lines, one write a stamp; a line for
each round.

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


def stamp_errors(path, stamps_path):
    """Each round's lateness of each write by the device's stamps, from its first."""
    text = open(path, encoding="ascii").read()
    scale = re.search(r"\$timescale\s*(\d+)\s*(\w+)\s*\$end", text)
    tick = int(scale.group(1)) * UNITS[scale.group(2)]
    body = text.split("$enddefinitions", 1)[1]
    due = [int(stamp) * tick for stamp in re.findall(r"#(\d+)\s+[01]", body)]
    writes = [float(line.split()[0]) * 1e6 for line in open(stamps_path)
              if line.split()[1:2] == ["data"]]
    rounds = [writes[at + 1:at + 1 + len(due)] for at in range(0, len(writes), len(due) + 1)]
    return [[(w - play[0]) - (d - due[0]) for w, d in zip(play, due)] for play in rounds]


def report(errors):
    late = sorted(max(error, 0.0) for error in errors)
    at = lambda share: late[min(len(late) - 1, int(share * len(late)))]
    print(f"{len(late)} changes: median {at(0.5):.1f} us, 99th percentile {at(0.99):.1f} us, "
          f"largest {late[-1]:.1f} us; earliest {max([-e for e in errors] + [0.0]) + 0.0:.1f} us "
          "before its time")


def main():
    if sys.argv[1] == "--stamps":
        for errors in stamp_errors(sys.argv[2], sys.argv[3]):
            report(errors)
        return 0
    played, recorded = changes(sys.argv[1], int(sys.argv[3])), changes(sys.argv[2])
    if [c[1:] for c in played] != [c[1:] for c in recorded]:
        print(f"the changes differ: {len(played)} played, {len(recorded)} recorded")
        return 1
    report([r[0] - p[0] for p, r in zip(played, recorded)])
    return 0


if __name__ == "__main__":
    sys.exit(main())
