"""Scratch account files and the runs of realmgen over them (see sandbox.py)."""
import json
import os
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
STANDINS = os.path.join(HERE, "standins")
PYTHON = "/usr/bin/python3"


def namespace_problem():
    """Why the tests cannot run here, or None."""
    if os.geteuid() != 0:
        return "needs root (account programs run inside a private mount namespace)"
    if shutil.which("unshare") is None:
        return "unshare is not installed"
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                           capture_output=True, text=True)
    if probe.returncode != 0:
        return "cannot create a private mount namespace: " + probe.stderr.strip()
    for var in ("REALMGEN", "VSAVEOUT"):
        if not os.environ.get(var):
            return var + " is not set (run through ctest)"
    return None


def sh(*args):
    subprocess.run(args, check=True)


class Scratch:
    """One scratch system: etc, home, sbin, localbin and varlog folders."""

    def __init__(self, busybox=False, real_vcfg=None, record=()):
        self.root = tempfile.mkdtemp(prefix="realmgen-e2e-")
        self.busybox = busybox
        sh("cp", "-a", "/etc", self.path("etc"))
        sh("cp", "-a", "/usr/sbin", self.path("sbin"))
        for d in ("home", "localbin", "varlog"):
            os.mkdir(self.path(d))
        os.makedirs(self.path("etc/lighttpd"), exist_ok=True)
        # Debian keeps passwd in /usr/bin; the device has it in /usr/sbin.
        if not os.path.lexists(self.path("sbin/passwd")):
            os.symlink("/usr/bin/passwd", self.path("sbin/passwd"))
        shutil.copy2(os.environ["VSAVEOUT"], self.path("localbin/vsaveout"))
        shutil.copy2(real_vcfg or os.path.join(STANDINS, "vcfg"), self.path("localbin/vcfg"))
        if busybox:
            os.remove(self.path("sbin/usermod"))
            for tool in ("adduser", "deluser", "addgroup", "delgroup"):
                dest = self.path("sbin/" + tool)
                if os.path.lexists(dest):
                    os.remove(dest)
                shutil.copy2(os.path.join(STANDINS, tool), dest)
            shutil.copy2(os.path.join(STANDINS, "common.sh"), self.path("sbin/standin-common.sh"))
            os.makedirs(self.path("usrbin"), exist_ok=True)
            shutil.copy2(os.path.join(STANDINS, "mkpasswd"), self.path("usrbin/mkpasswd"))
        for tool in record:
            self.record_calls(tool)

    def record_calls(self, tool):
        """Replaces /usr/bin/TOOL by a wrapper that logs its arguments to
        localbin/calls.log and then runs the real program."""
        os.makedirs(self.path("usrbin"), exist_ok=True)
        real = self.path("real-" + tool)
        if os.path.exists(self.path("usrbin/" + tool)):
            shutil.copy2(self.path("usrbin/" + tool), real)
        else:
            shutil.copy2("/usr/bin/" + tool, real)
        with open(self.path("usrbin/" + tool), "w") as f:
            f.write("#!/bin/sh\n"
                    "{ printf '%s' \"$0\"; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; }"
                    " >> /usr/local/bin/calls.log\n"
                    f"exec {real} \"$@\"\n")
        os.chmod(self.path("usrbin/" + tool), 0o755)

    def path(self, rel):
        return os.path.join(self.root, rel)

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def run(self, config, *options):
        """Runs realmgen on config (a dict or raw text) inside the namespace."""
        cfg = self.path("config.json")
        with open(cfg, "w") as f:
            f.write(config if isinstance(config, str) else json.dumps(config))
        return self.run_command([os.environ["REALMGEN"], cfg, *options])

    def run_command(self, command):
        return subprocess.run(
            ["unshare", "--mount", "--propagation", "private", PYTHON,
             os.path.join(HERE, "sandbox.py"), self.root, os.readlink("/proc/self/ns/mnt"), "--",
             *command],
            capture_output=True, text=True, timeout=300)

    def lines(self, rel):
        p = self.path(rel)
        if not os.path.exists(p):
            return []
        with open(p) as f:
            return f.read().splitlines()

    def table(self, rel):
        """name -> fields of a colon-separated file."""
        return {l.split(":")[0]: l.split(":") for l in self.lines(rel) if l}

    def passwd(self):
        return self.table("etc/passwd")

    def group(self):
        return self.table("etc/group")

    def shadow(self):
        return self.table("etc/shadow")

    def members(self, group):
        g = self.group().get(group)
        return [m for m in g[3].split(",") if m] if g else []

    def home(self, rel):
        """A path under the scratch /home given as its path on the device."""
        assert rel.startswith("/home/")
        return self.path("home/" + rel[len("/home/"):])

    def vcfg_log(self):
        return self.lines("localbin/vcfg.log")
