#!/usr/bin/env python3
"""Shows that the PE check passes the real builds and fails wrong ones for the right reason.

The wrong builds are real DLLs, each the bridge with one fault (see CMakeLists.txt beside this
file). Faults that cost a build of their own for no more insight are made by editing objdump's
account of the good bridge. Every wrong case must fail with the expected problems and no others.

Usage: pe_check_test.py --objdump TOOL --nm TOOL --bridge DLL --driver DLL --modes DLL
                        --wrong NAME=DLL [--wrong NAME=DLL ...] [unittest arguments]
"""

import argparse
import re
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import pe_check  # noqa: E402

JNI_PREFIX = "Java_nl_tamsel_ftdi_usb_D2XX_"
SYSTEM_DLL_HINT = r"which is not a Windows system DLL"

# For each real wrong build: the problems it must show (patterns), which are also all it may show.
WRONG_BUILDS = {
    "name_import": [
        r"imports FT_Read from FTD2XX\.dll by name",
        r"does not import FT_Read \(ordinal 3\)",
    ],
    "swapped_ordinals": [
        r"imports FT_SetDtr at ordinal 11; FTD2XX\.dll has it at ordinal 10",
        r"imports FT_ClrDtr at ordinal 10; FTD2XX\.dll has it at ordinal 11",
    ],
    "unknown_ordinal": [
        r"imports ordinal 81 from FTD2XX\.dll, which is none of the driver functions",
        r"does not import FT_GetComPortNumber \(ordinal 80\)",
        r"imports FT_GetComPortNumber at ordinal 81; FTD2XX\.dll has it at ordinal 80",
    ],
    "extra_export": [
        r"exports JNI_OnLoad, which is not one of the 29 JNI functions",
    ],
    "runtime_dll": [
        r"imports from libstdc\+\+-6\.dll, " + SYSTEM_DLL_HINT,
    ],
    "host_jni_md": [
        r"exports \S+, which is not one of the 29 JNI functions",
    ],
}
# Also allowed beside the required problems, because the fault brings them along.
WRONG_BUILD_EXTRAS = {
    "runtime_dll": [r"imports from libgcc_s_seh-1\.dll, " + SYSTEM_DLL_HINT],
}

options = None


def objdump(path):
    return pe_check.run(options.objdump, "-p", path)


def bridge_errors(text, path=None):
    tables = pe_check.parse_objdump(text)
    slots = pe_check.parse_nm(pe_check.run(options.nm, path or options.bridge), tables.image_base)
    return pe_check.check_bridge(tables, slots)


def edited(text, old, new, count=1):
    """`text` with `old` replaced; fails the test run if the edit did not apply."""
    result, made = re.subn(old, new, text, count=count, flags=re.MULTILINE)
    if made != count:
        raise AssertionError(f"{old!r} is not in objdump's output")
    return result


class CheckTestCase(unittest.TestCase):
    def assertProblems(self, errors, required, allowed=()):
        """Every required pattern matches a problem; every problem matches some pattern."""
        report = "\n".join(errors)
        self.assertTrue(errors, "the check passed a wrong build")
        for pattern in required:
            self.assertTrue(any(re.search(pattern, error) for error in errors),
                            f"no problem matches {pattern!r} in:\n{report}")
        for error in errors:
            self.assertTrue(any(re.search(pattern, error) for pattern in [*required, *allowed]),
                            f"unexpected problem {error!r} in:\n{report}")


class RealBuilds(CheckTestCase):
    def test_the_bridge_passes(self):
        self.assertEqual([], bridge_errors(objdump(options.bridge)))

    def test_the_simulated_driver_passes(self):
        self.assertEqual([], pe_check.check_driver(pe_check.parse_objdump(objdump(options.driver))))

    def test_the_modes_library_passes(self):
        self.assertEqual([], pe_check.check_modes(pe_check.parse_objdump(objdump(options.modes))))

    def test_the_bridge_is_no_modes_library(self):
        # It imports the driver and exports D2XX's functions: a modes library linked like it.
        errors = pe_check.check_modes(pe_check.parse_objdump(objdump(options.bridge)))
        self.assertProblems(errors, [
            r"imports from FTD2XX\.dll; the modes library must find",
            rf"exports {JNI_PREFIX}close, which is not one of the 18 JNI functions of D2XXModes",
            r"does not export Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent$",
        ], [r"exports Java_nl_tamsel_ftdi_usb_D2XX_\w+, which is not", r"does not export Java_nl_tamsel_ftdi_usb_D2XXModes_\w+$"])

    def test_the_bridge_tables_are_read_in_full(self):
        tables = pe_check.parse_objdump(objdump(options.bridge))
        driver = [entry for dll, entries in tables.imports.items()
                  if dll.lower() == "ftd2xx.dll" for entry in entries]
        self.assertEqual(sorted(pe_check.FUNCTION_AT), sorted(entry.ordinal for entry in driver))
        names = {name for export in tables.exports.values() for name in export.names}
        self.assertEqual(pe_check.BRIDGE_EXPORTS, names)


