#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# A peer as an application's would be: pyserial opens the serial device and
# writes the whole of a file to it.
# usage: pyserial_peer.py DEVICE FILE
import sys

import serial


def main():
    device, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = f.read()
    with serial.Serial(device, 115200, timeout=5, write_timeout=60) as port:
        written = port.write(data)
        port.flush()
    if written != len(data):
        print(f"wrote {written} of {len(data)} bytes", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
