"""generate, restart and apply with scripts as generator and services."""
import glob
import os
import signal
import stat
import subprocess

from conftest import VCFG, subsystem_record

GENERATOR = """#!/bin/sh
# Records its arguments and the property file, prints a line, and exits
# with the status named in the file "status" (0 when there is none).
{ for a in "$@"; do echo "arg:$a"; done; for last in "$@"; do :; done; echo "file:$last"; cat "$last"; } >> record
echo "generator saw $#"
exit $(cat status 2>/dev/null || echo 0)
"""

SERVICE = """#!/bin/sh
# Records how it was called; the exit status for a call comes from the file
# "service-<first argument or none>".
echo "service:${1:-none}" >> record
exit $(cat "service-${1:-none}" 2>/dev/null || echo 0)
"""


def script(s, name, text):
    path = s.path(name)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, stat.S_IRWXU)
    return path


def records(s):
    with open(s.path("record")) as f:
        return f.read()


def temp_files():
    return set(glob.glob("/tmp/cfgGen*"))


def setup_generators(s, **per_subsystem):
    gen = script(s, "gen.sh", GENERATOR)
    s.subsystems = [subsystem_record(name, cfgGenExec=gen, **fields) for name, fields in per_subsystem.items()]
    s.write_conf()


def test_generate_hands_properties_in_each_format(merged_scratch):
    s = merged_scratch
    with open(s.path("net.ids"), "w") as f:
        f.write('# what the net generator needs\n"system.hostname"\n"net.eth0"\n')
    setup_generators(s,
                     system=dict(propertyFormat="URL", cfgGenOpts=["-q", "two words"]),
                     net=dict(propertyFormat="objectJSON", propertyIdIn="net.ids"),
                     services=dict(propertyFormat="lineJSON", propertyNoName=True))
    before = temp_files()
    status, out, err = s.run("generate", "-v")
    assert (status, err) == (0, "")
    assert out == ('Generating "system" configuration...\ngenerator saw 3\n'
                   'Generating "net" configuration...\ngenerator saw 1\n'
                   'Generating "services" configuration...\ngenerator saw 1\n')
    text = records(s)
    files = [line[5:] for line in text.splitlines() if line.startswith("file:")]
    assert len(files) == 3 and all(f.startswith("/tmp/cfgGen") and len(f) == len("/tmp/cfgGen") + 6 for f in files)
    for f in files:
        text = text.replace(f, "TEMP")
    assert text == (
        "arg:-q\narg:two words\narg:TEMP\nfile:TEMP\n"
        'system=\\{"hostname":"lab-3","logLevel":3,"motd":" hello","tags":["a","b"]}\n'
        "arg:TEMP\nfile:TEMP\n"
        '{\n"system.hostname": "lab-3",\n"net.eth0": {\n    "mode": "dhcp",\n    "mtu": 1500\n}\n}\n'
        "arg:TEMP\nfile:TEMP\n"
        '{{"hostname":"lab-3","logLevel":3,"motd":" hello","tags":["a","b"]},{"sshd":{"enabled":false}}}\n')
    # The temporary files are gone.
    assert temp_files() - before == set()


def test_generate_status_handling(merged_scratch):
    s = merged_scratch
    setup_generators(s, system={}, net={}, services={})
    with open(s.path("status"), "w") as f:
        f.write("3")
    before = temp_files()
    status, out, err = s.run("generate")
    # Every generator runs; the failure is the command's result.
    assert (status, out) == (3, "generator saw 1\n" * 3)
    assert err == "".join(f'*** Error 0x00000300 generating "{n}" configuration!\n'
                          for n in ("system", "net", "services"))
    assert s.run("generate", "nope") == (3, 'No such subsystem as "nope".\n', "")
    # A property the generator needs is missing: the walk stops, no file is left.
    os.unlink(s.path("status"))
    assert s.run("delete", "-s", "system", "hostname") == (0, "", "")
    with open(s.path("needs"), "w") as f:
        f.write('"system.hostname"\n')
    s.subsystems[1]["propertyIdIn"] = "needs"
    s.write_conf()
    assert s.run("generate", "net") == (3, "", '*** No such property as "system.hostname"\n')
    assert temp_files() - before == set()
    # A generator that does not exist.
    s.subsystems[1]["cfgGenExec"] = s.path("missing-generator")
    s.write_conf()
    assert s.run("generate", "-s", "services") == (0, "generator saw 1\n", "")
    s.subsystems[2]["cfgGenExec"] = s.path("missing-generator")
    s.write_conf()
    assert s.run("generate", "services") == (254, "", f'*** Cannot run "{s.path("missing-generator")}": '
                                                      'No such file or directory\n'
                                                      '*** Error 0x0000fe00 generating "services" configuration!\n')


