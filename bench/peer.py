#!/usr/bin/env python3
"""The simplest peer of the device: a whole initialization's exchange with pyserial.

Run by bench_exchange against the same simulator as the engine, so that both turnarounds
(the device's last byte out to the tool's next byte in) are measured in one run.
usage: peer.py PORT ROUNDS
"""
import sys

import serial


def command(port, code, send=b"", answer=0):
    port.timeout = 4.0
    port.write(bytes([code]) + send)
    if port.read(1) != bytes([code]):
        sys.exit("peer: wrong or missing echo to %d" % code)
    if answer:
        port.timeout = 1.0
        data = port.read(answer)
        if len(data) != answer:
            sys.exit("peer: short answer to %d" % code)
        return data
    return b""


def main():
    path, rounds = sys.argv[1], int(sys.argv[2])
    port = serial.Serial(path, 9600, timeout=6.0)
    for _ in range(rounds):
        port.timeout = 6.0
        port.write(b"\x05")
        if len(port.read(1)) != 1:
            sys.exit("peer: no acknowledgement")
        port.timeout = 5.0
        if len(port.read(1)) != 1:
            sys.exit("peer: no model code")
        first = command(port, 4, answer=72)
        if command(port, 4, answer=72) != first:
            sys.exit("peer: the two reads differ")
        if command(port, 0, first, 72) != first or command(port, 4, answer=72) != first:
            sys.exit("peer: the write was not verified")
        command(port, 3)


if __name__ == "__main__":
    main()
