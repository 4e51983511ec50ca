"""Shared fixtures of the vcfg end-to-end tests: the real binary, run in a
scratch directory holding a configuration file and layer files."""
import json
import os
import subprocess

import pytest

VCFG = os.environ.get("VCFG_BIN", "vcfg")

DOMAINS = ["factory", "siteDefaults", "deviceSpecific"]


def write_json(path, value):
    os.makedirs(os.path.dirname(str(path)) or ".", exist_ok=True)
    with open(path, "w") as f:
        json.dump(value, f, indent=4)


def read_json(path):
    with open(path) as f:
        return json.load(f)


def subsystem_record(name, **fields):
    record = {"name": name, "propertyFormat": "", "propertyNoName": False, "propertyIdIn": "",
              "service": "", "cfgGenExec": "", "cfgGenOpts": []}
    record.update(fields)
    return record


class Scratch:
    """A scratch directory with vcfg.conf (three domains, subsystems
    "system", "net" and "services" unless told otherwise)."""

    def __init__(self, root):
        self.root = root
        self.subsystems = [subsystem_record(n) for n in ("system", "net", "services")]
        self.domains = DOMAINS
        self.write_conf()

    @property
    def conf(self):
        return os.path.join(self.root, "vcfg.conf")

    def write_conf(self):
        domain = {str(i): {"name": n, "dirIn": f"layers/{n}", "confOut": f"{n}.json"}
                  for i, n in enumerate(self.domains)}
        subsystem = {str(i): s for i, s in enumerate(self.subsystems)}
        write_json(self.conf, {"vcfg": {"apiVersion": "1", "domain": domain, "subsystem": subsystem}})
        for n in self.domains:
            os.makedirs(os.path.join(self.root, "layers", n), exist_ok=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def layer(self, domain, subsystem, value):
        write_json(self.path("layers", domain, f"{subsystem}.vcfg"), {subsystem: value})

    def merged(self, domain):
        return read_json(self.path(f"{domain}.json"))

    def run(self, *args, env_file=True, extra_env=None, input_text=None):
        """Runs vcfg; returns (status, stdout, stderr)."""
        env = dict(os.environ)
        env.pop("VCFG_ENVFILE", None)
        if env_file:
            env["VCFG_ENVFILE"] = self.conf
        if extra_env:
            env.update(extra_env)
        p = subprocess.run([VCFG, *args], cwd=self.root, env=env, capture_output=True, text=True,
                           input=input_text, timeout=60)
        return p.returncode, p.stdout, p.stderr


@pytest.fixture
def scratch(tmp_path):
    return Scratch(str(tmp_path))


@pytest.fixture
def merged_scratch(scratch):
    """The scratch directory with a few layers, merged."""
    scratch.layer("factory", "system", {"hostname": "r9050", "logLevel": 3, "motd": " hello", "tags": ["a", "b"]})
    scratch.layer("factory", "net", {"eth0": {"mode": "dhcp", "mtu": 1500}, "dns": {"servers": ["1.1.1.1"]},
                                     "offset": -5, "ratio": 0.5, "enabled": True, "dotted.key": {"c": "inside"}})
    scratch.layer("factory", "services", {"sshd": {"enabled": False}})
    scratch.layer("siteDefaults", "net", {"dns": {"servers": ["10.0.0.53"]}})
    scratch.layer("deviceSpecific", "system", {"hostname": "lab-3"})
    status, _, err = scratch.run("merge")
    assert (status, err) == (1, "")
    return scratch
