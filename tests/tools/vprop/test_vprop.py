"""End-to-end tests of vprop: the real program on scratch copies of the
example configuration. Every case also checks that the scratch tree (the
configuration, its schema, the confOut files, the property-id files) is left
exactly as it was: vprop never creates, changes or removes a file."""

import json
import os
import pathlib
import shlex
import shutil
import subprocess
import tempfile
from dataclasses import dataclass, field

import pytest

VPROP = os.environ.get("VPROP", "vprop")
EXAMPLE = os.environ.get(
    "VPROP_EXAMPLE",
    os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools", "vprop", "example"))

USAGE = (
    "usage: {prog} <command> [-s subsystem]\n"
    "        [-e environment file] [-v] [-N] [-S] [-f propertyId file]\n"
    "        [-o outputFilename]\n"
    "    where <command> is {subsystem | get | getdefault | set | setdefault\n"
    "                        | batch | commit | cancel | help}\n")

DISPLAY_COMPACT = ('{"brightness":80,"graph":{"enabled":true,"historySeconds":300},'
                   '"match":"VSWR","offsetDb":-0.25,"powerUnit":"dBm"}')

LISTING = (
    '  0: "deviceInfo"\n'
    '     description: "Identity of the meter: model, serial number, firmware"\n'
    '     dirIn:       "/usr/local/etc/vprop/deviceInfo"\n'
    '     confOut:     "{etc}/deviceInfo.json"\n')
LISTING_DISPLAY = (
    '  1: "display"\n'
    '     description: "Screen and measurement display preferences"\n'
    '     dirIn:       "/usr/local/etc/vprop/display"\n'
    '     confOut:     "{etc}/display.json"\n')
LISTING_REMOTE = (
    '  2: "remote"\n'
    '     description: "SCPI remote control over TCP and RS-232"\n'
    '     dirIn:       "/usr/local/etc/vprop/remote"\n'
    '     confOut:     "{etc}/remote.json"\n')

# Property-id files written into the scratch tree (name -> content).
ID_FILES = {
    "ids.json": '"brightness"\n# a comment line\n"graph.enabled"\n\n"match"\n',
    "ids.url": "brightness\ngraph.enabled\n",
    "set.json": '"brightness":90\n"graph.historySeconds": 60\n"match":"RL"\n',
    "set.url": "brightness=+90\nmatch=RL\ngraph.historySeconds=+60\n",
    "set-bad.json": '"brightness":90\n"match" "RL"\n',
    "set-new.url": "extra.level=+1\n",
    "set-badid.url": '"graph.enabled=true\n',
    "empty.ids": "",
}


@dataclass
class Case:
    name: str
    args: list
    out: str = ""
    err: str = ""
    rc: int = 0
    # Configuration text replacing the example's (confOut paths may use {etc}).
    conf: str = None
    # Extra files written into the confOut folder before the run.
    files: dict = field(default_factory=dict)


def no_subsystem(command, *args):
    return Case(f"{command} without -s", [command, *args], err='*** Unrecognized subsystem ""!\n', rc=2)


CASES = [
    # Listing.
    Case("subsystem lists all", ["subsystem"], out=LISTING + LISTING_DISPLAY + LISTING_REMOTE),
    Case("subsystem by argument", ["subsystem", "display"], out=LISTING_DISPLAY),
    Case("subsystem by -s", ["subsystem", "-s", "remote"], out=LISTING_REMOTE),
    Case("subsystem unknown", ["subsystem", "audio"], out='No such subsystem as "audio".\n', rc=3),
    Case("subsystem two names", ["subsystem", "a", "b"], out=USAGE, rc=2),
    Case("subsystem name and -s", ["subsystem", "-s", "display", "remote"], out=USAGE, rc=2),
    Case("subsystem takes no -f", ["subsystem", "-f", "{etc}/ids.json"], out=USAGE, rc=2),

    # Every command but subsystem needs -s.
    no_subsystem("get"), no_subsystem("getdefault"), no_subsystem("setdefault"),
    no_subsystem("set", "a", "1"), no_subsystem("batch"), no_subsystem("cancel"),
    no_subsystem("help"), no_subsystem("commit"),
    Case("get unknown subsystem", ["get", "-s", "audio"], err='*** Unrecognized subsystem "audio"!\n', rc=2),
    Case("-s apiVersion reserved", ["get", "-s", "apiVersion"],
         err="apiVersion keyword reserved: File exists\n", rc=2),

    # get in the three formats.
    Case("get whole subsystem lineJSON", ["get", "-s", "display"], out='{"display":' + DISPLAY_COMPACT + "}\n"),
    Case("get whole subsystem URL", ["get", "-s", "display", "-u"], out="display=\\" + DISPLAY_COMPACT + "\n"),
    Case("get objectJSON", ["get", "-s", "display", "-J", "graph"],
         out='{\n"graph": {\n    "enabled": true,\n    "historySeconds": 300\n}\n}\n'),
    Case("get lineJSON", ["get", "-s", "display", "graph"],
         out='{"graph":{"enabled":true,"historySeconds":300}}\n'),
    Case("get URL non-negative integer", ["get", "-s", "display", "-u", "brightness"], out="brightness=+80\n"),
    Case("get URL negative double", ["get", "-s", "display", "-u", "offsetDb"], out="offsetDb=-0.25\n"),
    Case("get URL string", ["get", "-s", "display", "-u", "match"], out="match=VSWR\n"),
    Case("get URL boolean", ["get", "-s", "display", "-u", "graph.enabled"], out="graph.enabled=true\n"),
    Case("get URL array", ["get", "-s", "remote", "-u", "scpi.allowedHosts"],
         out='scpi.allowedHosts=\\["192.168.1.0/24","10.0.0.5"]\n'),
    Case("get URL no name", ["get", "-s", "remote", "-u", "-n", "scpi.port"], out="+5025\n"),
    Case("get lineJSON no name", ["get", "-s", "remote", "-n", "scpi.port"], out="{5025}\n"),
    Case("get quoted component", ["get", "-s", "deviceInfo", "-u", '"firmware".version'],
         out="firmware.version=3.0.1\n"),
    Case("get name with a dot URL", ["get", "-s", "display", "-u", "a\\.b.c"],
         files={"display.json": '{"display":{"a.b":{"c":" x"}}}'}, out='"a.b".c=\\" x"\n'),
    Case("get name with a dot lineJSON", ["get", "-s", "display", '"a.b".c'],
         files={"display.json": '{"display":{"a.b":{"c":" x"}}}'}, out='{"\\"a.b\\".c":" x"}\n'),
    Case("get unclosed quote", ["get", "-s", "display", '"graph'],
         err="*** Missing end-quote in subtree ID\n", rc=2),
    Case("get quoted component without separator", ["get", "-s", "display", '"graph"x'],
         err="*** Missing '.' separator in subtree ID\n", rc=2),
    Case("set -f line with a malformed id", ["set", "-s", "display", "-u", "-f", "{etc}/set-badid.url"],
         err="*** Missing end-quote in subtree ID\n", rc=2),
    Case("get missing property", ["get", "-s", "display", "nothere"],
         err='*** No such property as "nothere"\n', rc=3),
    Case("get missing property among others", ["get", "-s", "display", "-f", "{etc}/ids.json", "nothere"],
         err='*** No such property as "nothere"\n', rc=3),
    Case("get missing property -N", ["get", "-s", "display", "-N", "nothere"], out='{"nothere":null}\n'),
    Case("get missing property -N URL", ["get", "-s", "display", "-N", "-u", "a.b"], out="a.b=null\n"),
    Case("get through a non-object", ["get", "-s", "display", "brightness.x"],
         err='*** Property "brightness" is not a JSON Object\n', rc=2),
    Case("get with -f lineJSON", ["get", "-s", "display", "-f", "{etc}/ids.json"],
         out='{"brightness":80,"graph.enabled":true}\n'),
    Case("get id and -f", ["get", "-s", "display", "-f", "{etc}/ids.json", "match"],
         out='{"match":"VSWR","brightness":80,"graph.enabled":true}\n'),
    Case("get with -f URL", ["get", "-s", "display", "-u", "-f", "{etc}/ids.url"],
         out="brightness=+80\ngraph.enabled=true\n"),
    Case("get with -f objectJSON", ["get", "-s", "display", "-J", "-f", "{etc}/ids.json"],
         out='{\n"brightness": 80,\n"graph.enabled": true\n}\n'),
    Case("get with an empty -f", ["get", "-s", "display", "-f", "{etc}/empty.ids"], out="{}\n"),
    Case("get with a missing -f", ["get", "-s", "display", "-f", "{etc}/none.ids"],
         err="propertyIdFile open: No such file or directory\n", rc=3),
    Case("get -f line not a JSON string", ["get", "-s", "display", "-f", "{etc}/ids.url"],
         err='*** Parse Error "Invalid argument" for "brightness"\n', rc=2),
    Case("get two ids", ["get", "-s", "display", "a", "b"], out=USAGE, rc=2),

    # set works in memory only.
    Case("set valid value", ["set", "-s", "display", "brightness", "90"]),
    Case("set valid URL value", ["set", "-s", "display", "-u", "brightness", "+90"]),
    Case("set object value", ["set", "-s", "display", "graph", '{"enabled":false}']),
    Case("set wrong type", ["set", "-s", "display", "brightness", '"high"'],
         err='*** Parse Error "Invalid value." for "brightness":"high"\n', rc=2),
    Case("set URL text is a string", ["set", "-s", "display", "-u", "brightness", "90"],
         err='*** Parse Error "Invalid value." for "brightness"=90\n', rc=2),
    # URL text without "+", "-" or a backslash is a string, so a boolean
    # cannot be given in URL format.
    Case("set URL boolean text is a string", ["set", "-s", "display", "-u", "graph.enabled", "false"],
         err='*** Parse Error "Invalid value." for "graph.enabled"=false\n', rc=2),
    Case("set malformed JSON", ["set", "-s", "display", "brightness", "{"],
         err='*** JSON Parse Error "Missing a name for object member." at offset 1 of "{"\n', rc=2),
    Case("set missing property", ["set", "-s", "display", "contrast", "5"],
         err='*** No such property as "contrast"\n', rc=3),
    Case("set missing property -N", ["set", "-s", "display", "-N", "contrast.level.min", "5"]),
    Case("set deleted true -N", ["set", "-s", "display", "-N", "graph.deleted", "true"]),
    Case("set deleted false", ["set", "-s", "display", "-N", "graph.deleted", "false"],
         err='*** Improper use of "deleted" : true\n', rc=2),
    Case("set deleted under a missing object", ["set", "-s", "display", "-N", "nothere.deleted", "true"],
         err='*** Improper use of "deleted" : true\n', rc=2),
    Case("set existing deleted", ["set", "-s", "display", "graph.deleted", "true"],
         conf=None, files={"display.json": '{"display":{"graph":{"deleted":true}}}'},
         err='*** Illegal configuration: "deleted" cannot occur within a merged configuration file, '
             'but did within "graph.deleted"\n', rc=2),
    Case("set -f lineJSON", ["set", "-s", "display", "-f", "{etc}/set.json"]),
    Case("set -f URL", ["set", "-s", "display", "-u", "-f", "{etc}/set.url"]),
    Case("set -f new property without -N", ["set", "-s", "display", "-u", "-f", "{etc}/set-new.url"],
         err='*** No such property as "extra"\n', rc=3),
    Case("set -f line without separator", ["set", "-s", "display", "-f", "{etc}/set-bad.json"],
         err='*** Parse Error "missing value" for ""match" "RL""\n', rc=2),
    Case("set without value", ["set", "-s", "display", "brightness"], out=USAGE, rc=2),
    Case("set without anything", ["set", "-s", "display"], out=USAGE, rc=2),

    # getdefault and setdefault are get.
    Case("getdefault", ["getdefault", "-s", "display", "-u", "graph"],
         out='graph=\\{"enabled":true,"historySeconds":300}\n'),
    Case("setdefault", ["setdefault", "-s", "display", "-f", "{etc}/ids.json"],
         out='{"brightness":80,"graph.enabled":true}\n'),

    # Removal commands: in memory, silent.
    Case("batch", ["batch", "-s", "display", '"graph"']),
    Case("batch id must be a JSON string", ["batch", "-s", "display", "graph"],
         err='*** Parse Error "Invalid argument" for "graph"\n', rc=2),
    Case("batch URL", ["batch", "-s", "display", "-u", "graph.enabled"]),
    Case("cancel missing", ["cancel", "-s", "display", '"nothere"'],
         err='*** No such property as "nothere"\n', rc=3),
    Case("cancel missing -N", ["cancel", "-s", "display", "-N", '"nothere"']),
    Case("help removes", ["help", "-s", "remote", '"scpi.port"']),
    Case("commit by argument", ["commit", "display"]),
    Case("commit by -s", ["commit", "-s", "display"]),
    Case("commit unknown", ["commit", "audio"], err='*** Unrecognized subsystem "audio"!\n', rc=2),
    Case("batch takes no -f", ["batch", "-s", "display", "-f", "{etc}/ids.json"], out=USAGE, rc=2),
    Case("cancel takes no -f", ["cancel", "-s", "display", "-f", "{etc}/ids.json"], out=USAGE, rc=2),

    # Command line.
    Case("-d refused", ["get", "-d", "deviceSpecific", "-s", "display"], out=USAGE, rc=2),
    Case("unknown command", ["show", "-s", "display"], out=USAGE, rc=2),
    Case("unknown option", ["get", "-x"], out=USAGE, err="{prog}: invalid option -- 'x'\n", rc=2),
    Case("usage", ["-?"], out=USAGE),
    Case("no command", [], out=USAGE),

    # The subsystem object itself.
    Case("confOut missing", ["get", "-s", "display"], files={"display.json": None},
         err='*** No such property as "display"\n', rc=3),
    Case("confOut missing -N", ["get", "-s", "display", "-N"], files={"display.json": None}, rc=3),
    Case("confOut empty", ["get", "-s", "display", "-N"], files={"display.json": ""}, rc=3),
    Case("confOut not an object", ["get", "-s", "display"], files={"display.json": "[1]"},
         err='*** Top level of subsystem "display" confOut file "{etc}/display.json" is not a JSON Object!\n', rc=2),
    Case("confOut malformed", ["get", "-s", "display"], files={"display.json": '{"display":'},
         err='*** JSON Parse Error "Invalid value." at offset 11 of "{etc}/display.json"\n'
             "confOut load: Bad message\n", rc=2),
    Case("subsystem property not an object", ["get", "-s", "display"], files={"display.json": '{"display":1}'},
         err='*** Property "display" is not a JSON Object\n', rc=2),

    # The configuration file.
    Case("configuration missing", ["get", "-s", "display", "-e", "{etc}/none.conf"],
         err="env open: No such file or directory\n", rc=3),
    Case("boolean in the configuration", ["subsystem"],
         conf='{"vprop":{"subsystem":{"0":{"name":"a","enabled":true}}}}',
         err='*** JSON Parse Error "Parsing was terminated." at offset 53 of "{conf}"\n', rc=2),
    Case("boolean at the top of the configuration", ["get", "-s", "a"],
         conf='{"vprop":{"debug":false,"subsystem":{"0":{"name":"a"}}}}',
         err='*** JSON Parse Error "Parsing was terminated." at offset 23 of "{conf}"\n', rc=2),
    Case("top key not vprop", ["subsystem"], conf='{"vcfg":{}}',
         err='*** Top JSON Object must be "vprop", but was "vcfg".\n'
             '*** JSON Parse Error "Parsing was terminated." at offset 9 of "{conf}"\n', rc=2),
    Case("index out of range", ["subsystem"], conf='{"vprop":{"subsystem":{"1000":{}}}}',
         err='*** Invalid object index "1000" in "vprop" configuration file.\n'
             '*** JSON Parse Error "Parsing was terminated." at offset 31 of "{conf}"\n', rc=2),
    Case("duplicate index keeps the first", ["subsystem"],
         conf='{"vprop":{"subsystem":{"5":{"name":"a"},"5":{"name":"b"}}}}',
         out='  5: "a"\n     description: ""\n     dirIn:       ""\n     confOut:     ""\n'),

    # Schema check.
    Case("schema valid", ["-S"], out='{prog} environment file "{conf}" conforms to schema\n'),
    Case("schema valid with a command", ["get", "-S", "-s", "display"],
         out='{prog} environment file "{conf}" conforms to schema\n'),
    Case("schema violated", ["-S"],
         conf='{"vprop":{"subsystem":{"0":{"name":"a","confOut":"/x","color":"red"}}}}',
         err='*** JSON Parse Error "Parsing was terminated." at offset 61 of "{conf}"\n'
             "Invalid environment schema pointer: /definitions/subsystem\n"
             "Invalid environment schema keyword: additionalProperties\n"
             "Invalid environment pointer: /vprop/subsystem/0/color\n", rc=2),
    Case("schema missing", ["-S", "-e", "{etc}/other.conf"], files={"other.conf": "{}"},
         err="env schema open: No such file or directory\n", rc=3),
]


def snapshot(root):
    """Every entry under root with its kind, mode, size, times and content."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            content = None
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    content = f.read()
            entries[os.path.relpath(path, root)] = (st.st_mode, st.st_size, st.st_mtime_ns, st.st_ctime_ns, content)
    return entries


@pytest.fixture
def scratch():
    """A temporary folder removed with everything in it after the test."""
    with tempfile.TemporaryDirectory(prefix="vprop-test-") as folder:
        yield pathlib.Path(folder)


@pytest.fixture
def tree(scratch):
    """A scratch device tree: etc/vprop.conf with its schema, the example
    confOut files under etc/vprop/, and the property-id files."""
    root = scratch / "root"
    etc = root / "etc"
    confdir = etc / "vprop"
    shutil.copytree(os.path.join(EXAMPLE, "confOut"), confdir)
    text = open(os.path.join(EXAMPLE, "vprop.conf")).read().replace('"/etc/vprop/', f'"{confdir}/')
    (etc / "vprop.conf").write_text(text)
    shutil.copy(os.path.join(EXAMPLE, "vprop.conf.schema"), etc / "vprop.conf.schema")
    for name, content in ID_FILES.items():
        (confdir / name).write_text(content)
    return root


def fill(text, values):
    """Replaces the placeholders {prog}, {etc} and {conf} (and no other braces)."""
    for key, value in values.items():
        text = text.replace("{" + key + "}", value)
    return text


def run(args, cwd=None):
    return subprocess.run([VPROP, *args], capture_output=True, text=True, timeout=30, cwd=cwd)


@pytest.mark.parametrize("case", CASES, ids=lambda c: c.name)
def test_command(tree, case):
    confdir = tree / "etc" / "vprop"
    conf = tree / "etc" / "vprop.conf"
    values = {"prog": VPROP, "etc": str(confdir), "conf": str(conf)}
    if case.conf is not None:
        conf.write_text(fill(case.conf, values))
    for name, content in case.files.items():
        if content is None:
            (confdir / name).unlink()
        else:
            (confdir / name).write_text(content)
    args = [fill(a, values) for a in case.args]
    if "-e" not in args:
        args += ["-e", str(conf)]
    before = snapshot(tree)
    # Run inside the tree, so a file written relative to the working
    # directory would show up in the comparison too.
    result = run(args, cwd=tree)
    assert (result.returncode, result.stdout, result.stderr) == (
        case.rc, fill(case.out, values), fill(case.err, values))
    assert snapshot(tree) == before, "vprop changed the directory tree"


def test_get_variants_print_the_same(tree):
    conf = str(tree / "etc" / "vprop.conf")
    ids = str(tree / "etc" / "vprop" / "ids.json")
    for extra in (["-u", "graph"], ["-J"], ["-n", "brightness"], ["-f", ids, "match"], ["-N", "-u", "a.b"]):
        outputs = {cmd: run([cmd, "-s", "display", "-e", conf, *extra]) for cmd in ("get", "getdefault", "setdefault")}
        texts = {(r.returncode, r.stdout, r.stderr) for r in outputs.values()}
        assert len(texts) == 1, f"{extra}: {outputs}"
        assert outputs["get"].returncode == 0 and outputs["get"].stdout


def test_set_leaves_confout_byte_for_byte(tree):
    confout = tree / "etc" / "vprop" / "display.json"
    before_bytes = confout.read_bytes()
    before_stat = os.stat(confout)
    result = run(["set", "-s", "display", "-e", str(tree / "etc" / "vprop.conf"), "-N", "brightness", "95"])
    assert result.returncode == 0, result.stderr
    assert confout.read_bytes() == before_bytes
    after_stat = os.stat(confout)
    assert (after_stat.st_mtime_ns, after_stat.st_ino) == (before_stat.st_mtime_ns, before_stat.st_ino)
    assert not (tree / "etc" / "vprop" / "display.json.new").exists()
    assert not (tree / "etc" / "vprop" / "display.json.bak").exists()


def test_every_command_in_a_read_only_tree(tree):
    """Runs every command with the scratch tree made read-only: a command that
    tried to write would fail there (when not root) and the tree must stay
    as it was in any case."""
    conf = str(tree / "etc" / "vprop.conf")
    ids = str(tree / "etc" / "vprop" / "set.json")
    commands = [["subsystem"], ["get", "-s", "display"], ["getdefault", "-s", "display"],
                ["setdefault", "-s", "display"], ["set", "-s", "display", "-f", ids],
                ["set", "-s", "display", "-N", "a.b", "1"], ["batch", "-s", "display", '"graph"'],
                ["commit", "display"], ["cancel", "-s", "display", '"match"'], ["help", "-s", "remote", '"scpi"'],
                ["-S"]]
    folders = [p for p, _, _ in os.walk(tree)]
    before = snapshot(tree)
    for folder in folders:
        os.chmod(folder, 0o555)
    try:
        for command in commands:
            result = run([*command, "-e", conf], cwd=tree)
            assert result.returncode == 0, f"{command}: {result.stderr}"
    finally:
        for folder in folders:
            os.chmod(folder, 0o755)
    after = snapshot(tree)
    # chmod changes the folders' ctime and mode bits back and forth; compare
    # the files and the folders' content only.
    strip = lambda snap: {k: (v[1], v[2], v[4]) if v[4] is not None else None for k, v in snap.items()}
    assert strip(after) == strip(before)


def test_output_file_holds_output_and_errors(tree, scratch):
    out = scratch / "vprop.out"
    conf = str(tree / "etc" / "vprop.conf")
    result = run(["get", "-s", "display", "-N", "-u", "-o", str(out), "-e", conf, "brightness"])
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")
    assert out.read_text() == "brightness=+80\n"
    result = run(["get", "-s", "display", "-o", str(out), "-e", conf, "nothere"])
    assert (result.returncode, result.stdout, result.stderr) == (3, "", "")
    assert out.read_text() == '*** No such property as "nothere"\n'


def in_private_etc(etc, command):
    """Runs the shell command with etc mounted over /etc in a private mount
    namespace, so the default paths can be used without touching the host."""
    script = f"mount --make-rprivate / && mount --bind {shlex.quote(str(etc))} /etc && {command}"
    return subprocess.run(["unshare", "--mount", "sh", "-c", script], capture_output=True, text=True, timeout=30)


def test_default_configuration_and_schema_paths(scratch):
    probe = subprocess.run(["unshare", "--mount", "true"], capture_output=True)
    if os.geteuid() != 0 or probe.returncode != 0:
        pytest.skip("needs root and a private mount namespace (unshare --mount)")
    etc = scratch / "etc"
    shutil.copytree(os.path.join(EXAMPLE, "confOut"), etc / "vprop")
    shutil.copy(os.path.join(EXAMPLE, "vprop.conf"), etc / "vprop.conf")
    shutil.copy(os.path.join(EXAMPLE, "vprop.conf.schema"), etc / "vprop.conf.schema")
    vprop = shlex.quote(VPROP)

    result = in_private_etc(etc, f"{vprop} -S")
    assert (result.returncode, result.stdout, result.stderr) == (
        0, f'{VPROP} environment file "/etc/vprop.conf" conforms to schema\n', "")
    result = in_private_etc(etc, f"{vprop} get -s display -u brightness")
    assert (result.returncode, result.stdout, result.stderr) == (0, "brightness=+80\n", "")

    # Without -e the schema is looked for at /etc/vprop.conf.schema only.
    (etc / "vprop.conf.schema").unlink()
    result = in_private_etc(etc, f"{vprop} -S")
    assert (result.returncode, result.stdout, result.stderr) == (
        3, "", "env schema open: No such file or directory\n")
