#!/usr/bin/env python3
"""Checks that Linux libraries load on any glibc from 2.17 on and need no C++ runtime there.

A file passes when readelf shows
  - NEEDED entries among the C library's own: libc, libm, libpthread, libdl, librt and glibc's
    dynamic loader (which 32-bit ARM code names for thread-local storage), and libftd2xx.so,
    the driver, for the bridge, whose file name starts with libftdibridge (the modes library,
    libftdimodes, looks the driver up at run time and must not need it);
  - version needs only from those, none above GLIBC_2.17 (no GLIBCXX_, CXXABI_ or GCC_ needs,
    which would come from a system libstdc++ or libgcc_s).

Usage: portability_check.py [--readelf TOOL] FILE.so...
Exit status 0 when every file passes, 1 when one does not, 2 when one cannot be examined.
"""

import argparse
import os
import re
import subprocess
import sys
from typing import List

MAX_GLIBC = (2, 17)
C_LIBRARIES = frozenset({"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1",
                         "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1", "ld-linux-armhf.so.3"})
DRIVER = "libftd2xx.so"


def readelf(tool: str, option: str, path: str) -> str:
    return subprocess.run([tool, "--wide", option, path], check=True, capture_output=True,
                          text=True).stdout


def problems(tool: str, path: str) -> List[str]:
    allowed = set(C_LIBRARIES)
    if os.path.basename(path).startswith("libftdibridge"):
        allowed.add(DRIVER)
    found = []
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf(tool, "--dynamic", path))
    found += [f"needs {library}, which is not part of the C library" for library in needed
              if library not in allowed]
    for version in sorted(set(re.findall(r"Name: (\w+_[\d.]+)", readelf(tool, "--version-info", path)))):
        prefix, _, number = version.partition("_")
        if prefix != "GLIBC":
            found.append(f"needs {version}, from a runtime other than the C library")
        elif tuple(int(part) for part in number.split(".")) > MAX_GLIBC:
            found.append(f"needs {version}, newer than glibc 2.17")
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--readelf", default="readelf")
    parser.add_argument("files", nargs="+")
    arguments = parser.parse_args()
    failed = False
    for path in arguments.files:
        try:
            found = problems(arguments.readelf, path)
        except (OSError, subprocess.CalledProcessError) as error:
            print(f"{path}: cannot be read: {error}", file=sys.stderr)
            return 2
        for problem in found:
            print(f"{path}: {problem}")
        print(f"{path}: {'FAILS' if found else 'passes'}")
        failed = failed or bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
