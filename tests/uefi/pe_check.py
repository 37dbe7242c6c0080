#!/usr/bin/env python3
"""Checks that VEXA.efi is a loadable x86-64 UEFI application.

Firmware refuses (or mis-loads) an image that is not PE32+, not for x86-64,
not of the EFI application subsystem, or that cannot be relocated; an
import table would name DLLs no firmware has; and code that needs static
constructors would silently run without them, because nothing in the
firmware calls them. The object files are checked for the latter, as the
linker folds those sections away.
"""

import argparse
import struct
import sys

MACHINE_X86_64 = 0x8664
PE32_PLUS = 0x20B
SUBSYSTEM_EFI_APPLICATION = 10
IMAGE_FILE_EXECUTABLE = 0x0002
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
DIRECTORY_IMPORT = 1
DIRECTORY_BASE_RELOCATION = 5
# Sections of the Microsoft C runtime's start-up lists: constructors
# (.CRT$XC*), initialisers (.CRT$XI*) and thread-local data.
FORBIDDEN_SECTION_PREFIXES = (b".CRT$XC", b".CRT$XI", b".tls")


def sections(data, table_offset, count, string_table=None):
    """Names of the section table's entries."""
    names = []
    for index in range(count):
        raw = data[table_offset + 40 * index:table_offset + 40 * index + 8].rstrip(b"\0")
        if raw.startswith(b"/") and string_table is not None:
            start = string_table + int(raw[1:])
            raw = data[start:data.index(b"\0", start)]
        names.append(raw)
    return names


def check_image(path, size_limit):
    problems = []
    data = open(path, "rb").read()
    facts = {"size": len(data)}
    if data[:2] != b"MZ":
        return ["no MZ header"], facts
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return ["no PE signature"], facts
    machine, section_count, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    facts.update(machine=machine, magic=magic)
    if machine != MACHINE_X86_64:
        problems.append(f"machine 0x{machine:04X}, expected x86-64 (0x8664)")
    if magic != PE32_PLUS:
        return problems + [f"optional header magic 0x{magic:03X}, expected PE32+ (0x20B)"], facts
    entry = struct.unpack_from("<I", data, optional + 16)[0]
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    directory_count = struct.unpack_from("<I", data, optional + 108)[0]
    directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directory_count)]
    facts.update(subsystem=subsystem, entry=entry)
    if subsystem != SUBSYSTEM_EFI_APPLICATION:
        problems.append(f"subsystem {subsystem}, expected EFI application (10)")
    if not characteristics & IMAGE_FILE_EXECUTABLE:
        problems.append("not marked executable")
    if entry == 0:
        problems.append("no entry point")
    if characteristics & IMAGE_FILE_RELOCS_STRIPPED or directory_count <= DIRECTORY_BASE_RELOCATION \
            or directories[DIRECTORY_BASE_RELOCATION][1] == 0:
        # The tool's tables of text pointers hold absolute addresses.
        problems.append("no base relocations: the firmware cannot load it at another address")
    if directory_count > DIRECTORY_IMPORT and directories[DIRECTORY_IMPORT][1] != 0:
        problems.append("has an import table: it depends on a library no firmware provides")
    names = sections(data, optional + optional_size, section_count)
    facts["sections"] = [name.decode(errors="replace") for name in names]
    if len(data) > size_limit:
        problems.append(f"{len(data)} bytes, more than the {size_limit} allowed")
    return problems, facts


def check_object(path):
    data = open(path, "rb").read()
    machine, count, _, symbols, symbol_count, optional_size, _ = struct.unpack_from("<HHIIIHH", data, 0)
    if machine != MACHINE_X86_64:
        return [f"{path}: machine 0x{machine:04X}, not an x86-64 object"]
    string_table = symbols + 18 * symbol_count if symbols else None
    bad = [name for name in sections(data, 20 + optional_size, count, string_table)
           if name.startswith(FORBIDDEN_SECTION_PREFIXES)]
    return [f"{path}: section {name.decode(errors='replace')} (static initialisation never runs)" for name in bad]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("image")
    parser.add_argument("--objects", help="file listing the image's object files, one a line")
    parser.add_argument("--size-limit", type=int, default=64 * 1024)
    args = parser.parse_args()

    problems, facts = check_image(args.image, args.size_limit)
    object_count = 0
    if args.objects:
        with open(args.objects) as listing:
            for path in filter(None, (line.strip() for line in listing)):
                object_count += 1
                problems += check_object(path)
        if object_count == 0:
            problems.append(f"{args.objects} names no object files")

    print(f"{args.image}: {facts.get('size')} bytes, machine 0x{facts.get('machine', 0):04X}, "
          f"magic 0x{facts.get('magic', 0):03X}, subsystem {facts.get('subsystem')}, "
          f"sections {' '.join(facts.get('sections', []))}, {object_count} objects checked")
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
