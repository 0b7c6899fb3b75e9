#!/usr/bin/env python3
"""Shows that the Mach-O check passes the real macOS builds and fails wrong ones for the right
reason. The wrong builds are real dylibs linked with Zig from the real builds' object files,
each with one fault:
  - extra_export: the bridge with a JNI_OnLoad beside the 29 JNI functions;
  - rpath_driver: the driver with CMake's default install name @rpath/libftd2xx.dylib, and the
    bridge linked against it, which then records that name instead of libftd2xx.dylib;
  - build_path_driver: the same with the driver's absolute build path as its install name;
  - linked_modes: the modes library linked to the driver, as the bridge is;
  - no_minimum_version: the bridge with its LC_BUILD_VERSION turned into an LC_SUB_FRAMEWORK
    naming no umbrella, as a toolchain that states no minimum macOS version leaves it.

Usage: macho_check_test.py --zig ZIG --target TRIPLE --build DIR [--objdump TOOL] [--nm TOOL]
       DIR is a CMake build of the macOS target (bridge/ and simdriver/ with their objects).
"""

import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import macho_check  # noqa: E402

# As the build names the bridge, so that each wrong build has only its own fault.
BRIDGE_NAME = "-Wl,-install_name,libftdibridge.dylib"
HERE = os.path.dirname(os.path.abspath(__file__))
options = None


def problems(role, path):
    return macho_check.problems(role, options.objdump, options.nm, path)


def objects(target):
    # Sources in subdirectories (the simulated driver's peripherals) leave their objects in
    # subdirectories of the target's object directory too.
    found = sorted(glob.glob(os.path.join(options.build, target, "CMakeFiles", "*.dir", "**", "*.o"),
                             recursive=True))
    if not found:
        raise RuntimeError(f"no object files of {target} in {options.build}")
    return found


def jni_include():
    """The JDK include directory the build used."""
    with open(os.path.join(options.build, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith("JNI_INCLUDE_DIR:"):
                return line.split("=", 1)[1].strip()
    raise RuntimeError(f"no JNI_INCLUDE_DIR in {options.build}/CMakeCache.txt")


def link(output, inputs, *flags):
    subprocess.run([options.zig, "c++", "-target", options.target, "-shared", "-o", output,
                    *inputs, *flags], check=True)


LC_BUILD_VERSION = 0x32
LC_SUB_FRAMEWORK = 0x12


def without_build_version(source, target):
    """A copy of a 64-bit Mach-O file whose LC_BUILD_VERSION is an LC_SUB_FRAMEWORK with an
    empty name: same size, so every other load command stays where it was."""
    shutil.copyfile(source, target)
    with open(target, "r+b") as image:
        data = bytearray(image.read())
        magic, _, _, _, commands = struct.unpack_from("<IiiII", data, 0)
        assert magic == 0xFEEDFACF, "not a 64-bit little-endian Mach-O file"
        offset = 32
        for _ in range(commands):
            command, size = struct.unpack_from("<II", data, offset)
            if command == LC_BUILD_VERSION:
                struct.pack_into("<III", data, offset, LC_SUB_FRAMEWORK, size, 12)
                data[offset + 12:offset + size] = bytes(size - 12)  # the empty name
                image.seek(0)
                image.write(data)
                return
            offset += size
    raise AssertionError(f"{source} has no LC_BUILD_VERSION")


class MachOCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.dir = cls.work.name

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def wrong_driver(self, install_name):
        """The driver relinked under another install name, and the bridge linked against it."""
        folder = os.path.join(self.dir, install_name.replace("/", "_"))
        os.makedirs(folder)
        driver = os.path.join(folder, "libftd2xx.dylib")
        link(driver, objects("simdriver"), "-Wl,-install_name," + install_name)
        bridge = os.path.join(folder, "libftdibridge.dylib")
        link(bridge, objects("bridge"), "-L" + folder, "-lftd2xx", BRIDGE_NAME)
        return driver, bridge

    def test_real_builds_pass(self):
        self.assertEqual([], problems("bridge", os.path.join(options.build, "bridge", "libftdibridge.dylib")))
        self.assertEqual([], problems("driver", os.path.join(options.build, "simdriver", "libftd2xx.dylib")))

    def test_modes_library_passes_and_the_bridge_is_none(self):
        modes = os.path.join(options.build, "modes", "libftdimodes.dylib")
        self.assertEqual([], problems("modes", modes))
        found = problems("modes", os.path.join(options.build, "bridge", "libftdibridge.dylib"))
        self.assertIn("has the install name libftdibridge.dylib, not libftdimodes.dylib", found)
        self.assertIn("exports Java_nl_tamsel_ftdi_usb_D2XX_close, which is not a JNI function of D2XXModes", found)

    def test_modes_library_linked_to_the_driver_is_refused(self):
        modes = os.path.join(self.dir, "libftdimodes.dylib")
        link(modes, objects("modes"), "-L" + os.path.join(options.build, "simdriver"), "-lftd2xx",
             "-Wl,-install_name,libftdimodes.dylib")
        self.assertEqual(["loads libftd2xx.dylib; the modes library must find the driver's functions at "
                          "run time and not link to it"], problems("modes", modes))

    def test_extra_export_is_named(self):
        onload = os.path.join(self.dir, "jni_onload.o")
        jdk = jni_include()
        subprocess.run([options.zig, "c++", "-target", options.target, "-c", "-o", onload,
                        "-I" + jdk, "-I" + os.path.join(jdk, "linux"),
                        os.path.join(HERE, "..", "windows", "wrong_builds", "jni_onload.cpp")], check=True)
        bridge = os.path.join(self.dir, "extra_export.dylib")
        link(bridge, objects("bridge") + [onload], "-L" + os.path.join(options.build, "simdriver"), "-lftd2xx",
             BRIDGE_NAME)
        self.assertEqual(["exports JNI_OnLoad, which is not a JNI function of D2XX"], problems("bridge", bridge))

    def test_driver_by_rpath_is_refused_in_both(self):
        driver, bridge = self.wrong_driver("@rpath/libftd2xx.dylib")
        self.assertEqual(["has the install name @rpath/libftd2xx.dylib, not libftd2xx.dylib"],
                         problems("driver", driver))
        self.assertEqual(["loads @rpath/libftd2xx.dylib, which is not a macOS system library",
                          "does not load the driver by the name libftd2xx.dylib"], problems("bridge", bridge))

    def test_driver_by_build_path_is_refused(self):
        path = os.path.join(self.dir, "build", "libftd2xx.dylib")
        _, bridge = self.wrong_driver(path)
        self.assertEqual([f"loads {path}, which is not a macOS system library",
                          "does not load the driver by the name libftd2xx.dylib"], problems("bridge", bridge))

    def test_missing_minimum_version_is_named(self):
        bridge = os.path.join(self.dir, "no_minimum_version.dylib")
        without_build_version(os.path.join(options.build, "bridge", "libftdibridge.dylib"), bridge)
        self.assertEqual(["states no minimum macOS version (no LC_BUILD_VERSION or LC_VERSION_MIN_MACOSX)"],
                         problems("bridge", bridge))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zig", required=True)
    parser.add_argument("--target", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--objdump", default="llvm-objdump")
    parser.add_argument("--nm", default="llvm-nm")
    options, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