def test_restart_and_apply(merged_scratch):
    s = merged_scratch
    service = script(s, "service.sh", SERVICE)
    setup_generators(s, system={}, net={"service": service}, services={})
    # "stop" (the plain run) exiting 1 means "not running": start still runs.
    with open(s.path("service-none"), "w") as f:
        f.write("1")
    assert s.run("restart", "-v") == (0, 'Restarting "net" service...\n', "")
    assert records(s) == "service:none\nservice:start\n"
    os.unlink(s.path("record"))
    with open(s.path("service-none"), "w") as f:
        f.write("2")
    assert s.run("restart", "net") == (2, "", "")
    assert records(s) == "service:none\n"
    os.unlink(s.path("record"))
    assert s.run("restart", "-N", "net") == (0, "", "")
    assert records(s) == "service:none\nservice:start\n"
    os.unlink(s.path("record"))
    os.unlink(s.path("service-none"))
    with open(s.path("service-start"), "w") as f:
        f.write("4")
    assert s.run("restart") == (4, "", "")
    os.unlink(s.path("service-start"))
    os.unlink(s.path("record"))
    # apply: generate, then restart; a failing generator stops it before restart.
    assert s.run("apply", "net") == (0, "generator saw 1\n", "")
    assert [l for l in records(s).splitlines() if l.startswith("service:")] == ["service:none", "service:start"]
    os.unlink(s.path("record"))
    with open(s.path("status"), "w") as f:
        f.write("5")
    assert s.run("apply", "net") == (5, "generator saw 1\n", '*** Error 0x00000500 generating "net" configuration!\n')
    assert "service:" not in records(s)


DAEMON_SERVICE = """#!/bin/sh
# A service script that starts a daemon: the daemon keeps the script's
# standard output open after the script has ended.
echo "service:${1:-none}"
if [ "$1" = start ]; then
    sleep 30 &
    echo $! > daemon.pid
fi
"""


def test_restart_returns_when_the_script_ends_though_its_daemon_runs(merged_scratch):
    s = merged_scratch
    service = script(s, "daemon.sh", DAEMON_SERVICE)
    setup_generators(s, system={}, net={"service": service}, services={})
    env = dict(os.environ, VCFG_ENVFILE=s.conf)
    for command in (["restart", "net"], ["apply", "net"], ["restart", "net", "-o", s.path("out.txt")]):
        # Our end of the output is a file, so that only vcfg (not this test
        # reading a pipe to its end) could wait for the daemon.
        with open(s.path("stdout.txt"), "w+") as out:
            # Bounded: a vcfg that waits for the daemon fails here instead of
            # holding the run for 30 s per command.
            p = subprocess.run([VCFG, *command], cwd=s.root, env=env, stdout=out, stderr=subprocess.STDOUT,
                               timeout=20)
            out.seek(0)
            text = out.read()
        if "-o" in command:
            with open(s.path("out.txt")) as f:
                text = f.read()
        with open(s.path("daemon.pid")) as f:
            daemon = int(f.read())
        try:
            # The daemon still runs: vcfg came back without waiting for it.
            os.kill(daemon, 0)
        finally:
            os.kill(daemon, signal.SIGKILL)
        assert p.returncode == 0, (command, text)
        assert text.endswith("service:none\nservice:start\n"), (command, text)
        os.unlink(s.path("daemon.pid"))
