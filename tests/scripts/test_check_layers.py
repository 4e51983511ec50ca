"""The layer check fails on each kind of violation and passes on a clean tree."""
import os
import subprocess
from pathlib import Path

import pytest

CHECK = os.environ.get("R9050_CHECK_LAYERS", str(Path(__file__).resolve().parents[2] / "scripts/check-layers"))

CLEAN = {
    "meterapp/platform/include/device_paths.h": 'inline constexpr const char* kPort = "/dev/ttyS1";\n',
    "meterapp/platform/src/io.cpp": '#include "device_paths.h"\nint f(int fd) { return ::read(fd, nullptr, 0); }\n',
    "meterapp/core/base/include/log.h": "void log();\n",
    "meterapp/sensors/include/sensor.h": '#include "log.h"\n',
    "meterapp/sensors/src/sensor.cpp": (
        '#include "sensor.h"\n#include "device_paths.h"\n'
        '// a comment may name "/dev/ttyS1" and read() freely\n'
        'void g(Stream& s) { s.read(1); s->write(2); fread(0, 0, 0, 0); }\n'
        'const char* name = "ttyS1 on /dev";\n'),
    "meterapp/settings/include/keypad.h": "",
    "meterapp/display/include/window.h": '#include "sensor.h"\n#include "keypad.h"\n',
    "meterapp/remote/include/scpi.h": "",
    "meterapp/core/app/main.cpp": '#include "window.h"\n#include "scpi.h"\n',
}


def run_on(tmp_path, files):
    for name, text in files.items():
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return subprocess.run(["/usr/bin/python3", CHECK, str(tmp_path)], capture_output=True, text=True)


def test_a_clean_tree_passes(tmp_path):
    result = run_on(tmp_path, CLEAN)
    assert result.returncode == 0, result.stdout


@pytest.mark.parametrize("name, text, expected", [
    ("meterapp/core/base/src/bad.cpp", '#include "sensor.h"\n', 'core/base includes "sensor.h" of a higher layer'),
    ("meterapp/sensors/src/bad.cpp", '#include "keypad.h"\n', 'sensors includes "keypad.h" of a peer layer'),
    ("meterapp/display/src/bad.cpp", '#include "scpi.h"\n', 'display includes "scpi.h" of a peer layer'),
    ("meterapp/display/src/bad.cpp", 'const char* p = "/sys/class/hwmon/";\n', 'device path "/sys/class/hwmon/"'),
    ("meterapp/settings/src/bad.cpp", 'std::string p = "/etc/network/interfaces";\n', 'device path "/etc/network'),
    ("meterapp/sensors/src/bad.cpp", "int f() { return ::open(p, 0); }\n", "system call open()"),
    ("meterapp/remote/src/bad.cpp", "int f(int fd) { return poll(&p, 1, 0); }\n", "system call poll()"),
    ("meterapp/core/app/bad.cpp", "void f(int fd) { ioctl(fd, 1); }\n", "system call ioctl()"),
])
def test_each_violation_is_reported(tmp_path, name, text, expected):
    result = run_on(tmp_path, {**CLEAN, name: text})
    assert result.returncode == 1
    assert expected in result.stdout, result.stdout
    assert name.split("/")[-1] in result.stdout
