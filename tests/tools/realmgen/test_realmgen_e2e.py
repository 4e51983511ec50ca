"""realmgen end to end: the real program against the real account programs,
as root, inside a private mount namespace over scratch account files."""
import hashlib
import json
import os
import shutil
import stat
import subprocess
import warnings

import pytest

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt  # deprecated, still in Debian's Python; verifies SHA-512 crypt hashes

from realm_sandbox import Scratch, namespace_problem

PROBLEM = namespace_problem()
pytestmark = pytest.mark.skipif(PROBLEM is not None, reason=str(PROBLEM))

MODES = [pytest.param(False, id="debian"), pytest.param(True, id="busybox")]

DEFAULT_HASH = crypt.crypt("dflt-pw", "$6$abcdefgh$")
WEB = {"auth": {"backend-htdigest-userfile": "\"/etc/lighttpd/.htdigest\"",
                "backend-htpasswd-userfile": "/etc/lighttpd/.htpasswd"}}


@pytest.fixture(params=MODES)
def box(request):
    s = Scratch(busybox=request.param)
    yield s
    s.cleanup()


@pytest.fixture
def debian_box():
    s = Scratch(busybox=False)
    yield s
    s.cleanup()


def cli_realm(users, groups=None, roles=None):
    return {"service": "cli", "users": users, "groups": groups or {}, "roles": roles or {}}


def config(realms, web=True):
    c = {"accessmgr": {"apiVersion": "1.0", **realms}}
    if web:
        c["websvr"] = WEB
    return c


def verifies(hash_, password):
    return crypt.crypt(password, hash_) == hash_


def owner_mode(path):
    st = os.stat(path)
    return st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)


def well_formed(box):
    for rel, n in (("etc/passwd", 7), ("etc/group", 4), ("etc/shadow", 9)):
        for line in box.lines(rel):
            assert line.count(":") == n - 1, (rel, line)
    st = os.stat(box.path("etc/shadow"))
    assert stat.S_IMODE(st.st_mode) & 0o004 == 0, "shadow became world-readable"


GROUPS = {"devs": {"gidNumber": 2001, "status": "active"},
          "web": {"gidNumber": "2002", "status": "active"},
          "old": {"gidNumber": 2003, "status": "active"}}
ROLES = {"engineer": {"primaryGroup": "devs", "loginShell": "/bin/bash", "homeDirectory": "/home/${USER}",
                      "allowSSH": False, "memberOf": {"web": True}},
         "staff": {"primaryGroup": "devs", "loginShell": "/usr/local/bin/${USER}-shell",
                   "homeDirectory": "/home/staff/${USER}"}}
USERS = {
    "alice": {"primaryGroup": "engineer", "uidNumber": 3001, "comment": "Alice A", "userPassword": "s3cret!",
              "status": "active"},
    "bob": {"primaryGroup": "devs", "uidNumber": "3002", "homeDirectory": "/home/bob", "loginShell": "/bin/sh",
            "allowSSH": True, "status": "locked", "userPasswordHash": {"cli": DEFAULT_HASH}},
    "carol": {"primaryGroup": "devs", "status": "remote"},
    "dave": {"primaryGroup": "nosuch", "uidNumber": 3004, "loginShell": "/bin/sh", "status": "active"},
    "eve": {"primaryGroup": "devs", "uidNumber": "x12", "loginShell": "/bin/sh", "status": "active"},
    "frank": {"primaryGroup": "devs", "uidNumber": "3012a", "loginShell": "/bin/sh", "homeDirectory": "/home/frank",
              "status": "active", "userPasswordHash": {"cli": DEFAULT_HASH}},
    "grace": {"primaryGroup": "staff", "uidNumber": 3013, "status": "active"},
    "ivan": {"primaryGroup": "devs", "uidNumber": 3014, "loginShell": "/bin/sh", "homeDirectory": "/home/ivan",
             "status": "active", "userPasswordHash": {"cli": DEFAULT_HASH}},
}


