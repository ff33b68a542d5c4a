#!/usr/bin/env python3
"""Checks the built plug-in module's PE headers and tables (objdump -p, and the headers read
directly):

- a 32-bit DLL for the Windows GUI subsystem, subsystem and OS versions 5.0, so that it
  loads on Windows 2000 and XP;
- hardened: ASLR (DYNAMIC_BASE), DEP (NX_COMPAT) and NO_SEH, that last one true: no code in
  the module touches fs:[0], the head of the structured-exception handler chain, so it
  registers no handler that a SafeSEH table would have to list;
- stripped: no COFF symbols, no debug section, only a debug link naming the debug file kept
  beside it (by name alone, no folder) with that file's CRC; the debug file has the symbols,
  the stack protector's among them, and DWARF; the module stays under the size limit; its
  header checksum is right;
- it exports FMExternCallProc under that plain name (no decoration, no @4);
- it imports only Windows system DLLs, and exactly the functions of the committed list
  (each one available on Windows 2000), so that any new import is a reviewed change.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import zlib

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "comctl32.dll",
               "shell32.dll", "ole32.dll", "version.dll", "msvcrt.dll", "advapi32.dll"}
SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE, NX_COMPAT, NO_SEH = 0x0040, 0x0100, 0x0400
# fs:[0] in AT&T syntax as objdump prints it: "%fs:0x0" (an address-size form too), or an
# access through a register, whose offset the check cannot know.
SEH_CHAIN_ACCESS = re.compile(r"%fs:(0x0\b|0\b|\(|0x0\()")


def read_pe(path):
    """The header fields and the sections (name, raw bytes) of a PE file."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit("%s is no PE file" % path)
    _, sections, _, symbol_table, symbols, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    checksum_at = optional + 64
    fields = {
        "symbols": symbols,
        "checksum": struct.unpack_from("<I", data, checksum_at)[0],
        "subsystem": struct.unpack_from("<H", data, optional + 68)[0],
        "dll_characteristics": struct.unpack_from("<H", data, optional + 70)[0],
        "size": len(data),
    }
    # The checksum as the image loader computes it: 16-bit sums with carries folded in, the
    # checksum field itself counted as zero, plus the file's length.
    body = bytearray(data)
    body[checksum_at:checksum_at + 4] = b"\0\0\0\0"
    if len(body) % 2:
        body += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", bytes(body)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    fields["computed_checksum"] = (total + len(data)) & 0xFFFFFFFF
    # Long section names ("/4") are offsets into the string table behind the symbols.
    strings = symbol_table + 18 * symbols
    table = []
    for i in range(sections):
        header = optional + optional_size + 40 * i
        name = data[header:header + 8].rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and symbol_table:
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode("ascii", "replace")
        raw_size, raw_at = struct.unpack_from("<II", data, header + 16)
        table.append((name, data[raw_at:raw_at + raw_size]))
    fields["sections"] = table
    return fields


def check_hardening(args, failures):
    module = read_pe(args.module)
    print("size: %d bytes, DllCharacteristics 0x%04X, subsystem %d"
          % (module["size"], module["dll_characteristics"], module["subsystem"]))
    if module["subsystem"] != SUBSYSTEM_WINDOWS_GUI:
        failures.append("subsystem %d, expected 2 (Windows GUI)" % module["subsystem"])
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE (ASLR)"), (NX_COMPAT, "NX_COMPAT (DEP)"),
                       (NO_SEH, "NO_SEH")):
        if not module["dll_characteristics"] & flag:
            failures.append("DllCharacteristics 0x%04X lacks %s" % (module["dll_characteristics"], name))
    if module["size"] >= args.max_size:
        failures.append("%d bytes, not under the limit of %d" % (module["size"], args.max_size))
    if module["checksum"] != module["computed_checksum"]:
        failures.append("header checksum 0x%08X, the file's is 0x%08X"
                        % (module["checksum"], module["computed_checksum"]))
    if module["symbols"]:
        failures.append("ships a COFF symbol table of %d symbols" % module["symbols"])
    names = [name for name, _ in module["sections"]]
    for name in names:
        if name.startswith((".debug", ".zdebug", ".stab")):
            failures.append("ships the debug section %s" % name)

    links = [raw for name, raw in module["sections"] if name == ".gnu_debuglink"]
    debug_name = os.path.basename(args.debug_file)
    if len(links) != 1:
        failures.append("%d debug links, expected one to %s" % (len(links), debug_name))
    else:
        linked = links[0][:links[0].index(b"\0")].decode("ascii", "replace")
        crc_at = (len(linked) + 1 + 3) // 4 * 4
        linked_crc = struct.unpack_from("<I", links[0], crc_at)[0]
        with open(args.debug_file, "rb") as f:
            debug_crc = zlib.crc32(f.read()) & 0xFFFFFFFF
        print("debug link: %s, CRC 0x%08X" % (linked, linked_crc))
        if linked != debug_name:
            failures.append("the debug link names %r, expected %r alone" % (linked, debug_name))
        if linked_crc != debug_crc:
            failures.append("the debug link's CRC 0x%08X is not %s's, 0x%08X"
                            % (linked_crc, debug_name, debug_crc))

    debug = read_pe(args.debug_file)
    if not any(name == ".debug_info" for name, _ in debug["sections"]):
        failures.append("%s holds no DWARF (.debug_info)" % debug_name)
    symbols = subprocess.run([args.nm, args.debug_file], check=True, capture_output=True,
                             text=True).stdout.split()
    for symbol in ("_FMExternCallProc", "___stack_chk_guard"):
        if symbol not in symbols:
            failures.append("%s has no symbol %s" % (debug_name, symbol))

    code = subprocess.run([args.objdump, "-d", args.module], check=True, capture_output=True,
                          text=True).stdout
    chain = [line.strip() for line in code.splitlines() if SEH_CHAIN_ACCESS.search(line)]
    for line in chain[:5]:
        failures.append("code touches the handler chain at fs:[0], so NO_SEH may be untrue: %s" % line)


