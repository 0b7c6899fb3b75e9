#!/usr/bin/env python3
"""Checks the PE tables of the Windows bridge, the modes library or the simulated driver, as
objdump shows them.

The bridge (ftdibridge.dll) passes when
  - it imports from FTD2XX.dll by ordinal only, exactly the 28 driver functions it calls, each at
    the driver's ordinal for that function (tied to the function through the bridge's __imp_
    symbols, which name each import address slot);
  - it exports the 29 JNI functions of nl.tamsel.ftdi.usb.D2XX by their plain names, and nothing
    else;
  - every other DLL it imports from is a Windows system DLL: the C and C++ runtimes are linked in.
The modes library (ftdimodes.dll) passes when it exports the JNI functions of
nl.tamsel.ftdi.usb.D2XXModes by their plain names and nothing else, imports nothing at all from
FTD2XX.dll (it looks the driver's functions up at run time), and imports only from Windows
system DLLs.
The simulated driver (FTD2XX.dll) passes when it exports the 28 functions at those ordinals and
by no name (so that only binding by ordinal finds them), the 13 functions beyond the serial line
by name, names nothing else than its control functions, and needs only Windows system DLLs.

Both 64-bit architectures are covered: x86-64 (objdump -p of mingw-w64, or LLVM's tools) and
ARM64 (LLVM's tools: --reader llvm).

Usage: pe_check.py [--role bridge|modes|driver] [--objdump TOOL] [--nm TOOL] [--reader gnu|llvm] FILE.dll
Exit status 0 when the file passes, 1 when it does not, 2 when it cannot be examined.
"""

import argparse
import re
import subprocess
import sys
from dataclasses import dataclass, field
from typing import Dict, List, Optional

# The functions the bridge calls and their ordinals in FTD2XX.dll.
DRIVER_ORDINALS = {
    "FT_Open": 1,
    "FT_Close": 2,
    "FT_Read": 3,
    "FT_Write": 4,
    "FT_ResetDevice": 6,
    "FT_SetBaudRate": 7,
    "FT_SetDataCharacteristics": 8,
    "FT_SetFlowControl": 9,
    "FT_SetDtr": 10,
    "FT_ClrDtr": 11,
    "FT_SetRts": 12,
    "FT_ClrRts": 13,
    "FT_GetModemStatus": 14,
    "FT_SetChars": 15,
    "FT_Purge": 16,
    "FT_SetTimeouts": 17,
    "FT_GetQueueStatus": 18,
    "FT_SetBreakOn": 22,
    "FT_SetBreakOff": 23,
    "FT_OpenEx": 27,
    "FT_SetLatencyTimer": 29,
    "FT_GetLatencyTimer": 30,
    "FT_SetUSBParameters": 33,
    "FT_CreateDeviceInfoList": 70,
    "FT_GetDeviceInfoList": 71,
    "FT_GetDriverVersion": 75,
    "FT_GetLibraryVersion": 76,
    "FT_GetComPortNumber": 80,
}
FUNCTION_AT = {ordinal: name for name, ordinal in DRIVER_ORDINALS.items()}
# The driver functions beyond the serial line, which the modes library looks up by name: the
# simulated driver exports them by name.
NAMED_DRIVER_FUNCTIONS = frozenset({
    "FT_SetBitMode", "FT_GetBitMode", "FT_GetDeviceInfo", "FT_GetStatus", "FT_ReadEE",
    "FT_WriteEE", "FT_EraseEE", "FT_EE_UASize", "FT_EE_UARead", "FT_EE_UAWrite",
    "FT_SetEventNotification", "FT_ResetPort", "FT_CyclePort",
})

JNI_METHODS = [
    "getLibraryVersion", "getDriverVersion", "getComPortNumber", "getModemStatus",
    "getQueueStatus", "getLatencyTimer", "setVIDPID", "getVID", "getPID", "openByIndex",
    "openBySerialNumber", "openByDescription", "openByLocationId", "close", "reset",
    "createDeviceInfoList", "read", "write", "setBaudrate", "setDataCharacteristics",
    "setTimeouts", "setFlowControl", "setChars", "setDTR", "setRTS", "setBreak", "purge",
    "setLatencyTimer", "setUSBParameters",
]
BRIDGE_EXPORTS = frozenset("Java_nl_tamsel_ftdi_usb_D2XX_" + method for method in JNI_METHODS)

