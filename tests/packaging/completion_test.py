#!/usr/bin/python3
"""The bash completions of vcfg and vprop offer the programs' real commands,
options and the names their configuration files list.

    completion_test.py SOURCE_DIR VCFG VPROP

Each case completes a command line in a non-interactive bash with the
completion file loaded and the built programs first on PATH, and compares
the offered words.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = VCFG = VPROP = None

VCFG_COMMANDS = ["domain", "subsystem", "merge", "generate", "restart", "apply", "get", "set", "default",
                 "delete", "commit"]
VPROP_COMMANDS = ["subsystem", "get", "getdefault", "set", "setdefault", "batch", "commit", "cancel", "help"]
SHARED_OPTIONS = ["-e", "-s", "-f", "-o", "-v", "-n", "-u", "-j", "-J", "-N", "-S", "-?"]

DRIVER = r'''
source "$1"
function="$2"
shift 2
COMP_WORDS=("$@")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
"$function"
printf '%s\n' "${COMPREPLY[@]}"
'''


class CompletionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bin = tempfile.mkdtemp(prefix="r9050-completion-")
        for program in (VCFG, VPROP):
            os.symlink(program, os.path.join(cls.bin, os.path.basename(program)))
        cls.vcfg_conf = os.path.join(SOURCE_DIR, "tools/vcfg/example/vcfg.conf")
        cls.vprop_conf = os.path.join(SOURCE_DIR, "tools/vprop/example/vprop.conf")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.bin, ignore_errors=True)

    def complete(self, tool, *words):
        completion = os.path.join(SOURCE_DIR, "packaging/bash-completion", tool)
        env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"])
        env.pop("VCFG_ENVFILE", None)
        result = subprocess.run(["bash", "--norc", "--noprofile", "-c", DRIVER, "driver", completion,
                                 "_r9050_" + tool, tool, *words],
                                capture_output=True, text=True, env=env, timeout=60, check=False)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        return [w for w in result.stdout.split("\n") if w]

    def check(self, tool, cases):
        for words, expected in cases:
            with self.subTest(line=" ".join((tool,) + words)):
                self.assertEqual(self.complete(tool, *words), expected)

    def test_vcfg(self):
        e = ("-e", self.vcfg_conf)
        self.check("vcfg", [
            (("",), VCFG_COMMANDS),
            (("de",), ["default", "delete"]),
            (("-v", "g"), ["generate", "get"]),
            (("-",), ["-e", "-d"] + SHARED_OPTIONS[1:]),
            (e + ("-d", ""), ["factory", "siteDefaults", "deviceSpecific"]),
            (("-e" + self.vcfg_conf, "merge", "s"), ["siteDefaults"]),
            (e + ("-s", ""), ["system", "network", "accessmgr", "services"]),
            (e + ("apply", "ne"), ["network"]),
            (e + ("commit", "network", ""), []),        # only one name argument
            (e + ("get", ""), []),                      # property ids are not listed
            (("-d", "factory", "mer"), ["merge"]),      # an option's value is not the command
            (("-e", "/nonexistent/vcfg.conf", "-d", ""), []),
        ])

    def test_vprop(self):
        e = ("-e", self.vprop_conf)
        self.check("vprop", [
            (("",), VPROP_COMMANDS),
            (("get",), ["get", "getdefault"]),
            (("-",), SHARED_OPTIONS),                   # no -d: property subsystems have no domains
            (e + ("-s", ""), ["deviceInfo", "display", "remote"]),
            (e + ("-s", "d"), ["deviceInfo", "display"]),
            (e + ("commit", "r"), ["remote"]),
            (e + ("get", ""), []),
        ])

    def test_listed_names_are_those_of_the_programs(self):
        # The vcfg example's subsystems, as vcfg itself lists them.
        listing = subprocess.run([VCFG, "-e", self.vcfg_conf, "subsystem"], capture_output=True, text=True,
                                 check=False, timeout=60).stdout
        names = [line.split('"')[1] for line in listing.splitlines() if line[:4].strip().rstrip(":").isdigit()]
        self.assertEqual(self.complete("vcfg", "-e", self.vcfg_conf, "-s", ""), names)


if __name__ == "__main__":
    SOURCE_DIR, VCFG, VPROP = (os.path.abspath(a) for a in sys.argv[1:4])
    del sys.argv[1:4]
    unittest.main()
