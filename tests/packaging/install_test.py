#!/usr/bin/python3
"""Installs the project's Debian packages into a scratch root and runs the
installed programs from there.

    install_test.py [--arch armhf] DEBS_DIR

With --arch armhf the device's packages are checked: their Depends against
the armhf libraries installed here, their programs run under qemu-arm, and
the development package builds with the cross compiler.

The scratch root gets its own dpkg database. It lists, copied from this
machine's database, only the packages the new packages depend on, so dpkg
checks every Depends field against what is really installed here. Maintainer
scripts run without chroot (DPKG_ROOT set), as when an image is assembled;
they must then leave the machine alone. The installed programs run from the
scratch root and must find the project's libraries there, not elsewhere.
Nothing outside the temporary folder is changed.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

DEBS_DIR = None

HOST_ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                           check=True).stdout.strip()
# How programs of the packages' architecture run and are built here.
TARGETS = {
    HOST_ARCH: {"emulator": [], "cxx": "g++", "pkg_config": "pkg-config", "cmake": []},
    "armhf": {"emulator": ["qemu-arm", "-L", "/"], "cxx": "arm-linux-gnueabihf-g++",
              "pkg_config": "arm-linux-gnueabihf-pkg-config",
              "cmake": ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(
                  os.path.dirname(os.path.abspath(__file__)), "../../cmake/toolchain-armhf.cmake")]},
}
ARCH = HOST_ARCH

PACKAGES = ["libvantor-util3", "libvantor-cfgmgr3", "libvantor-cfgmgr-dev",
            "r9050-config-tools", "r9050-meter"]


def run(args, **kwargs):
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 120)
    return subprocess.run(args, check=False, **kwargs)


def deb_field(deb, field):
    result = run(["dpkg-deb", "-f", deb, field])
    return result.stdout.strip()


def dependency_names(depends):
    """Package names of a Depends field: every alternative of every clause."""
    names = set()
    for clause in filter(None, (c.strip() for c in depends.split(","))):
        for alternative in clause.split("|"):
            name = re.match(r"\s*([a-z0-9][a-z0-9+.-]*)", alternative)
            if name:
                names.add(name.group(1))
    return names


class ScratchRoot:
    """A root folder with a dpkg database of its own."""

    def __init__(self, base, debs):
        self.root = os.path.join(base, "root")
        self.admin = os.path.join(self.root, "var/lib/dpkg")
        for sub in ("info", "updates", "triggers", "alternatives"):
            os.makedirs(os.path.join(self.admin, sub))
        open(os.path.join(self.admin, "available"), "w").close()
        if ARCH != HOST_ARCH:
            # The scratch database knows the packages' architecture as a
            # foreign one, as a multiarch machine's does.
            with open(os.path.join(self.admin, "arch"), "w") as f:
                f.write(f"{HOST_ARCH}\n{ARCH}\n")
        own = {deb_field(d, "Package") for d in debs}
        needed = set()
        for deb in debs:
            needed |= dependency_names(deb_field(deb, "Depends")) - own
        arch = ARCH
        stanzas = []
        for name in sorted(needed):
            # The package of this architecture, else the architecture-free
            # one; a dependency installed in neither form stays missing.
            for qualified in (f"{name}:{arch}", f"{name}:all", name):
                shown = run(["dpkg-query", "-s", qualified])
                if shown.returncode == 0:
                    stanzas.append(shown.stdout.strip() + "\n")
                    break
        with open(os.path.join(self.admin, "status"), "w") as status:
            status.write("\n".join(stanzas))
        # The copied packages have no files in the scratch root.
        for stanza in stanzas:
            name = re.search(r"^Package: (\S+)", stanza, re.M).group(1)
            arch = re.search(r"^Architecture: (\S+)", stanza, re.M).group(1)
            same = re.search(r"^Multi-Arch: same", stanza, re.M)
            list_name = f"{name}:{arch}" if same else name
            open(os.path.join(self.admin, "info", list_name + ".list"), "w").close()

    def dpkg(self, *args):
        return run(["dpkg", "--root", self.root, "--force-script-chrootless",
                    "--no-triggers", *args])

    def path(self, *parts):
        return os.path.join(self.root, *parts)


class InstalledPackagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.debs = sorted(os.path.join(DEBS_DIR, f) for f in os.listdir(DEBS_DIR) if f.endswith(".deb"))
        cls.base = tempfile.mkdtemp(prefix="r9050-deb-")
        cls.scratch = ScratchRoot(cls.base, cls.debs)
        cls.install = cls.scratch.dpkg("--install", *cls.debs)
        cls.multiarch = run(["dpkg-architecture", "-a" + ARCH, "-qDEB_HOST_MULTIARCH"]).stdout.strip()
        cls.target = TARGETS[ARCH]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.base, ignore_errors=True)

    def setUp(self):
        self.assertEqual(self.install.returncode, 0, self.install.stdout + self.install.stderr)

    def program(self, name):
        return self.scratch.path("usr/bin", name)

    def execute(self, program, *args, **kwargs):
        """Runs a program of the packages' architecture."""
        return run([*self.target["emulator"], program, *args], **kwargs)

    def test_every_package_is_installed(self):
        listed = run(["dpkg-query", "--admindir", self.scratch.admin, "-W",
                      "-f=${Package} ${db:Status-Abbrev}\n"] + PACKAGES)
        self.assertEqual(listed.returncode, 0, listed.stderr)
        states = dict(line.split(None, 1) for line in listed.stdout.splitlines())
        for package in PACKAGES:
            self.assertEqual(states.get(package, "").strip(), "ii", package)
        self.assertEqual(len(self.debs), len(PACKAGES), self.debs)

    def test_programs_load_the_libraries_of_the_scratch_root(self):
        lib_dir = self.scratch.path("usr/lib", self.multiarch)
        for name in ("vcfg", "vprop", "realmgen"):
            if self.target["emulator"]:
                # Set in the emulated program only, not in qemu itself.
                traced = run([*self.target["emulator"], "-E", "LD_TRACE_LOADED_OBJECTS=1", self.program(name)])
            else:
                traced = run([self.program(name)], env=dict(os.environ, LD_TRACE_LOADED_OBJECTS="1"))
            self.assertEqual(traced.returncode, 0, traced.stderr)
            found = dict(re.findall(r"^\s*(libVantor_\w+\.so\.3) => (\S+)", traced.stdout, re.M))
            self.assertEqual(set(found), {"libVantor_cfgmgr.so.3", "libVantor_util.so.3"}, traced.stdout)
            for library, path in found.items():
                self.assertEqual(os.path.realpath(os.path.dirname(path)), os.path.realpath(lib_dir),
                                 f"{name} loads {library} from {path}")

    def test_vcfg_merges_and_reads_the_example_configuration(self):
        example = self.scratch.path("usr/share/r9050/vcfg")
        checked = self.execute(self.program("vcfg"), "-e", "vcfg.conf", "-S", cwd=example)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        merged = self.execute(self.program("vcfg"), "-e", "vcfg.conf", "merge", cwd=example)
        self.assertEqual(merged.returncode, 1, merged.stdout + merged.stderr)  # 1: merged files written
        got = self.execute(self.program("vcfg"), "-e", "vcfg.conf", "-s", "network", "get", cwd=example)
        self.assertEqual(got.returncode, 0, got.stderr)
        network = json.loads(got.stdout)["network"]
        self.assertIn("eth0", network)
        again = self.execute(self.program("vcfg"), "-e", "vcfg.conf", "merge", cwd=example)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)  # nothing changed

    def test_vprop_reads_a_property(self):
        example = self.scratch.path("usr/share/r9050/vprop")
        with open(os.path.join(example, "vprop.conf")) as f:
            conf = json.load(f)
        # The example names the device's /etc; point it into the scratch root.
        for sub in conf["vprop"]["subsystem"].values():
            sub["confOut"] = os.path.join(example, "confOut", os.path.basename(sub["confOut"]))
        scratch_conf = os.path.join(self.base, "vprop.conf")
        with open(scratch_conf, "w") as f:
            json.dump(conf, f)
        listed = self.execute(self.program("vprop"), "-e", scratch_conf, "subsystem")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn('"deviceInfo"', listed.stdout)
        got = self.execute(self.program("vprop"), "-e", scratch_conf, "-s", "deviceInfo", "get", "model")
        self.assertEqual(got.returncode, 0, got.stderr)
        self.assertEqual(json.loads(got.stdout), {"model": "R9050"})
        missing = self.execute(self.program("vprop"), "-e", scratch_conf, "-s", "deviceInfo", "get", "noSuchProperty")
        self.assertEqual(missing.returncode, 3, missing.stdout + missing.stderr)

    def test_meterapp_prints_its_version_through_the_command_link(self):
        link = self.program("meterapp")
        self.assertTrue(os.path.islink(link))
        program = os.path.realpath(link)
        self.assertEqual(program, os.path.realpath(self.scratch.path("usr/lib/r9050/meterapp")))
        # The program loads ./resources/ from its own folder.
        self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(program), "resources", "hamburger.png")))
        # The picture generator stays in the source tree.
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(program), "resources", "tools")))
        shown = self.execute(link, "-v", env=dict(os.environ, METER_ROOT=os.path.join(self.base, "device")))
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertRegex(shown.stdout, r"^meterapp v\d+\.\d+\.\d+ built [A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d\n$")
        self.assertFalse(os.path.exists(os.path.join(self.base, "device")), "-v must not touch the device")

    def test_boot_script_is_a_conffile_and_answers_its_commands(self):
        script = self.scratch.path("etc/init.d/meterapp")
        self.assertTrue(os.access(script, os.X_OK))
        conffiles = run(["dpkg-query", "--admindir", self.scratch.admin, "-W", "-f=${Conffiles}", "r9050-meter"])
        self.assertIn("/etc/init.d/meterapp", conffiles.stdout)
        with open(script) as f:
            text = f.read()
        self.assertIn("DAEMON=/usr/lib/r9050/meterapp\n", text)
        # Without the program (package removed, conffile kept) the script
        # does nothing and succeeds.
        if not os.path.exists("/usr/lib/r9050/meterapp"):
            self.assertEqual(run(["sh", script, "start"]).returncode, 0)
        # A copy that names the scratch root's program answers the commands
        # that only look: an unknown one and status (nothing is running).
        copy = os.path.join(self.base, "meterapp.init")
        with open(copy, "w") as f:
            f.write(text.replace("DAEMON=/usr/lib/r9050/meterapp\n",
                                 "DAEMON=" + self.scratch.path("usr/lib/r9050/meterapp") + "\n"))
        usage = run(["sh", copy, "no-such-command"])
        self.assertEqual(usage.returncode, 3)
        self.assertIn("{start|stop|restart|force-reload|status}", usage.stderr)
        if not os.path.exists("/var/run/meterapp.pid"):
            status = run(["sh", copy, "status"])
            self.assertEqual((status.returncode, status.stdout), (3, "meterapp is not running\n"))

    def test_development_package_builds_a_program(self):
        lib_dir = self.scratch.path("usr/lib", self.multiarch)
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(lib_dir, "pkgconfig"))
        flags = run([self.target["pkg_config"], "--cflags", "--libs", "Vantor_cfgmgr"], env=env)
        self.assertEqual(flags.returncode, 0, flags.stderr)
        includes = [os.path.normpath(f[2:]) for f in flags.stdout.split() if f.startswith("-I")]
        self.assertIn(self.scratch.path("usr/include"), includes)
        source = os.path.join(self.base, "copy.cpp")
        with open(source, "w") as f:
            f.write(COPY_PROGRAM)
        binary = os.path.join(self.base, "copy")
        built = run([self.target["cxx"], "-std=c++20", source, "-o", binary, *flags.stdout.split(), "-Wl,-rpath," + lib_dir],
                    env=env, timeout=300)
        self.assertEqual(built.returncode, 0, built.stderr)
        original = os.path.join(self.scratch.path("usr/share/r9050/vprop/confOut"), "deviceInfo.json")
        copy = os.path.join(self.base, "copy.json")
        copied = self.execute(binary, original, copy)
        self.assertEqual(copied.returncode, 0, copied.stdout + copied.stderr)
        with open(original) as a, open(copy) as b:
            self.assertEqual(json.load(a), json.load(b))

    def test_cmake_package_is_found(self):
        project = os.path.join(self.base, "cmake-user")
        os.makedirs(project)
        with open(os.path.join(project, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.25)\nproject(user CXX)\n"
                    "find_package(Vantor_cfgmgr 3 REQUIRED)\n"
                    "get_target_property(inc Vantor::cfgmgr INTERFACE_INCLUDE_DIRECTORIES)\n"
                    "message(STATUS \"cfgmgr includes: ${inc}\")\n")
        configured = run(["cmake", "-S", project, "-B", os.path.join(project, "build"), *self.target["cmake"],
                          "-DCMAKE_PREFIX_PATH=" + self.scratch.path("usr")])
        self.assertEqual(configured.returncode, 0, configured.stdout + configured.stderr)
        self.assertIn("cfgmgr includes: " + self.scratch.path("usr/include"), configured.stdout)

    def test_zz_purge_takes_every_file(self):
        # Runs last: unittest orders the tests by name.
        removed = self.scratch.dpkg("--purge", *reversed(PACKAGES))
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        left = []
        for folder, _, files in os.walk(self.scratch.root):
            if folder.startswith(self.scratch.admin):
                continue
            left += [os.path.join(folder, f) for f in files]
        # vcfg merge wrote merged files beside the example: they are not the
        # package's, so dpkg leaves them (and their folder).
        left = [f for f in left if ".merged.json" not in os.path.basename(f)]
        self.assertEqual(left, [])


COPY_PROGRAM = r"""
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include <cstdio>
// Loads a JSON file through the library and saves it under another name.
int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    Vantor_cfgmgr::LibInit();
    Vantor_cfgmgr::ValueGeneric* value = Vantor_cfgmgr::ValueGeneric::Load(argv[1]);
    if (value == nullptr || !value->IsObject()) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 3;
    }
    const int saved = value->Save(argv[2]);
    return saved == 2 ? 4 : 0;
}
"""


if __name__ == "__main__":
    arguments = sys.argv[1:]
    if len(arguments) == 3 and arguments[0] == "--arch":
        ARCH = arguments[1]
        arguments = arguments[2:]
    if len(arguments) != 1 or not os.path.isdir(arguments[0]) or ARCH not in TARGETS:
        print("usage: install_test.py [--arch armhf] DEBS_DIR", file=sys.stderr)
        sys.exit(2)
    DEBS_DIR = os.path.abspath(arguments[0])
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