MODES_METHODS = [
    "availableFunctions", "setBitMode", "getBitMode", "getDeviceInfo", "getStatus", "readEE",
    "writeEE", "eraseEE", "eeUASize", "eeUARead", "eeUAWrite", "setEventNotification",
    "resetPort", "cyclePort", "createEvent", "waitEvent", "signalEvent", "freeEvent",
]
MODES_EXPORTS = frozenset("Java_nl_tamsel_ftdi_usb_D2XXModes_" + method for method in MODES_METHODS)

DRIVER_DLL = "ftd2xx.dll"
# DLLs that every 64-bit Windows has. Compiler run-time DLLs (libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll) are deliberately absent: a user's machine lacks them.
SYSTEM_DLLS = frozenset({
    "kernel32.dll", "ntdll.dll", "kernelbase.dll", "msvcrt.dll", "ucrtbase.dll",
    "advapi32.dll", "user32.dll", "ws2_32.dll", "bcrypt.dll", "shell32.dll", "ole32.dll",
})
SYSTEM_DLL_PREFIXES = ("api-ms-win-crt-", "api-ms-win-core-")
# What the simulated driver may export by name beside the ordinal-only driver functions.
DRIVER_NAMED_EXPORTS = re.compile(r"(sim[A-Z]\w*|Java_nl_tamsel_ftdi_sim_\w+)$")


@dataclass
class Import:
    ordinal: Optional[int]  # set for an import by ordinal
    name: Optional[str]     # set for an import by name
    slot_rva: int           # where the loader writes the resolved address


@dataclass
class Export:
    ordinal: int
    rva: int
    names: List[str] = field(default_factory=list)


@dataclass
class PeTables:
    file_format: str = ""
    image_base: Optional[int] = None
    # Keyed by the DLL name as written in the file; an image may list a DLL more than once.
    imports: Dict[str, List[Import]] = field(default_factory=dict)
    export_dll_name: Optional[str] = None
    exports: Dict[int, Export] = field(default_factory=dict)
    has_import_table: bool = False


DESCRIPTOR = re.compile(r"^\s*([0-9a-f]{8})\s+([0-9a-f]{8})\s+[0-9a-f]{8}\s+[0-9a-f]{8}"
                        r"\s+[0-9a-f]{8}\s+([0-9a-f]{8})\s*$")
BY_ORDINAL = re.compile(r"^\s+([0-9a-f]{16})\s+[0-9a-f]+\s+<none>")
BY_NAME = re.compile(r"^\s+([0-9a-f]+)\s+(\d+)\s+(\S+)")
EAT_ENTRY = re.compile(r"^\s+\[\s*(\d+)\]\s+\+base\[\s*(\d+)\]\s+([0-9a-f]+)\s+(Export|Forwarder) RVA")
NAME_ENTRY = re.compile(r"^\s+\[\s*(\d+)\](?:\s*\+base\[\s*(\d+)\])?\s+(\S+)\s*$")


