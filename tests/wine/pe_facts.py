#!/usr/bin/env python3
"""Reads what a Windows DLL carries, natively (no Wine): its machine, and the
resources a host relies on: the type library's system kind, the _IID_VEXAREL
data and the version numbers. Prints one "name value" line each.
usage: pe_facts.py DLL"""
import struct
import sys

MACHINES = {0x14C: "i386", 0x8664: "x86-64"}
SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}
RT_VERSION = 16


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


class Image:
    def __init__(self, data):
        self.data = data
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine = u16(data, pe + 4)
        sections = u16(data, pe + 6)
        optional = pe + 24
        optional_size = u16(data, pe + 20)
        directories = optional + (112 if u16(data, optional) == 0x20B else 96)
        self.resource_rva = u32(data, directories + 2 * 8)
        self.sections = []
        for n in range(sections):
            at = optional + optional_size + 40 * n
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw))

    def at_rva(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def _entries(self, directory):
        base = self.at_rva(self.resource_rva)
        at = base + directory
        count = u16(self.data, at + 12) + u16(self.data, at + 14)
        for n in range(count):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * n)
            if name & 0x80000000:
                text = base + (name & 0x7FFFFFFF)
                length = u16(self.data, text)
                name = self.data[text + 2:text + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    def resource(self, kind, name):
        """The first language's bytes of resource kind/name, or None."""
        for k, types in self._entries(0):
            if k != kind:
                continue
            for n, languages in self._entries(types & 0x7FFFFFFF):
                if n != name:
                    continue
                for _, leaf in self._entries(languages & 0x7FFFFFFF):
                    entry = self.at_rva(self.resource_rva) + leaf
                    rva, size = struct.unpack_from("<II", self.data, entry)
                    start = self.at_rva(rva)
                    return self.data[start:start + size]
        return None


def main():
    image = Image(open(sys.argv[1], "rb").read())
    print("machine", MACHINES.get(image.machine, hex(image.machine)))
    library = image.resource("TYPELIB", 1)
    if library and library[:4] == b"MSFT":
        # The header's fifth field holds the system kind in its low nibble.
        print("typelib", SYSKINDS.get(u32(library, 20) & 0xF, "unknown"))
    iid = image.resource("_IID_VEXAREL", 1)
    if iid and len(iid) >= 20 and u32(iid, 0) == 16:
        d1, d2, d3 = struct.unpack_from("<IHH", iid, 4)
        d4 = iid[12:20].hex().upper()
        print("iid", f"{{{d1:08X}-{d2:04X}-{d3:04X}-{d4[:4]}-{d4[4:]}}}")
    version = image.resource(RT_VERSION, 1)
    if version:
        fixed = version.find(struct.pack("<I", 0xFEEF04BD))
        if fixed >= 0:
            ms, ls = struct.unpack_from("<II", version, fixed + 8)
            print("version", f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")


if __name__ == "__main__":
    main()
