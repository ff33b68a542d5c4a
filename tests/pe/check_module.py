#!/usr/bin/env python3
"""Checks the built plug-in module's PE headers and tables with objdump -p:

- a 32-bit DLL whose subsystem and OS versions are at most 5.0, so that it loads on
  Windows 2000 and XP;
- it exports FMExternCallProc under that plain name (no decoration, no @4);
- it imports only Windows system DLLs, and exactly the functions of the committed list
  (each one available on Windows XP), so that any new import is a reviewed change.
"""
import argparse
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "comctl32.dll",
               "shell32.dll", "ole32.dll", "version.dll", "msvcrt.dll"}


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
    parser.add_argument("--module", required=True)
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
        if version > (5, 0):
            failures.append("%s %d.%d is above 5.0" % (key, version[0], version[1]))
    if exports != ["FMExternCallProc"]:
        failures.append("exports are %s, expected exactly FMExternCallProc" % exports)
    for dll in dlls:
        if dll not in SYSTEM_DLLS:
            failures.append("imports from %s, which is not a Windows system DLL" % dll)

    if args.write:
        with open(args.imports, "w") as f:
            f.write("# Every function tarvel.fmx imports; each one exists on Windows XP.\n")
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