def first_run(box):
    # grace's role shell names her; it must exist for her account.
    os.link(box.path("localbin/vsaveout"), box.path("localbin/grace-shell"))
    realms = {"cli": cli_realm(USERS, GROUPS, ROLES),
              "ftp": {"service": "ftp", "users": {}}}
    return box.run(config(realms))


def test_cli_realm_accounts(box):
    r = first_run(box)
    assert r.returncode == 2, r.stderr
    pw, sh = box.passwd(), box.shadow()
    expected = [  # name, uid, gid, home, shell
        ("alice", "3001", "2001", "/home/alice", "/bin/bash"),
        ("bob", "3002", "2001", "/home/bob", "/bin/sh"),
        ("frank", "3012", "2001", "/home/frank", "/bin/sh"),
        ("grace", "3013", "2001", "/home/staff/grace", "/usr/local/bin/grace-shell"),
    ]
    for name, uid, gid, home, shell in expected:
        assert [pw[name][i] for i in (2, 3, 5, 6)] == [uid, gid, home, shell], name
        assert owner_mode(box.home(home))[:2] == (int(uid), int(gid)), name
    assert pw["alice"][4].startswith("Alice A")
    for absent in ("carol", "dave", "eve"):
        assert absent not in pw
    assert verifies(sh["alice"][1], "s3cret!")
    assert sh["bob"][1] == "!" + DEFAULT_HASH
    assert sh["frank"][1] == DEFAULT_HASH
    assert box.members("web") == ["alice"]
    assert [box.group()[g][2] for g in ("devs", "web", "old")] == ["2001", "2002", "2003"]
    # SSH refused for alice: a root-owned, closed .ssh; bob's allowed one is not made.
    assert owner_mode(box.home("/home/alice/.ssh")) == (0, 0, 0o2700)
    assert not os.path.exists(box.home("/home/bob/.ssh"))
    assert "*** Error the user \"carol\" is a remote user!\n" in r.stdout
    for message in (
            "***Error the primary group \"nosuch\" for user \"dave\" is neither a valid group nor a valid role!\n",
            "*** Error \"stoi\" invalid uidNumber \"x12\" for user \"eve\"\n",
            "*** Error invalid service \"ftp\" in realm \"ftp\"!\n"):
        assert message in r.stderr
    # The stand-in lists no domains: only vcfg's default domain is cleaned.
    assert box.vcfg_log() == [
        "vcfg [domain]",
        "vcfg [default] [accessmgr.cli.users.alice.userPassword]",
        box.vcfg_log()[2],
        'file: "accessmgr.cli.users.alice.userPasswordIsDefault" : false',
        "vcfg [commit] [accessmgr]",
    ]
    assert box.vcfg_log()[2].startswith("vcfg [set] [-N] [-f] [/tmp/vcfgtmp")
    well_formed(box)