class WrongBuilds(CheckTestCase):
    def test_every_wrong_build_is_rejected_for_its_fault(self):
        self.assertEqual(set(WRONG_BUILDS), set(options.wrong), "wrong builds given")
        for name, path in sorted(options.wrong.items()):
            with self.subTest(wrong_build=name):
                self.assertProblems(bridge_errors(objdump(path), path), WRONG_BUILDS[name],
                                    WRONG_BUILD_EXTRAS.get(name, ()))


class EditedBridgeTables(CheckTestCase):
    """Faults written into objdump's account of the good bridge."""

    def setUp(self):
        self.text = objdump(options.bridge)

    def check(self, text):
        return bridge_errors(text)

    def test_a_decorated_export_name(self):
        text = edited(self.text, rf"({JNI_PREFIX}close)$", r"\1@16")
        self.assertProblems(self.check(text), [
            rf"exports {JNI_PREFIX}close@16, which is not one of the 29",
            rf"does not export {JNI_PREFIX}close$",
        ])

    def test_the_pthread_runtime_as_a_dll(self):
        text = edited(self.text, r"DLL Name: msvcrt\.dll", "DLL Name: libwinpthread-1.dll")
        self.assertProblems(self.check(text), [r"imports from libwinpthread-1\.dll, " + SYSTEM_DLL_HINT])

    def test_the_gcc_runtime_as_a_dll(self):
        text = edited(self.text, r"DLL Name: msvcrt\.dll", "DLL Name: libgcc_s_seh-1.dll")
        self.assertProblems(self.check(text), [r"imports from libgcc_s_seh-1\.dll, " + SYSTEM_DLL_HINT])

    def test_an_export_without_a_name(self):
        text = edited(self.text, rf"^\s+\[\s*\d+\] {JNI_PREFIX}purge\n", "")
        self.assertProblems(self.check(text), [
            r"exports ordinal \d+ without a name",
            rf"does not export {JNI_PREFIX}purge",
        ])

    def test_one_ordinal_imported_twice(self):
        text = edited(self.text, r"^(\s+)8000000000000002(\s+)000000002", r"\g<1>8000000000000003\g<2>000000003")
        self.assertProblems(self.check(text), [
            r"imports ordinal 3 from FTD2XX\.dll 2 times",
            r"does not import FT_Close \(ordinal 2\)",
            r"imports FT_Close at ordinal 3; FTD2XX\.dll has it at ordinal 2",
        ])

    def test_the_driver_under_another_name(self):
        text = edited(self.text, r"DLL Name: FTD2XX\.dll", "DLL Name: FTD2XX64.dll")
        errors = self.check(text)
        self.assertProblems(errors, [r"imports nothing from FTD2XX\.dll",
                                     r"imports from FTD2XX64\.dll, " + SYSTEM_DLL_HINT],
                            [r"does not import FT_\w+ \(ordinal \d+\)"])

    def test_a_32_bit_dll(self):
        text = edited(self.text, r"file format pei-x86-64", "file format pei-i386")
        self.assertProblems(self.check(text), [r"file format is pei-i386"])

    def test_no_import_table(self):
        text = edited(self.text, r"^The Import Tables", "The Import Tables were removed")
        start = text.index("The Import Tables were removed")
        end = text.index("The Export Tables")
        text = text[:start] + text[end:]
        self.assertProblems(self.check(text), [r"no import table found"],
                            [r"does not import FT_\w+ \(ordinal \d+\)"])

    def test_a_stripped_dll(self):
        tables = pe_check.parse_objdump(self.text)
        self.assertProblems(pe_check.check_bridge(tables, {}), [r"has no __imp_ symbols"])


class EditedDriverTables(CheckTestCase):
    """Faults written into objdump's account of the simulated driver."""

    def setUp(self):
        self.text = objdump(options.driver)

    def check(self, text):
        return pe_check.check_driver(pe_check.parse_objdump(text))

    def test_a_driver_function_with_a_name(self):
        # Ordinal 1 sits at index 0 of the export address table.
        text = edited(self.text, r"^\[Ordinal/Name Pointer\] Table\n",
                      "[Ordinal/Name Pointer] Table\n\t[   0] FT_Open\n")
        self.assertProblems(self.check(text), [r"exports ordinal 1 \(FT_Open\) by the name FT_Open"])

    def test_a_missing_driver_function(self):
        text = edited(self.text, r"^(\s+\[\s*79\] \+base\[\s*80\]) [0-9a-f]+ Export RVA", r"\1 0 Export RVA")
        self.assertProblems(self.check(text), [r"does not export ordinal 80 \(FT_GetComPortNumber\)"])

    def test_a_stray_named_export(self):
        text = edited(self.text, r"^(\s+\[\s*\d+\]) simReset$", r"\1 helperForTests")
        self.assertProblems(self.check(text), [
            r"exports helperForTests, which is neither a driver nor a control function"])

    def test_another_dll_name(self):
        text = edited(self.text, r"^(Name\s+[0-9a-f]+) FTD2XX\.dll", r"\1 ftd2xx64.dll")
        self.assertProblems(self.check(text), [r"names the DLL ftd2xx64\.dll, not FTD2XX\.dll"])


def main():
    global options
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--modes", required=True)
    parser.add_argument("--wrong", action="append", default=[], metavar="NAME=DLL")
    options, rest = parser.parse_known_args()
    options.wrong = dict(item.split("=", 1) for item in options.wrong)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