def parse(dump):
    headers, imports, exports = {}, set(), []
    dll = None
    section = None
    for line in dump.splitlines():
        m = re.match(r"^(Major|Minor)(SubsystemVersion|OSystemVersion)\s+(\d+)", line)
        if m:
            headers[m.group(1) + m.group(2)] = int(m.group(3))
        if line.startswith("Magic"):
            headers["Magic"] = line.split()[1]
        if line.startswith("The Import Tables"):
            section = "imports"
        elif line.startswith("The Export Tables"):
            section = "exports"
        elif re.match(r"^(The |PE File Base Relocations|There is )", line):
            section = None if not line.startswith("There is an import") and not line.startswith("There is an export") else section
        if section == "imports":
            m = re.match(r"^\s*DLL Name:\s*(\S+)", line)
            if m:
                dll = m.group(1).lower()
                imports.add((dll, None))
                continue
            m = re.match(r"^\s+[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*$", line)
            if m and dll:
                imports.add((dll, m.group(2)))
                continue
            m = re.match(r"^\s+[0-9a-fA-F]+\s+<none>\s+([0-9a-fA-F]+)\s*$", line)
            if m and dll:
                imports.add((dll, "#%d" % int(m.group(1), 16)))
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "export names"
        elif section == "export names":
            m = re.match(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", line)
            if m:
                exports.append(m.group(1))
            else:
                section = None
    return headers, imports, exports


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--debug-file", required=True, help="the module's symbols, kept beside it")
    parser.add_argument("--max-size", type=int, default=200 * 1024, help="bytes the module stays under")
    parser.add_argument("--imports", required=True, help="the committed list of imports")
    parser.add_argument("--write", action="store_true", help="rewrite the list from the module")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.module], check=True, capture_output=True,
                          text=True).stdout
    headers, imports, exports = parse(dump)
    functions = sorted("%s!%s" % (d, f) for d, f in imports if f is not None)
    dlls = sorted({d for d, _ in imports})
    failures = []

    if headers.get("Magic") != "010b":
        failures.append("not a 32-bit (PE32) module: Magic %s" % headers.get("Magic"))
    for key in ("SubsystemVersion", "OSystemVersion"):
        version = (headers.get("Major" + key, 99), headers.get("Minor" + key, 99))
        if version != (5, 0):
            failures.append("%s %d.%d, expected 5.0" % (key, version[0], version[1]))
    check_hardening(args, failures)
    if exports != ["FMExternCallProc"]:
        failures.append("exports are %s, expected exactly FMExternCallProc" % exports)
    for dll in dlls:
        if dll not in SYSTEM_DLLS:
            failures.append("imports from %s, which is not a Windows system DLL" % dll)

    if args.write:
        with open(args.imports, "w") as f:
            f.write("# Every function tarvel.fmx imports; each one exists on Windows 2000 and XP.\n")
            f.write("# A test compares the module's import table with this list.\n")
            for name in functions:
                f.write(name + "\n")
    with open(args.imports) as f:
        allowed = {line.strip() for line in f if line.strip() and not line.startswith("#")}
    for name in sorted(set(functions) - allowed):
        failures.append("new import, not in the reviewed list: %s" % name)
    for name in sorted(allowed - set(functions)):
        failures.append("listed import no longer used (remove it from the list): %s" % name)

    print("module: %s" % args.module)
    print("DLLs imported: %s" % ", ".join(dlls))
    print("functions imported: %d, exports: %s" % (len(functions), ", ".join(exports)))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
