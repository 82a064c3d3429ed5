#!/usr/bin/python3
"""Every shipped program and library as readers other than ours see it (Debian's pefile, binutils' nm and
objdump, LLVM's llvm-readobj), against the rules quillery-hardening checks with the doctor's reader, so that ours
is not the only judge. For a 32-bit file it also proves what its NO_SEH flag claims: no instruction touches the
head of the SEH handler chain (fs:0) or writes through fs, outside any exception tables a linker puts in .text
(their ranges from GNU ld's map beside the file). For a 64-bit file it shows what its CETCOMPAT mark claims:
nothing in it calls or holds longjmp, the one way C++ code of ours could return past a frame without the
system's unwinder.

    independent_check.py <nm> <objdump> <llvm-readobj> <file>...
"""
import re
import subprocess
import sys

import pefile

SYSTEM = {"advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "gdi32.dll",
          "kernel32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
          "user32.dll", "version.dll", "winspool.drv", "wintrust.dll", "ws2_32.dll"}


def section_name(pe, section):
    name = section.Name.rstrip(b"\0").decode()
    if name.startswith("/"):  # a long name, in the COFF string table after the symbols
        strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols + int(name[1:])
        name = pe.__data__[strings:pe.__data__.find(b"\0", strings)].decode()
    return name


def calls_to(pe, target):
    calls = 0
    for section in pe.sections:
        if section.Characteristics & 0x20000000:
            code = section.get_data()[:section.Misc_VirtualSize]
            for at in (m.start() for m in re.finditer(b"\xe8", code)):
                displacement = int.from_bytes(code[at + 1:at + 5], "little", signed=True)
                calls += (section.VirtualAddress + at + 5 + displacement) & 0xFFFFFFFF == target
    return calls


def seh_touches(objdump, path):
    tables = [(int(start, 16), int(start, 16) + int(size, 16)) for start, size in re.findall(
        r"^ \.gcc_except_table\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)", open(path + ".map").read(), re.M)]
    listing = subprocess.run([objdump, "-d", path], capture_output=True, text=True, check=True).stdout
    touches = []
    for line in listing.splitlines():
        found = re.match(r"\s*([0-9a-f]+):\s.*%fs:", line)
        if found and not any(start <= int(found.group(1), 16) < end for start, end in tables):
            if re.search(r"%fs:0x0\b|,%fs:", line):
                touches.append(line.strip())
    return touches


def load_configuration(readobj, path):
    """llvm-readobj's reading of the load configuration: its fields, and the guard's function table (addresses)."""
    text = subprocess.run([readobj, "--coff-load-config", path], capture_output=True, text=True, check=True).stdout
    fields = dict(re.findall(r"^  (\w+): (0x[0-9A-F]+|\d+)", text, re.M))
    fields.update(re.findall(r"^  (GuardFlags) \[ \((0x[0-9A-F]+)\)", text, re.M))
    table = re.search(r"^GuardFidTable \[\n((?:  0x[0-9A-F]+.*\n)*)\]", text, re.M)
    functions = {int(a, 16) for a in re.findall(r"^  (0x[0-9A-F]+)", table.group(1), re.M)} if table else set()
    return {k: int(v, 0) for k, v in fields.items()}, functions


def targets_from_outside(pe):
    """What the loader, the system or a host calls in the image through a pointer: its entry point, exports, TLS
    callbacks and (64-bit) the handlers its unwind information names, as addresses at the preferred base."""
    base = pe.OPTIONAL_HEADER.ImageBase
    targets = {base + pe.OPTIONAL_HEADER.AddressOfEntryPoint: "entry point"}
    for symbol in getattr(pe, "DIRECTORY_ENTRY_EXPORT", None) and pe.DIRECTORY_ENTRY_EXPORT.symbols or []:
        if not symbol.forwarder:
            targets[base + symbol.address] = f"export {symbol.name.decode() if symbol.name else symbol.ordinal}"
    tls = getattr(pe, "DIRECTORY_ENTRY_TLS", None)
    if tls and tls.struct.AddressOfCallBacks:
        word = 8 if pe.OPTIONAL_HEADER.Magic == 0x20B else 4
        at = tls.struct.AddressOfCallBacks - base
        while callback := int.from_bytes(pe.get_data(at, word), "little"):
            targets[callback] = "TLS callback"
            at += word
    for entry in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", []):
        info = entry.unwindinfo
        if info and info.Flags & 3:
            targets[base + info.ExceptionHandler] = f"handler of {entry.struct.BeginAddress:#x}"
    return targets


