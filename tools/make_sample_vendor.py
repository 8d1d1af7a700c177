#!/usr/bin/env python3
"""Writes a sample vendor file: 65,536 bytes with MAC 00:11:32:AB:CD:EF and
SN ABCDEFGHIJKLM, each with its check, and a recognisable filler elsewhere.
The tests and the benchmark make their files with vendor_bytes() from here.

    make_sample_vendor.py PATH
"""
import sys


def with_fields(data, mac=None, sn=None, sn_check=None) -> bytearray:
    """The bytes with the fields given replaced: the MAC as 14 hex digits with
    its check, the SN and its check as text."""
    data = bytearray(data)
    if mac:
        data[0:7] = bytes.fromhex(mac)
    if sn:
        data[35:48] = sn.encode('ascii')
        data[53:56] = sn_check.encode('ascii')
    return data


def vendor_bytes(mac='001132ABCDEFAA', sn='ABCDEFGHIJKLM', sn_check='923', size=65536) -> bytearray:
    """A vendor file of the given size, a recognisable filler, with the fields given."""
    return with_fields(bytes((i * 7 + 3) & 0xFF for i in range(max(size, 56))), mac, sn, sn_check)[:size]


def sample_files(folder, count, prefix='unit'):
    """count sample files in folder, PREFIX0000.bin on; their paths."""
    paths = [folder / f'{prefix}{i:04}.bin' for i in range(count)]
    for path in paths:
        path.write_bytes(vendor_bytes())
    return paths


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as out:
        out.write(vendor_bytes())