def parse_objdump(text: str) -> PeTables:
    """Reads the file format, image base, import tables and export table of `objdump -p`."""
    tables = PeTables()
    section = None
    first_thunk = None
    current: Optional[List[Import]] = None
    ordinal_base = 1
    for line in text.splitlines():
        match = re.search(r"file format (\S+)", line)
        if match:
            tables.file_format = match.group(1)
        match = re.match(r"^ImageBase\s+([0-9a-f]+)", line)
        if match:
            tables.image_base = int(match.group(1), 16)
        if line.startswith("The Import Tables"):
            section, tables.has_import_table = "imports", True
            continue
        if line.startswith("The Export Tables"):
            section = "exports"
            continue
        if line.startswith("The ") or line.startswith("PE File Base Relocations"):
            section = None
            continue
        if section == "imports":
            match = DESCRIPTOR.match(line)
            if match:
                first_thunk = int(match.group(3), 16) or int(match.group(1), 16)
                current = None
                continue
            match = re.match(r"^\s+DLL Name: (\S+)", line)
            if match:
                current = tables.imports.setdefault(match.group(1), [])
                continue
            if current is None or first_thunk is None:
                continue
            slot = first_thunk + 8 * len(current)
            match = BY_ORDINAL.match(line)
            if match:
                thunk = int(match.group(1), 16)
                if thunk >> 63:
                    current.append(Import(ordinal=thunk & 0xFFFF, name=None, slot_rva=slot))
                continue
            match = BY_NAME.match(line)
            if match and not line.lstrip().startswith("vma:"):
                current.append(Import(ordinal=None, name=match.group(3), slot_rva=slot))
        elif section == "exports":
            match = re.match(r"^Name\s+[0-9a-f]+\s+(\S+)", line)
            if match:
                tables.export_dll_name = match.group(1)
                continue
            match = re.match(r"^Ordinal Base\s+(\d+)", line)
            if match:
                ordinal_base = int(match.group(1))
                continue
            match = EAT_ENTRY.match(line)
            if match:
                ordinal = int(match.group(2))
                tables.exports[ordinal] = Export(ordinal=ordinal, rva=int(match.group(3), 16))
                continue
            match = NAME_ENTRY.match(line)
            if match:
                index, based, name = match.groups()
                ordinal = int(based) if based is not None else ordinal_base + int(index)
                tables.exports.setdefault(ordinal, Export(ordinal=ordinal, rva=0)).names.append(name)
    return tables


def parse_readobj(headers: str, private: str) -> PeTables:
    """Reads the same tables from LLVM's tools, which read ARM64 images as well as x86-64
    ones: `llvm-readobj --file-headers --coff-imports --coff-exports` and, for the name in the
    export directory, `llvm-objdump -p`."""
    tables = PeTables()
    machine = re.search(r"^\s*Machine: IMAGE_FILE_MACHINE_(\w+)", headers, re.MULTILINE)
    tables.file_format = LLVM_FORMATS.get(machine.group(1), machine.group(1)) if machine else ""
    base = re.search(r"^\s*ImageBase: 0x([0-9A-Fa-f]+)", headers, re.MULTILINE)
    tables.image_base = int(base.group(1), 16) if base else None
    for block in re.findall(r"^Import \{\n(.*?)^\}", headers, re.MULTILINE | re.DOTALL):
        tables.has_import_table = True
        dll = re.search(r"^\s*Name: (\S+)", block, re.MULTILINE).group(1)
        first_thunk = int(re.search(r"ImportAddressTableRVA: 0x([0-9A-Fa-f]+)", block).group(1), 16)
        entries = tables.imports.setdefault(dll, [])
        for index, (name, number) in enumerate(re.findall(r"^\s*Symbol: (\S*) \((\d+)\)$", block, re.MULTILINE)):
            slot = first_thunk + 8 * index
            entries.append(Import(ordinal=None if name else int(number), name=name or None, slot_rva=slot))
    for block in re.findall(r"^Export \{\n(.*?)^\}", headers, re.MULTILINE | re.DOTALL):
        ordinal = int(re.search(r"Ordinal: (\d+)", block).group(1))
        name = re.search(r"^\s*Name: (\S*)$", block, re.MULTILINE)
        rva = int(re.search(r"RVA: 0x([0-9A-Fa-f]+)", block).group(1), 16)
        export = tables.exports.setdefault(ordinal, Export(ordinal=ordinal, rva=rva))
        if name and name.group(1):
            export.names.append(name.group(1))
    dll_name = re.search(r"^\s*DLL name: (\S+)", private, re.MULTILINE)
    tables.export_dll_name = dll_name.group(1) if dll_name else None
    return tables


def parse_nm(text: str, image_base: int) -> Dict[int, str]:
    """Maps the RVA of each import address slot to the function whose __imp_ symbol names it."""
    slots = {}
    for line in text.splitlines():
        match = re.match(r"^([0-9a-f]+)\s+\S\s+__imp_(\S+)$", line)
        if match:
            slots[int(match.group(1), 16) - image_base] = match.group(2)
    return slots


def is_system_dll(name: str) -> bool:
    lower = name.lower()
    return lower in SYSTEM_DLLS or lower.startswith(SYSTEM_DLL_PREFIXES)


# LLVM's machine names, as GNU objdump names the formats.
LLVM_FORMATS = {"AMD64": "pei-x86-64", "ARM64": "pei-aarch64-little"}
WINDOWS_FORMATS = frozenset(LLVM_FORMATS.values())


