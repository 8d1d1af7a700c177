#!/usr/bin/env python3
"""Writes a sample vendor file: 65,536 bytes with MAC 00:11:32:AB:CD:EF and
SN ABCDEFGHIJKLM, each with its check, and a filler elsewhere.

    make_sample_vendor.py PATH
"""
import sys

data = bytearray((i * 7 + 3) & 0xFF for i in range(65536))
mac = bytes.fromhex('001132ABCDEF')
data[0:6] = mac
data[6] = sum(mac) % 256
sn = b'ABCDEFGHIJKLM'
data[35:48] = sn
data[53:56] = str(sum(sn)).encode('ascii')[:3]
with open(sys.argv[1], 'wb') as out:
    out.write(data)
