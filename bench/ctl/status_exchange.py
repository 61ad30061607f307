#!/usr/bin/python3
"""The status exchange done the short way with pyserial, to compare with
quorvane-ctl status: CMD_READ_ALL, its RPL_ALL, CMD_READ_STATUS, its
RPL_STATUS, then every value printed.  Usage: status_exchange.py PORT"""
import struct
import sys

import serial


def command(code):
    frame = bytes([ord("N"), ord("S"), 2, code])
    return frame + bytes([sum(frame) & 0xFF])


def reply(port, code):
    """Reads until a whole reply frame of this code with a good checksum."""
    while True:
        byte = port.read(1)
        if not byte:
            raise TimeoutError("no reply")
        if byte != b"L" or port.read(1) != b"D":
            continue
        length = port.read(1)  # code, payload and checksum follow
        rest = port.read(length[0]) if length else b""
        frame = b"LD" + length + rest
        if length and len(rest) == length[0] and sum(frame[:-1]) & 0xFF == frame[-1] and rest[0] == code:
            return frame[4:-1]


with serial.Serial(sys.argv[1], 9600, bytesize=8, parity="N", stopbits=1, timeout=2) as port:
    port.write(command(0x02))
    prefix0, prefix1, setpoint, maximum, hertz, steps, soft = struct.unpack(">BBH2xHIBB", reply(port, 0x02)[:14])
    port.write(command(0x00))
    measured, seed, pump = struct.unpack(">2xHH2xH", reply(port, 0x00)[:10])
print(f"current {measured} mA, seed {seed / 100:.1f} C, pump {pump / 100:.1f} C, "
      f"setpoint {setpoint} mA, maximum {maximum} mA, frequency {hertz / 1000:.2f} kHz, "
      f"duration {steps}, soft-active {'ON' if soft else 'OFF'}, prefix {prefix0:02X}{prefix1:02X}")