def check_format(tables: PeTables) -> List[str]:
    if tables.file_format not in WINDOWS_FORMATS:
        return [f"file format is {tables.file_format or 'unknown'}, not pei-x86-64 or "
                "pei-aarch64-little (64-bit Windows on x86-64 or ARM64)"]
    return []


def check_other_dlls(tables: PeTables) -> List[str]:
    return [f"imports from {dll}, which is not a Windows system DLL: link the C and C++ runtime "
            "statically (-static -static-libgcc -static-libstdc++)"
            for dll in tables.imports
            if dll.lower() != DRIVER_DLL and not is_system_dll(dll)]


def check_bridge(tables: PeTables, slot_functions: Optional[Dict[int, str]]) -> List[str]:
    errors = check_format(tables)
    if not tables.has_import_table:
        errors.append("no import table found")
    driver_imports = [entry for dll, entries in tables.imports.items()
                      if dll.lower() == DRIVER_DLL for entry in entries]
    if tables.has_import_table and not driver_imports:
        errors.append("imports nothing from FTD2XX.dll")
    for entry in driver_imports:
        if entry.ordinal is None:
            errors.append(f"imports {entry.name} from FTD2XX.dll by name; every driver function "
                          "must be imported by ordinal (NONAME in the import library's .def)")
    ordinals = [entry.ordinal for entry in driver_imports if entry.ordinal is not None]
    for ordinal in sorted(set(ordinals)):
        if ordinal not in FUNCTION_AT:
            errors.append(f"imports ordinal {ordinal} from FTD2XX.dll, which is none of the "
                          "driver functions the bridge calls")
        if ordinals.count(ordinal) > 1:
            errors.append(f"imports ordinal {ordinal} from FTD2XX.dll {ordinals.count(ordinal)} times")
    for ordinal in sorted(set(FUNCTION_AT) - set(ordinals)):
        errors.append(f"does not import {FUNCTION_AT[ordinal]} (ordinal {ordinal}) from FTD2XX.dll")
    if slot_functions is not None:
        if not slot_functions:
            errors.append("has no __imp_ symbols (stripped?): cannot tell which function each "
                          "ordinal import stands for")
        else:
            for entry in driver_imports:
                if entry.ordinal is None:
                    continue
                function = slot_functions.get(entry.slot_rva)
                if function is None:
                    errors.append(f"no __imp_ symbol names the slot of ordinal {entry.ordinal} "
                                  f"(RVA {entry.slot_rva:#x})")
                elif DRIVER_ORDINALS.get(function) != entry.ordinal:
                    expected = DRIVER_ORDINALS.get(function)
                    where = f"ordinal {expected}" if expected else "no known ordinal"
                    errors.append(f"imports {function} at ordinal {entry.ordinal}; FTD2XX.dll "
                                  f"has it at {where}")
    errors += check_other_dlls(tables)
    named = set()
    for export in tables.exports.values():
        if export.rva and not export.names:
            errors.append(f"exports ordinal {export.ordinal} without a name")
        named.update(export.names)
    for name in sorted(named - BRIDGE_EXPORTS):
        errors.append(f"exports {name}, which is not one of the 29 JNI functions")
    for name in sorted(BRIDGE_EXPORTS - named):
        errors.append(f"does not export {name}")
    return errors


def check_modes(tables: PeTables) -> List[str]:
    errors = check_format(tables)
    for dll in tables.imports:
        if dll.lower() == DRIVER_DLL:
            errors.append("imports from FTD2XX.dll; the modes library must find the driver's "
                          "functions at run time and import nothing from it")
    errors += check_other_dlls(tables)
    named = set()
    for export in tables.exports.values():
        if export.rva and not export.names:
            errors.append(f"exports ordinal {export.ordinal} without a name")
        named.update(export.names)
    for name in sorted(named - MODES_EXPORTS):
        errors.append(f"exports {name}, which is not one of the {len(MODES_EXPORTS)} JNI "
                      "functions of D2XXModes")
    for name in sorted(MODES_EXPORTS - named):
        errors.append(f"does not export {name}")
    return errors