def test_cli_realm_updates(box):
    first_run(box)
    # Someone changed frank's password behind our back: the default returns.
    shadow = box.lines("etc/shadow")
    with open(box.path("etc/shadow"), "w") as f:
        for line in shadow:
            if line.startswith("frank:"):
                fields = line.split(":")
                fields[1] = crypt.crypt("other", "$6$zzzzzzzz$")
                line = ":".join(fields)
            f.write(line + "\n")
    users = {
        "alice": dict(USERS["alice"], comment="Alice B", loginShell="/bin/sh", status="locked",
                      memberOf={"web": False}),
        "bob": dict(USERS["bob"], status="active"),
        "frank": USERS["frank"],
        "ivan": dict(USERS["ivan"], status="deleted"),
    }
    groups = dict(GROUPS, old={"gidNumber": 2003, "status": "deleted"},
                  audio={"gidNumber": 9999, "status": "remote"})
    old_passwd = box.lines("etc/passwd")
    old_group = box.group()
    r = box.run(config({"cli": cli_realm(users, groups, ROLES)}), "-v")
    assert r.returncode == 0, r.stderr
    pw, sh = box.passwd(), box.shadow()
    assert pw["alice"][6] == "/bin/sh"
    assert pw["alice"][4].startswith("Alice B")
    assert sh["alice"][1].startswith("!") and verifies(sh["alice"][1][1:], "s3cret!")
    assert box.members("web") == []
    assert sh["bob"][1] == DEFAULT_HASH
    assert sh["frank"][1] == DEFAULT_HASH
    assert "Password restored to default for cli user \"frank\"\n" in r.stdout
    assert "ivan" not in pw and os.path.isdir(box.home("/home/ivan"))
    assert "old" not in box.group()
    assert "*** The group \"old\" has been deleted.\n" in r.stdout
    assert box.group()["audio"] == old_group["audio"]  # remote groups are left alone
    if box.busybox:
        # Field edits go through the passwd file and leave the previous one as .bak
        # (each edit keeps the one before it).
        assert box.table("etc/passwd.bak")["alice"][4] == "Alice A"
        assert box.table("etc/passwd.bak")["alice"][6] == "/bin/sh"
    for leftover in ("etc/pwd_hash.tmp", "etc/passwd.tmp", "etc/shadow.tmp"):
        assert not os.path.exists(box.path(leftover))
    well_formed(box)


def test_busybox_shell_change_keeps_backup():
    box = Scratch(busybox=True)
    try:
        users = {"zed": {"primaryGroup": "devs", "uidNumber": 3050, "loginShell": "/bin/bash",
                         "homeDirectory": "/home/zed", "comment": "Zed"}}
        groups = {"devs": GROUPS["devs"]}
        assert box.run(config({"cli": cli_realm(users, groups)})).returncode == 0
        before = box.lines("etc/passwd")
        users["zed"]["loginShell"] = "/bin/sh"
        r = box.run(config({"cli": cli_realm(users, groups)}))
        assert r.returncode == 0, r.stderr
        assert box.passwd()["zed"][6] == "/bin/sh"
        assert box.lines("etc/passwd.bak") == before
        assert "usermod" not in open(box.path("localbin/standin.log")).read()
    finally:
        box.cleanup()


def test_user_whose_password_cannot_be_set_ends_without_account(box):
    users = {"pat": {"primaryGroup": "devs", "uidNumber": 3060, "loginShell": "/bin/sh",
                     "homeDirectory": "/home/pat", "userPassword": "two\nlines"}}
    r = box.run(config({"cli": cli_realm(users, {"devs": GROUPS["devs"]})}))
    assert "*** Error setting new user password for user \"pat\"!\n" in r.stderr
    assert "pat" not in box.passwd() and "pat" not in box.shadow()
    assert not os.path.exists(box.home("/home/pat"))
    well_formed(box)


def digest(user, realm, password):
    return hashlib.md5(f"{user}:{realm}:{password}".encode()).hexdigest()


def htpasswd_ok(box, user, password):
    return subprocess.run(["htpasswd", "-vb", box.path("etc/lighttpd/.htpasswd"), user, password],
                          capture_output=True).returncode == 0


def web_config():
    walt_ht = subprocess.run(["htpasswd", "-nbm", "walt", "dflt"], capture_output=True, text=True,
                             check=True).stdout.splitlines()[0].split(":", 1)[1]
    cli = cli_realm({"alice": dict(USERS["alice"], memberOf={"webrealm": True})},
                    {"devs": GROUPS["devs"], "webrealm": {"gidNumber": 2010, "status": "active"}},
                    {"engineer": dict(ROLES["engineer"], memberOf={})})
    web = {"service": "websvr", "users": {
        "wanda": {"status": "active", "userPassword": "pw1"},
        "walt": {"status": "locked", "userPasswordHash": {"webrealm": digest("walt", "webrealm", "dflt"),
                                                          "htpasswd": walt_ht}},
        "xena": {"status": "deleted"},
        "alice": {"status": "active", "userPassword": "nope"},
    }}
    return config({"cli": cli, "webrealm": web})


