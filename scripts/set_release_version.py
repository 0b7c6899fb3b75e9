#!/usr/bin/env python3
"""Gives an exported copy of the build a release version and the public repository's address.

Usage: set_release_version.py COPY VERSION REPOSITORY_URL

Every POM of the build names the parent's version right after <artifactId>ftdi-d2xx-parent</artifactId>
(the parent itself, and each module's <parent>); that is the one version the build has, and the
native bridge reads it from there too. The address replaces the value of ftdi.repository.url.
"""
import pathlib
import re
import sys

VERSION = re.compile(r"(<artifactId>ftdi-d2xx-parent</artifactId>\s*<version>)([^<]+)(</version>)")
URL = re.compile(r"(<ftdi\.repository\.url>)([^<]*)(</ftdi\.repository\.url>)")


def main(copy, version, url):
    root = pathlib.Path(copy)
    poms = [root / "pom.xml", root / "native" / "pom.xml", *sorted(root.glob("java/*/pom.xml"))]
    for pom in poms:
        text = pom.read_text(encoding="utf-8")
        text, found = VERSION.subn(lambda m: m.group(1) + version + m.group(3), text)
        if found != 1:
            sys.exit(f"{pom}: expected one version after <artifactId>ftdi-d2xx-parent</artifactId>, found {found}")
        if pom == root / "pom.xml":
            text, found = URL.subn(lambda m: m.group(1) + url + m.group(3), text)
            if found != 1:
                sys.exit(f"{pom}: expected one <ftdi.repository.url> property, found {found}")
        pom.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: set_release_version.py COPY VERSION REPOSITORY_URL")
    main(*sys.argv[1:])
