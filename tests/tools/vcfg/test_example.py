"""The README walk-through runs as written on the example configuration."""
import os
import re
import subprocess

from conftest import VCFG

EXAMPLE = os.environ.get("VCFG_EXAMPLE", "")
README = os.path.join(EXAMPLE, "..", "..", "..", "README.md")


def walk_through():
    with open(README) as f:
        text = f.read()
    section = text[text.index("## vcfg, the layered configuration manager"):]
    return re.search(r"```sh\n(.*?)```", section, re.S).group(1)


def test_readme_walk_through(tmp_path):
    script = walk_through()
    script = script.replace("$PWD/build/tools/vcfg/vcfg", VCFG).replace("tools/vcfg/example/.", EXAMPLE + "/.")
    p = subprocess.run(["bash", "-c", script], cwd=str(tmp_path), capture_output=True, text=True, timeout=120,
                       env=dict(os.environ, TMPDIR=str(tmp_path)))
    assert p.returncode == 0 and p.stderr == "", p.stderr
    out = p.stdout
    for expected in [
        'conforms to schema\n',
        'Domain "deviceSpecific" changed.\n1\n',
        "system.hostname=r9050-lab3\n",
        '{"dns":{"servers":["10.0.0.53","10.0.0.54"]}}\n',
        '{\n"eth0": {\n    "address": "10.0.3.17",\n',
        "network.eth0.mode=dhcp\n",
        '{\n    "system": {\n        "hostname": "lab-7"\n    }\n}\n',
        'Property "system.hostname" was changed and is now restored\n',
        "property file content:\nsystem.hostname=r9050\nnetwork.eth0=\\{\"address\":\"10.0.3.17\","
        "\"gateway\":\"10.0.3.1\",",
        'property file content:\n{"system":{"hostname":"r9050","logLevel":3,"timezone":"UTC"}}\n',
    ]:
        assert expected in out
