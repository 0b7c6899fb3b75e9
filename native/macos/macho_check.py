#!/usr/bin/env python3
"""Checks the Mach-O tables of the macOS bridge, the modes library or the simulated driver, as
llvm-objdump and llvm-nm show them.

The bridge (libftdibridge.dylib) passes when
  - it exports the 29 JNI functions of nl.tamsel.ftdi.usb.D2XX and nothing else;
  - it loads the driver by the bare name libftd2xx.dylib (dyld then searches the vendor's
    /usr/local/lib, or finds the driver already loaded), never by a build path;
  - every other library it loads is a system library under /usr/lib or /System (the C++ library
    is linked in, so no libc++ either);
  - it states the oldest macOS version it runs on (LC_BUILD_VERSION or LC_VERSION_MIN_MACOSX);
  - its install name is its bare file name (no build path inside).
The modes library (libftdimodes.dylib) passes when it exports the JNI functions of
nl.tamsel.ftdi.usb.D2XXModes and nothing else, does not load the driver (it looks the driver's
functions up at run time), loads only system libraries, states its oldest macOS version and has
its bare file name as install name.
The simulated driver (libftd2xx.dylib) passes when its install name is libftd2xx.dylib, it
exports the 41 driver functions, names nothing beyond them, its control functions, its natives
and the C++ library's operators new and delete, loads only system libraries and states its
oldest macOS version. The linker's names for the image header are no export of ours.

Usage: macho_check.py [--role bridge|modes|driver] [--objdump TOOL] [--nm TOOL] FILE.dylib
Exit status 0 when the file passes, 1 when it does not, 2 when it cannot be examined.
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path
from typing import List

# The JNI functions and the driver functions are those the PE check knows.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "windows"))
from pe_check import (BRIDGE_EXPORTS, DRIVER_NAMED_EXPORTS, DRIVER_ORDINALS, MODES_EXPORTS,  # noqa: E402
                      NAMED_DRIVER_FUNCTIONS)

DRIVER_FUNCTIONS = frozenset(DRIVER_ORDINALS) | NAMED_DRIVER_FUNCTIONS
DRIVER = "libftd2xx.dylib"
INSTALL_NAMES = {"bridge": "libftdibridge.dylib", "modes": "libftdimodes.dylib", "driver": DRIVER}
# The linker's own names for the image's header, which it exports from every dylib it makes.
LINKER_DEFINED = frozenset({"_mh_dylib_header", "__dso_handle"})
# The C++ library linked into the driver exports the replaceable operators new and delete as
# weak definitions (they allocate with malloc and free, so whichever image's copy dyld binds
# to, memory goes back where it came from). The bridge allocates nothing with them.
OPERATORS_NEW_DELETE = re.compile(r"_Z(nw|na|dl|da)[mPvSt0-9a-z_]*$")
SYSTEM_LIBRARY = re.compile(r"(/usr/lib/libSystem\.B\.dylib|/usr/lib/system/\S+|/System/Library/\S+)$")


def run(command: List[str]) -> str:
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def load_commands(objdump: str, path: str) -> List[dict]:
    """The load commands, each as its field: value lines."""
    commands = []
    for block in re.split(r"\nLoad command \d+\n", run([objdump, "--macho", "--private-headers", path]))[1:]:
        fields = {}
        for line in block.splitlines():
            parts = line.strip().split(None, 1)
            if len(parts) == 2 and parts[0] not in fields:
                fields[parts[0]] = parts[1]
        commands.append(fields)
    return commands


def dylib_name(command: dict) -> str:
    return re.sub(r" \(offset \d+\)$", "", command.get("name", ""))


def problems(role: str, objdump: str, nm: str, path: str) -> List[str]:
    found = []
    commands = load_commands(objdump, path)
    kinds = [command.get("cmd") for command in commands]
    if "LC_BUILD_VERSION" in kinds:
        minimum = next(c.get("minos") for c in commands if c.get("cmd") == "LC_BUILD_VERSION")
    else:
        minimum = next((c.get("version") for c in commands if c.get("cmd") == "LC_VERSION_MIN_MACOSX"), None)
    if not minimum:
        found.append("states no minimum macOS version (no LC_BUILD_VERSION or LC_VERSION_MIN_MACOSX)")
    loads = [dylib_name(c) for c in commands if c.get("cmd") in ("LC_LOAD_DYLIB", "LC_LOAD_WEAK_DYLIB",
                                                                "LC_REEXPORT_DYLIB", "LC_LAZY_LOAD_DYLIB")]
    for library in loads:
        if role == "bridge" and library == DRIVER:
            continue
        if role == "modes" and library == DRIVER:
            found.append(f"loads {library}; the modes library must find the driver's functions at "
                         "run time and not link to it")
        elif not SYSTEM_LIBRARY.match(library):
            found.append(f"loads {library}, which is not a macOS system library")
    if role == "bridge" and DRIVER not in loads:
        found.append(f"does not load the driver by the name {DRIVER}")
    install_name = next((dylib_name(c) for c in commands if c.get("cmd") == "LC_ID_DYLIB"), None)
    if install_name != INSTALL_NAMES[role]:
        found.append(f"has the install name {install_name}, not {INSTALL_NAMES[role]}")

    # Mach-O symbol names carry a leading underscore.
    exports = {name[1:] if name.startswith("_") else name
               for name in re.findall(r"^\S*\s+[A-Z]\s+(\S+)$", run([nm, "--extern-only", "--defined-only", path]),
                                      re.MULTILINE)} - LINKER_DEFINED
    if role == "bridge":
        found += [f"does not export {name}" for name in sorted(BRIDGE_EXPORTS - exports)]
        found += [f"exports {name}, which is not a JNI function of D2XX" for name in sorted(exports - BRIDGE_EXPORTS)]
    elif role == "modes":
        found += [f"does not export {name}" for name in sorted(MODES_EXPORTS - exports)]
        found += [f"exports {name}, which is not a JNI function of D2XXModes" for name in sorted(exports - MODES_EXPORTS)]
    else:
        found += [f"does not export {name}" for name in sorted(DRIVER_FUNCTIONS - exports)]
        found += [f"exports {name}, which is no driver or control function" for name in sorted(exports)
                  if name not in DRIVER_FUNCTIONS and not DRIVER_NAMED_EXPORTS.match(name)
                  and not OPERATORS_NEW_DELETE.match(name)]
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--role", choices=["bridge", "modes", "driver"], default="bridge")
    parser.add_argument("--objdump", default="llvm-objdump")
    parser.add_argument("--nm", default="llvm-nm")
    parser.add_argument("file")
    arguments = parser.parse_args()
    try:
        found = problems(arguments.role, arguments.objdump, arguments.nm, arguments.file)
    except (OSError, subprocess.CalledProcessError, StopIteration) as error:
        print(f"{arguments.file}: cannot be examined: {error}", file=sys.stderr)
        return 2
    for problem in found:
        print(f"{arguments.file}: {problem}")
    print(f"{arguments.file}: {'FAILS' if found else 'passes'} as the {arguments.role}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