def guard_faults(readobj, pe, path, wide):
    faults = []
    fields, functions = load_configuration(readobj, path)
    if fields.get("DependentLoadFlags") != 0x800:
        faults.append(f"DependentLoadFlags {fields.get('DependentLoadFlags')} is not System32 alone (0x800)")
    if not pe.OPTIONAL_HEADER.DllCharacteristics & 0x4000 or fields.get("GuardFlags", 0) & 0x500 != 0x500:
        faults.append(f"not guarded: GuardFlags {fields.get('GuardFlags', 0):#x}")
    if not fields.get("GuardCFCheckFunction") or (wide and not fields.get("GuardCFCheckDispatch")):
        faults.append("no check or dispatch pointer for Windows to fill")
    missing = [f"{what} ({address:#x})" for address, what in targets_from_outside(pe).items()
               if address not in functions]
    if missing:
        faults.append(f"{len(missing)} indirect-call targets missing from the guard table: {', '.join(missing[:4])}")
    return faults, len(functions)


def shadow_stack_faults(nm, pe, path):
    """CETCOMPAT in the debug directory's extended characteristics, and nothing of longjmp's in the image."""
    faults = []
    marked = any(entry.struct.Type == 20 and pe.__data__[entry.struct.PointerToRawData] & 1
                 for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []))
    if not marked:
        faults.append("not marked CETCOMPAT")
    imported = [entry.name.decode() for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                for entry in library.imports if entry.name]
    symbols = subprocess.run([nm, path + ".debug"], capture_output=True, text=True, check=True).stdout
    jumps = [name for name in imported + re.findall(r" [A-Za-z] (\S+)$", symbols, re.M)
             if re.fullmatch(r"_*(longjmp|setjmp|setjmpex|longjmpex)\w*", name)]
    if jumps:
        faults.append(f"jumps past frames: {', '.join(sorted(set(jumps)))}")
    return faults


def check(nm, objdump, readobj, path):
    pe = pefile.PE(path)
    wide = pe.OPTIONAL_HEADER.Magic == 0x20B
    faults = []
    wanted = 0x40 | 0x100 | (0x20 if wide else 0x400)  # DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA or NO_SEH
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    if characteristics & wanted != wanted:
        faults.append(f"DllCharacteristics {characteristics:#06x} lack {wanted & ~characteristics:#06x}")
    for section in pe.sections:
        name, rights = section_name(pe, section), section.Characteristics
        if rights & 0xA0000000 == 0xA0000000 or rights & 0x90000000 == 0x90000000:
            faults.append(f"{name} is writable and executable or shared ({rights:#010x})")
        if name.startswith(".debug"):
            faults.append(f"carries {name}")
    if pe.FILE_HEADER.NumberOfSymbols:
        faults.append(f"{pe.FILE_HEADER.NumberOfSymbols} symbols")
    if pe.OPTIONAL_HEADER.SectionAlignment < 0x1000:
        faults.append(f"sections {pe.OPTIONAL_HEADER.SectionAlignment:#x} apart")
    if wide and pe.OPTIONAL_HEADER.ImageBase < 1 << 32:
        faults.append(f"base {pe.OPTIONAL_HEADER.ImageBase:#x} below 4 GB")
    libraries = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    libraries += [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    if not libraries or not SYSTEM.issuperset(libraries):
        faults.append(f"imports {sorted(set(libraries) - SYSTEM) or 'nothing'}")
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    header = pe.__data__[security.VirtualAddress:security.VirtualAddress + 8]
    if len(header) < 8 or header[4:8] != b"\x00\x02\x02\x00":
        faults.append("no Authenticode certificate")
    symbols = subprocess.run([nm, path + ".debug"], capture_output=True, text=True, check=True).stdout
    routine = ("_" if not wide else "") + "__stack_chk_fail"
    found = re.search(r"^([0-9a-f]+) T " + routine + "$", symbols, re.M)
    calls = calls_to(pe, int(found.group(1), 16) - pe.OPTIONAL_HEADER.ImageBase) if found else 0
    if not calls:
        faults.append(f"no call to {routine}")
    if not wide:
        faults += [f"touches the SEH chain: {line}" for line in seh_touches(objdump, path)]
    else:
        faults += shadow_stack_faults(nm, pe, path)
    guard, listed = guard_faults(readobj, pe, path, wide)
    faults += guard
    print(f"{path}: {'FAILED: ' + '; '.join(faults) if faults else 'passed'} ({calls} calls to {routine}, "
          f"{listed} functions in the guard table)")
    return not faults


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    results = [check(sys.argv[1], sys.argv[2], sys.argv[3], path) for path in sys.argv[4:]]
    sys.exit(0 if all(results) else 1)