def test_web_realms(debian_box):
    box = debian_box
    with open(box.path("etc/lighttpd/.htdigest"), "w") as f:
        f.write("old:webrealm:abc\nxena:webrealm:def\n")
    with open(box.path("etc/lighttpd/.htpasswd"), "w") as f:
        f.write("old:$apr1$x$y\nxena:$apr1$x$z\n")
    r = box.run(web_config())
    assert r.returncode == 0, r.stderr
    d = {l.split(":")[0]: l for l in box.lines("etc/lighttpd/.htdigest")}
    assert d == {"wanda": "wanda:webrealm:" + digest("wanda", "webrealm", "pw1"),
                 "walt": "walt:webrealm:!" + digest("walt", "webrealm", "dflt"),
                 "alice": "alice:webrealm:" + digest("alice", "webrealm", "s3cret!")}
    ht = {l.split(":")[0]: l.split(":", 1)[1] for l in box.lines("etc/lighttpd/.htpasswd")}
    assert sorted(ht) == ["alice", "walt", "wanda"]
    assert htpasswd_ok(box, "wanda", "pw1") and htpasswd_ok(box, "alice", "s3cret!")
    assert ht["walt"].rsplit("$", 1)[1].startswith("!")
    assert not htpasswd_ok(box, "walt", "dflt")
    assert "*** Error the user \"alice\" in Web realm \"webrealm\" is already defined as a cli user!\n" in r.stderr
    for f in ("etc/lighttpd/.htdigest", "etc/lighttpd/.htpasswd"):
        assert owner_mode(box.path(f))[2] == 0o644
    assert any("accessmgr.webrealm.users.wanda.userPassword" in l for l in box.vcfg_log())
    # A second run changes nothing for the already locked walt.
    before = box.lines("etc/lighttpd/.htdigest")
    r = box.run(web_config())
    assert r.returncode == 0, r.stderr
    assert [l for l in box.lines("etc/lighttpd/.htdigest") if l.startswith("walt:")] == \
        [l for l in before if l.startswith("walt:")]


NASTY = [
    'say "hi"',
    '"; system("touch /home/canary"); "',
    'x"} BEGIN { system("touch /home/canary") } {"',
    "back\\slash \\n",
    "$(touch /home/canary)",
    "`touch /home/canary`",
    "it's; touch /home/canary",
]


def test_injection_corpus(box):
    groups = {"devs": GROUPS["devs"]}
    users = {f"inj{i}": {"primaryGroup": "devs", "uidNumber": 3100 + i, "loginShell": "/bin/sh",
                         "homeDirectory": f"/home/inj{i}", "comment": "plain"} for i in range(len(NASTY))}
    assert box.run(config({"cli": cli_realm(users, groups)})).returncode == 0
    for i, text in enumerate(NASTY):
        users[f"inj{i}"]["comment"] = text
        users[f"inj{i}"]["userPassword"] = text
    bad_names = ['q"uote', "b`touch /home/canary`", "$(touch /home/canary)", "-rf", "a:b", "new\nline"]
    for j, name in enumerate(bad_names):
        users[name] = {"primaryGroup": "devs", "uidNumber": 3200 + j, "loginShell": "/bin/sh",
                       "comment": ["c:olon", "ok", "ok", "line\nbreak"][min(j, 3)]}
    r = box.run(config({"cli": cli_realm(users, groups)}))
    assert not os.path.exists(box.home("/home/canary")), r.stderr
    pw, sh = box.passwd(), box.shadow()
    for i, text in enumerate(NASTY):
        name = f"inj{i}"
        assert verifies(sh[name][1], text), name
        if box.busybox:
            assert pw[name][4] == text, name
        else:
            assert pw[name][4] == text, name
    for name in bad_names:
        assert name.split("\n")[0] not in pw
    assert "*** Error the user name \"a:b\" contains \":\"!\n" in r.stderr
    assert "*** Error the comment field \"c:olon\" requested for user \"q\"uote\" contains \":\"!\n" in r.stderr
    well_formed(box)


