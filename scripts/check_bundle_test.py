#!/usr/bin/env python3
"""Tests scripts/check-bundle on a real release bundle: the bundle as built passes, and each fault
planted in a copy of it is refused with the rule and the file it breaks.

Usage: check_bundle_test.py BUNDLE_DIR PUBLIC_KEY   (as scripts/release writes them)
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
BUNDLE = PUBLIC_KEY = VERSION = None


def folder(artifact):
    return os.path.join("nl", "tamsel", artifact, VERSION)


def path(artifact, suffix):
    return os.path.join(folder(artifact), f"{artifact}-{VERSION}{suffix}")


def edit(relative, pattern, replacement):
    def plant(root):
        file = os.path.join(root, relative)
        with open(file, encoding="utf-8") as f:
            content = f.read()
        changed = re.sub(pattern, replacement, content, count=1, flags=re.S)
        assert changed != content, f"{pattern} not found in {relative}"
        with open(file, "w", encoding="utf-8") as f:
            f.write(changed)
    return plant


def remove(*relatives):
    def plant(root):
        for relative in relatives:
            for side in ("", ".asc", ".md5", ".sha1"):
                if os.path.exists(os.path.join(root, relative + side)):
                    os.remove(os.path.join(root, relative + side))
    return plant


def copy(source, target):
    return lambda root: shutil.copyfile(os.path.join(root, source), os.path.join(root, target))


def append(relative, data):
    def plant(root):
        with open(os.path.join(root, relative), "ab") as f:
            f.write(data)
    return plant


def write(relative, data):
    def plant(root):
        with open(os.path.join(root, relative), "w", encoding="utf-8") as f:
            f.write(data)
    return plant


def drop_from_jar(relative, entry):
    def plant(root):
        jar = os.path.join(root, relative)
        with zipfile.ZipFile(jar) as old:
            kept = [(info, old.read(info)) for info in old.infolist() if info.filename != entry]
        with zipfile.ZipFile(jar, "w") as new:
            for info, data in kept:
                new.writestr(info, data)
    return plant


def sign_with_another_key(relative):
    def plant(root):
        with tempfile.TemporaryDirectory() as home:
            gpg = ["gpg", "--homedir", home, "--batch", "--quiet", "--pinentry-mode", "loopback", "--passphrase", ""]
            subprocess.run(gpg + ["--quick-gen-key", "Someone Else <else@example.org>", "ed25519", "sign", "never"],
                           check=True, capture_output=True)
            file = os.path.join(root, relative)
            subprocess.run(gpg + ["--yes", "--armor", "--detach-sign", "--output", file + ".asc", file],
                           check=True, capture_output=True)
            subprocess.run(["gpgconf", "--homedir", home, "--kill", "all"], capture_output=True)
    return plant


def faults():
    """(what is planted, how, the rule that must refuse it, the file it must be named for)."""
    parent, library, simulator, tool = (path(a, ".pom") for a in
                                        ("ftdi-d2xx-parent", "ftdi-d2xx", "ftdi-d2xx-simulator", "ftdi-d2xx-cli"))
    return [
        ("the library POM without a name", edit(library, r"\s*<name>.*?</name>", ""), "pom-elements", library),
        ("the parent without licenses: its modules lack them too",
         edit(parent, r"\s*<licenses>.*?</licenses>", ""), "pom-elements", simulator),
        ("the parent without SCM", edit(parent, r"\s*<scm[ >].*?</scm>", ""), "pom-elements", tool),
        ("the parent without developers", edit(parent, r"\s*<developers>.*?</developers>", ""), "pom-elements", library),
        ("the repository property unset", edit(parent, r"\s*<ftdi.repository.url>.*?</ftdi.repository.url>", ""),
         "pom-elements", parent),
        ("the placeholder address", edit(parent, r"(<ftdi.repository.url>)[^<]*", r"\1https://repository.invalid/x"),
         "public-url", library),
        ("a SNAPSHOT dependency", edit(tool, r"<dependencies>", "<dependencies><dependency><groupId>a</groupId>"
                                       "<artifactId>b</artifactId><version>1.0-SNAPSHOT</version></dependency>"),
         "no-snapshot", tool),
        ("a SNAPSHOT file", copy(path("ftdi-d2xx", ".jar"), path("ftdi-d2xx", "-SNAPSHOT.jar")),
         "no-snapshot", path("ftdi-d2xx", "-SNAPSHOT.jar")),
        ("the tool's Javadoc jar missing", remove(path("ftdi-d2xx-cli", "-javadoc.jar")),
         "javadoc-sources", path("ftdi-d2xx-cli", "-javadoc.jar")),
        ("the simulator's sources jar missing", remove(path("ftdi-d2xx-simulator", "-sources.jar")),
         "javadoc-sources", path("ftdi-d2xx-simulator", "-sources.jar")),
        ("the POM of an artifact missing", remove(simulator), "pom", simulator),
        ("a stray file", write(os.path.join(folder("ftdi-d2xx"), "notes.txt"), "x"),
         "layout", os.path.join(folder("ftdi-d2xx"), "notes.txt")),
        ("a signature of another file", copy(path("ftdi-d2xx-simulator", ".jar.asc"), path("ftdi-d2xx", ".jar.asc")),
         "signature", path("ftdi-d2xx", ".jar.asc")),
        ("a signature missing", lambda root: os.remove(os.path.join(root, tool + ".asc")), "signature", tool + ".asc"),
        ("a signature by another key", sign_with_another_key(library), "signature", library + ".asc"),
        ("a jar changed after signing", append(path("ftdi-d2xx", "-sources.jar"), b"\0"),
         "checksum", path("ftdi-d2xx", "-sources.jar.sha1")),
        ("a wrong checksum", write(library + ".md5", "0" * 32), "checksum", library + ".md5"),
        ("a checksum missing", lambda root: os.remove(os.path.join(root, simulator + ".sha1")),
         "checksum", simulator + ".sha1"),
        ("a jar without its license", drop_from_jar(path("ftdi-d2xx-cli", ".jar"), "META-INF/LICENSE"),
         "license-in-jar", path("ftdi-d2xx-cli", ".jar")),
        ("a Javadoc jar without its notice", drop_from_jar(path("ftdi-d2xx", "-javadoc.jar"), "META-INF/NOTICE"),
         "license-in-jar", path("ftdi-d2xx", "-javadoc.jar")),
        ("a bill of materials missing", remove(path("ftdi-d2xx-simulator", "-cyclonedx.json")),
         "sbom", path("ftdi-d2xx-simulator", "-cyclonedx.json")),
        ("another artifact's bill of materials",
         copy(path("ftdi-d2xx", "-cyclonedx.json"), path("ftdi-d2xx-cli", "-cyclonedx.json")),
         "sbom", path("ftdi-d2xx-cli", "-cyclonedx.json")),
    ]


def run_checker(root):
    result = subprocess.run([sys.executable, os.path.join(HERE, "check-bundle"), root, "--public-key", PUBLIC_KEY],
                            capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


class CheckBundleTest(unittest.TestCase):

    def test_the_bundle_as_built_passes(self):
        status, output = run_checker(BUNDLE)
        self.assertEqual(0, status, output)
        self.assertIn("every rule met", output)

    def test_each_planted_fault_is_refused_with_its_rule_and_file(self):
        for what, plant, rule, file in faults():
            with self.subTest(what), tempfile.TemporaryDirectory() as work:
                copy_of_bundle = os.path.join(work, "bundle")
                shutil.copytree(BUNDLE, copy_of_bundle)
                plant(copy_of_bundle)
                status, output = run_checker(copy_of_bundle)
                self.assertEqual(1, status, output)
                self.assertIn(f"FAIL [{rule}] {file}:", output)


class CompareBuildsTest(unittest.TestCase):
    """The release's reproducibility check: two builds must give the same bytes, file by file."""

    def test_a_difference_or_a_missing_file_fails_and_is_named(self):
        jar = path("ftdi-d2xx", ".jar")
        cases = [  # (what the second build does, exit status, what the output must say)
            ("nothing different", lambda root: None, 0, "same bytes: " + jar),
            ("one entry of a jar changed", drop_from_jar(jar, "META-INF/NOTICE"), 1, "META-INF/NOTICE"),
            ("a POM changed", edit(path("ftdi-d2xx", ".pom"), r"<name>", "<name>x"), 1,
             "DIFFERENT: " + path("ftdi-d2xx", ".pom")),
            ("a file missing", lambda root: os.remove(os.path.join(root, jar)), 1, "MISSING in one build: " + jar),
        ]
        for what, plant, status, expected in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as work:
                second = os.path.join(work, "second")
                shutil.copytree(BUNDLE, second)
                plant(second)
                result = subprocess.run([os.path.join(HERE, "compare-builds"), BUNDLE, second,
                                         jar, path("ftdi-d2xx", ".pom")], capture_output=True, text=True)
                self.assertEqual(status, result.returncode, result.stdout + result.stderr)
                self.assertIn(expected, result.stdout)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: check_bundle_test.py BUNDLE_DIR PUBLIC_KEY")
    BUNDLE, PUBLIC_KEY = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    versions = os.listdir(os.path.join(BUNDLE, "nl", "tamsel", "ftdi-d2xx"))
    if len(versions) != 1:
        sys.exit(f"expected one version of nl.tamsel:ftdi-d2xx in {BUNDLE}, found {versions}")
    VERSION = versions[0]
    if shutil.which("gpg") is None:
        sys.exit("gpg is missing: run scripts/setup")
    unittest.main(argv=sys.argv[:1], verbosity=2)
