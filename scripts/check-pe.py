#!/usr/bin/python3
"""Reads installers with Debian's python3-pefile, a PE reader that is not the project's:
    scripts/check-pe.py PACKAGE INSTALLER...
Each installer must hold PACKAGE byte for byte as resource "DATA" 105, carry a correct
header checksum, have sections that overlap neither in the file nor in memory, at
addresses aligned to SectionAlignment, each where the one before ends, and a
SizeOfImage that ends with the last of them. Prints one line per installer; exits 1 on
the first that fails."""
import sys

import pefile


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def check(path, package):
    pe = pefile.PE(path)
    opt = pe.OPTIONAL_HEADER
    found = []
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for kind in resources:
        if str(kind.name) != "DATA":
            continue
        for name in kind.directory.entries:
            if name.id == 105:
                for language in name.directory.entries:
                    entry = language.data.struct
                    found.append(pe.get_data(entry.OffsetToData, entry.Size))
    if found != [package]:
        return "its resource DATA 105 is not the package"
    if opt.CheckSum != pe.generate_checksum():
        return "header checksum 0x%x, computed 0x%x" % (opt.CheckSum, pe.generate_checksum())
    sections = sorted(pe.sections, key=lambda s: s.VirtualAddress)
    expected = align(opt.SizeOfHeaders, opt.SectionAlignment)
    for s in sections:
        name = s.Name.rstrip(b"\0").decode("latin-1")
        if s.VirtualAddress % opt.SectionAlignment:
            return "section %s is not aligned" % name
        if s.VirtualAddress != expected:
            return "section %s is at 0x%x, not 0x%x where the one before ends" % (name, s.VirtualAddress, expected)
        expected = align(s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData), opt.SectionAlignment)
    if opt.SizeOfImage != expected:
        return "SizeOfImage 0x%x, the sections end at 0x%x" % (opt.SizeOfImage, expected)
    raw = sorted((s.PointerToRawData, s.PointerToRawData + s.SizeOfRawData) for s in pe.sections if s.SizeOfRawData)
    for (_, end), (start, _) in zip(raw, raw[1:]):
        if start < end:
            return "two sections share file bytes"
    if raw and raw[0][0] < opt.SizeOfHeaders:
        return "a section's data starts inside the headers"
    return None


def main():
    package = open(sys.argv[1], "rb").read()
    for path in sys.argv[2:]:
        problem = check(path, package)
        print("%s: %s" % (path, problem or "pefile reads it: the package, the checksum and the sections are right"))
        if problem:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