def test_web_user_text_is_never_program_text():
    box = Scratch(busybox=False, record=("mkpasswd", "htpasswd", "awk"))
    try:
        secret = "$(touch /home/canary)`touch /home/canary`'\""
        users = {"ann": {"primaryGroup": "devs", "uidNumber": 3080, "loginShell": "/bin/sh", "userPassword": secret}}
        web = {"service": "websvr", "users": {
            'we"b': {"status": "active", "userPassword": secret},
            "co:lon": {"status": "active", "userPassword": "x"},
            "ok": {"status": "active", "userPassword": "first"}}}
        assert box.run(config({"cli": cli_realm(users, {"devs": GROUPS["devs"]}), "web": web})).returncode == 0
        web["users"]["ok"]["userPassword"] = 'second"} {system("touch /home/canary")'
        r = box.run(config({"cli": cli_realm(users, {"devs": GROUPS["devs"]}), "web": web}))
        assert r.returncode == 0, r.stderr
        assert not os.path.exists(box.home("/home/canary"))
        assert verifies(box.shadow()["ann"][1], secret)
        d = {l.split(":")[0]: l for l in box.lines("etc/lighttpd/.htdigest")}
        assert d['we"b'] == 'we"b:web:' + digest('we"b', "web", secret)
        assert d["ok"] == "ok:web:" + digest("ok", "web", web["users"]["ok"]["userPassword"])
        assert "co:lon" not in d and "co" not in d
        assert htpasswd_ok(box, 'we"b', secret)
        # The digest of an existing entry is replaced through awk; no secret
        # ever appears on a command line.
        calls = box.lines("localbin/calls.log")
        assert any(c.startswith("/usr/bin/awk") for c in calls)
        assert any(c.startswith("/usr/bin/mkpasswd") for c in calls)
        assert any(c.startswith("/usr/bin/htpasswd") for c in calls)
        for c in calls:
            for s in (secret, "first", "second", digest("ok", "web", "first")):
                assert s not in c, c
    finally:
        box.cleanup()


def test_command_line_and_malformed_input(debian_box):
    box = debian_box
    cases = [  # options, config text, exit status, message on the error stream
        ([], None, 2, ""),
        (["-x"], "{}", 2, ""),
        (["-?"], None, 0, ""),
        ([], "{\"accessmgr\": {", 2, "loading Access Manager configuration from"),
        ([], "[1]", 2, "*** Error Top level of subsystem \"accessmgr\" config file is not a JSON Object!\n"),
        ([], "{\"accessmgr\": 5}", 2, "*** Error Subsystem \"accessmgr\" main property is not a JSON Object!\n"),
        ([], "{\"accessmgr\": {\"apiVersion\": 3}}", 2, "updating Access Manager global properties"),
        ([], "{\"accessmgr\": {\"r\": {\"service\": \"cli\", \"colour\": 1}}}", 2,
         "*** Error \"colour\" is an invalid realm property for realm \"r\"!\n"),
        ([], "{\"accessmgr\": {\"r\": {\"service\": 7}}}", 2, "*** Error invalid service property in realm \"r\"!\n"),
        ([], "{\"accessmgr\": {}}", 0, "*** Web server configuration not found!\n"),
        ([], "{\"accessmgr\": {}, \"websvr\": {}}", 0, "*** Web auth configuration not found\n"),
    ]
    before = box.lines("etc/passwd")
    for options, text, status, message in cases:
        if text is None:
            r = box.run_command([os.environ["REALMGEN"], *options])
        else:
            r = box.run(text, *options)
        assert r.returncode == status, (options, text, r.stderr)
        assert message in r.stderr, (options, text, r.stderr)
        if text is None or options:
            assert "usage: " in r.stdout
    assert box.lines("etc/passwd") == before


