#!/usr/bin/env python3
"""Prints "address:port" for each TCP socket listening and each UDP socket
bound that the given processes hold (from /proc).
  listening_addresses.py PID...
"""
import ipaddress
import os
import sys

LISTEN = "0A"  # TCP state; a bound UDP socket shows as 07


def socket_inodes(pid):
    inodes = set()
    try:
        for fd in os.listdir("/proc/%s/fd" % pid):
            try:
                target = os.readlink("/proc/%s/fd/%s" % (pid, fd))
            except OSError:
                continue
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
    except OSError:
        pass
    return inodes


def address(hex_address):
    host, port = hex_address.split(":")
    raw = bytes.fromhex(host)
    # /proc writes each 32-bit word in host order (little-endian here).
    raw = b"".join(raw[i:i + 4][::-1] for i in range(0, len(raw), 4))
    return "%s:%d" % (ipaddress.ip_address(raw), int(port, 16))


def main():
    inodes = set()
    for pid in sys.argv[1:]:
        inodes |= socket_inodes(pid)
    for table, state in (("tcp", LISTEN), ("tcp6", LISTEN), ("udp", "07"), ("udp6", "07")):
        try:
            with open("/proc/net/" + table) as lines:
                next(lines)
                for line in lines:
                    fields = line.split()
                    if fields[3] == state and fields[9] in inodes:
                        print(address(fields[1]))
        except OSError:
            continue


if __name__ == "__main__":
    main()