def check_driver(tables: PeTables) -> List[str]:
    errors = check_format(tables)
    if (tables.export_dll_name or "").lower() != DRIVER_DLL:
        errors.append(f"export table names the DLL {tables.export_dll_name}, not FTD2XX.dll")
    for name, ordinal in DRIVER_ORDINALS.items():
        export = tables.exports.get(ordinal)
        if export is None or not export.rva:
            errors.append(f"does not export ordinal {ordinal} ({name})")
        elif export.names:
            errors.append(f"exports ordinal {ordinal} ({name}) by the name "
                          f"{', '.join(export.names)}; it must have no name")
    named = {name for export in tables.exports.values() for name in export.names}
    for name in sorted(NAMED_DRIVER_FUNCTIONS - named):
        errors.append(f"does not export {name} by name")
    for export in tables.exports.values():
        for name in export.names:
            if name in NAMED_DRIVER_FUNCTIONS:
                continue
            if name in DRIVER_ORDINALS:
                if export.ordinal != DRIVER_ORDINALS[name]:
                    errors.append(f"exports {name} by name")
            elif not DRIVER_NAMED_EXPORTS.match(name):
                errors.append(f"exports {name}, which is neither a driver nor a control function")
        if export.rva and not export.names and export.ordinal not in FUNCTION_AT:
            errors.append(f"exports ordinal {export.ordinal} without a name, which is no driver "
                          "function")
    errors += check_other_dlls(tables)
    return errors


def summary(tables: PeTables, role: str) -> List[str]:
    lines = [f"format {tables.file_format}"]
    for dll, entries in tables.imports.items():
        by_ordinal = sum(1 for entry in entries if entry.ordinal is not None)
        lines.append(f"imports from {dll}: {len(entries)} ({by_ordinal} by ordinal)")
    named = sum(len(export.names) for export in tables.exports.values())
    unnamed = sum(1 for export in tables.exports.values() if export.rva and not export.names)
    lines.append(f"exports: {named} by name, {unnamed} by ordinal only"
                 + (f" ({tables.export_dll_name})" if role == "driver" else ""))
    return lines


def run(tool: str, *arguments: str) -> str:
    return subprocess.run([tool, *arguments], check=True, capture_output=True, text=True).stdout


def check_file(path: str, role: str, objdump: str, nm: str, readobj: Optional[str] = None,
               symbols: bool = True):
    if readobj:
        tables = parse_readobj(run(readobj, "--file-headers", "--coff-imports", "--coff-exports", path),
                               run(objdump, "-p", path))
    else:
        tables = parse_objdump(run(objdump, "-p", path))
    if role == "driver":
        return check_driver(tables), tables
    if role == "modes":
        return check_modes(tables), tables
    if tables.image_base is None:
        return ["no image base in objdump's output"], tables
    return check_bridge(tables, parse_nm(run(nm, path), tables.image_base) if symbols else None), tables


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("dll")
    parser.add_argument("--role", choices=("bridge", "modes", "driver"), default="bridge")
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--nm", default="x86_64-w64-mingw32-nm")
    parser.add_argument("--reader", choices=("gnu", "llvm"), default="gnu",
                        help="llvm: read the tables with llvm-readobj, llvm-objdump and llvm-nm "
                             "(ARM64 images too) instead of mingw-w64's objdump and nm")
    parser.add_argument("--no-symbols", action="store_true",
                        help="the image has no symbol table (LLVM's linker writes none), so which "
                             "function each ordinal slot stands for is not checked; the x86-64 "
                             "build, made from the same .def, checks it")
    args = parser.parse_args(argv)
    readobj = None
    if args.reader == "llvm":
        readobj, args.objdump, args.nm = "llvm-readobj", "llvm-objdump", "llvm-nm"
    try:
        errors, tables = check_file(args.dll, args.role, args.objdump, args.nm, readobj,
                                    not args.no_symbols)
    except (OSError, subprocess.CalledProcessError) as failure:
        print(f"{args.dll}: cannot be examined: {failure}", file=sys.stderr)
        return 2
    for line in summary(tables, args.role):
        print(f"{args.dll}: {line}")
    for error in errors:
        print(f"{args.dll}: {error}")
    verdict = "FAILED" if errors else "passed"
    print(f"{args.dll}: PE check as the {args.role} {verdict}"
          + (f" ({len(errors)} problems)" if errors else ""))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