def test_output_file_and_missing_save_utility(debian_box):
    box = debian_box
    out = box.path("out.txt")
    users = {"zoe": {"primaryGroup": "devs", "uidNumber": 3070, "loginShell": "/bin/sh", "userPassword": "pw"}}
    os.remove(box.path("localbin/vsaveout"))
    r = box.run(config({"cli": cli_realm(users, {"devs": GROUPS["devs"]})}), "-o", out, "-v")
    assert r.returncode == 254
    assert "Cannot find the vsaveout utility!\n" in r.stderr
    text = open(out).read()
    assert "Realm count = 1\n" in text and "    cli (cli)\n" in text
    assert "s\"pw\"" not in text  # listings never show clear-text passwords
    # With the save utility back but no vcfg, the accounts are made and the
    # run ends when the applied password cannot be removed from the configuration.
    shutil.copy2(os.environ["VSAVEOUT"], box.path("localbin/vsaveout"))
    os.remove(box.path("localbin/vcfg"))
    r = box.run(config({"cli": cli_realm(users, {"devs": GROUPS["devs"]})}))
    assert r.returncode == 254
    assert r.stderr.endswith("Cannot find the vcfg utility!\n")
    assert verifies(box.shadow()["zoe"][1], "pw")


@pytest.mark.skipif(not os.environ.get("VCFG"), reason="vcfg is not built")
def test_applied_password_leaves_the_configuration_through_vcfg():
    """vcfg generate runs realmgen on the merged configuration; realmgen sets
    the password and has vcfg drop it from that configuration."""
    box = Scratch(real_vcfg=os.environ["VCFG"])
    try:
        os.makedirs(box.path("etc/vcfg/factory"))
        os.makedirs(box.path("etc/vcfg/device"))
        sub = {"propertyFormat": "objectJSON", "propertyNoName": False, "propertyIdIn": "", "service": "",
               "cfgGenOpts": []}
        conf = {"vcfg": {"apiVersion": "1.0", "domain": {
            "0": {"name": "factory", "dirIn": "/etc/vcfg/factory", "confOut": "/etc/vcfg/factory.json"},
            "1": {"name": "deviceSpecific", "dirIn": "/etc/vcfg/device", "confOut": "/etc/vcfg/device.json"}},
            "subsystem": {"0": dict(sub, name="system", cfgGenExec="/bin/true"),
                          "1": dict(sub, name="accessmgr", cfgGenExec=os.environ["REALMGEN"])}}}
        layers = {
            "etc/vcfg.conf": conf,
            "etc/vcfg/factory/system.vcfg": {"system": {"hostname": "r9050"}},
            "etc/vcfg/factory/accessmgr.vcfg": {"accessmgr": {"apiVersion": "1.0", "cli": cli_realm(
                {"alice": {"primaryGroup": "devs", "uidNumber": 3001, "loginShell": "/bin/sh",
                           "status": "active", "userPasswordIsDefault": True}},
                {"devs": GROUPS["devs"]})}},
            "etc/vcfg/device/accessmgr.vcfg": {"accessmgr": {"cli": {"users": {"alice": {
                "userPassword": "s3cret!"}}}}},
        }
        for rel, content in layers.items():
            with open(box.path(rel), "w") as f:
                json.dump(content, f)
        assert box.run_command(["/usr/local/bin/vcfg", "merge"]).returncode in (0, 1)
        with open(box.path("etc/vcfg/device.json")) as f:
            assert json.load(f)["accessmgr"]["cli"]["users"]["alice"]["userPassword"] == "s3cret!"
        temps_before = {n for n in os.listdir("/tmp") if n.startswith("vcfgtmp")}
        r = box.run_command(["/usr/local/bin/vcfg", "generate", "accessmgr"])
        assert r.returncode == 0, r.stdout + r.stderr
        assert verifies(box.shadow()["alice"][1], "s3cret!")
        with open(box.path("etc/vcfg/device.json")) as f:
            alice = json.load(f)["accessmgr"]["cli"]["users"]["alice"]
        assert "userPassword" not in alice
        assert alice["userPasswordIsDefault"] is False
        assert {n for n in os.listdir("/tmp") if n.startswith("vcfgtmp")} <= temps_before
    finally:
        box.cleanup()
