"""realmgen against a hostile local user and a half-broken configuration:
links in place of directories, SSH for users without "allowSSH", password
lines of realms and users that failed to load. Run as the other realmgen
end-to-end tests are: as root inside a private mount namespace over scratch
account files."""
import os
import stat

import pytest

from realm_sandbox import Scratch, namespace_problem
from test_realmgen_e2e import GROUPS, cli_realm, config, digest, owner_mode, well_formed

PROBLEM = namespace_problem()
pytestmark = pytest.mark.skipif(PROBLEM is not None, reason=str(PROBLEM))

MODES = [pytest.param(False, id="debian"), pytest.param(True, id="busybox")]


@pytest.fixture(params=MODES)
def box(request):
    s = Scratch(busybox=request.param)
    yield s
    s.cleanup()


def victim(box, name, uid=4321, mode=0o755):
    """A directory that is no business of the user's (think /etc), seen as
    /home/<name> inside the namespace."""
    path = box.home("/home/" + name)
    os.mkdir(path)
    with open(os.path.join(path, "keep"), "w") as f:
        f.write("x")
    os.chown(path, uid, uid)
    os.chmod(path, mode)
    return path


def user(uid, **fields):
    u = {"primaryGroup": "devs", "uidNumber": uid, "loginShell": "/bin/sh",
         "homeDirectory": fields.pop("homeDirectory", None), "status": "active"}
    u.update(fields)
    return {k: v for k, v in u.items() if v is not None}


@pytest.mark.parametrize("allow", [True, False], ids=["ssh-allowed", "ssh-refused"])
def test_ssh_directory_replaced_by_a_link_is_left_alone(box, allow):
    users = {"mal": user(3301, homeDirectory="/home/mal", allowSSH=allow, comment="m"),
             "nina": user(3302, homeDirectory="/home/nina", allowSSH=False, comment="n")}
    groups = {"devs": GROUPS["devs"]}
    assert box.run(config({"cli": cli_realm(users, groups)}, web=False)).returncode == 0
    target = victim(box, "victim")
    ssh = box.home("/home/mal/.ssh")
    if os.path.isdir(ssh) and not os.path.islink(ssh):
        os.rmdir(ssh)
    # The user (owner of the home directory) puts a link in place of .ssh.
    os.symlink("/home/victim", ssh)
    before = owner_mode(target)
    users["nina"]["comment"] = "n2"
    r = box.run(config({"cli": cli_realm(users, groups)}, web=False))
    assert owner_mode(target) == before, r.stderr
    assert "*** Error refusing \"/home/mal/.ssh\": not a directory owned by the user or root\n" in r.stderr
    assert os.path.islink(ssh)
    # The next user is handled as usual.
    assert box.passwd()["nina"][4].startswith("n2")
    assert owner_mode(box.home("/home/nina/.ssh")) == (0, 0, 0o2700)
    well_formed(box)


def test_new_home_directory_that_is_a_link_is_refused(box):
    users = {"mal": user(3311, homeDirectory="/home/mal", comment="m")}
    groups = {"devs": GROUPS["devs"]}
    assert box.run(config({"cli": cli_realm(users, groups)}, web=False)).returncode == 0
    target = victim(box, "victim")
    os.symlink("/home/victim", box.home("/home/moved"))
    before = owner_mode(target)
    users["mal"]["homeDirectory"] = "/home/moved"
    r = box.run(config({"cli": cli_realm(users, groups)}, web=False))
    assert owner_mode(target) == before, r.stderr
    assert "*** Error refusing \"/home/moved\": not a directory owned by the user or root\n" in r.stderr
    assert "*** Error changing home directory for user \"mal\" to \"/home/moved\"!\n" in r.stderr
    assert box.passwd()["mal"][5] == "/home/mal"


def test_ssh_is_closed_for_a_user_without_allow_ssh(box):
    users = {"sam": user(3331, homeDirectory="/home/sam", comment="s", allowSSH=True)}
    groups = {"devs": GROUPS["devs"]}
    assert box.run(config({"cli": cli_realm(users, groups)}, web=False)).returncode == 0
    ssh = box.home("/home/sam/.ssh")
    os.mkdir(ssh)
    os.chown(ssh, 3331, 2001)
    os.chmod(ssh, 0o700)
    # "allowSSH" dropped from the configuration: SSH is no longer allowed.
    del users["sam"]["allowSSH"]
    r = box.run(config({"cli": cli_realm(users, groups)}, web=False))
    assert r.returncode == 0, r.stderr
    assert owner_mode(ssh) == (0, 0, 0o2700)
    # A new user without it gets the closed directory at once.
    users["tom"] = user(3332, homeDirectory="/home/tom", comment="t")
    r = box.run(config({"cli": cli_realm(users, groups)}, web=False))
    assert r.returncode == 0, r.stderr
    assert owner_mode(box.home("/home/tom/.ssh")) == (0, 0, 0o2700)


def web_realm(users):
    return {"service": "websvr", "users": users}


def web_lines(box):
    return (sorted(box.lines("etc/lighttpd/.htdigest")), sorted(box.lines("etc/lighttpd/.htpasswd")))


BROKEN = [  # the second run's web realms, and what must keep its lines
    pytest.param({"w1": dict(web_realm({"ann": {"status": "active"}, "bea": {"status": "active"}}), colour=1),
                  "w2": web_realm({"cid": {"status": "active"}})},
                 "*** Keeping the Web password lines of realm \"w1\": it could not be loaded\n",
                 ["ann", "bea", "cid"], id="realm-with-bad-property"),
    pytest.param({"w1": web_realm({"ann": {"status": "nosuch"}, "bea": {"status": "active"}}),
                  "w2": web_realm({"cid": {"status": "active"}})},
                 "*** Keeping the Web password lines of user \"ann\" of realm \"w1\": it could not be loaded\n",
                 ["ann", "bea", "cid"], id="user-with-bad-status"),
    pytest.param({"w1": web_realm({"ann": {}, "bea": {"status": "active"}}),
                  "w2": web_realm({"cid": {"status": "active"}})},
                 "*** Keeping the Web password lines of user \"ann\" of realm \"w1\": it has no valid status\n",
                 ["ann", "bea", "cid"], id="user-without-status"),
    pytest.param({"w1": {"service": "websvr", "users": {"ann": 5, "bea": {"status": "active"}}},
                  "w2": web_realm({"cid": {"status": "active"}})},
                 "*** Keeping the Web password lines of user \"bea\" of realm \"w1\": it could not be loaded\n",
                 ["ann", "bea", "cid"], id="user-map-cut-short"),
]


@pytest.mark.parametrize("second, message, kept", BROKEN)
def test_password_lines_survive_a_load_error(second, message, kept):
    box = Scratch(busybox=False)
    try:
        first = {"w1": web_realm({n: {"status": "active", "userPassword": "pw-" + n} for n in ("ann", "bea")}),
                 "w2": web_realm({n: {"status": "active", "userPassword": "pw-" + n} for n in ("cid", "dan")})}
        assert box.run(config(first)).returncode == 0
        digest_before, pwd_before = web_lines(box)
        r = box.run(config(second))
        assert message in r.stderr
        digests, pwds = web_lines(box)
        for name in kept:
            assert [l for l in digests if l.startswith(name + ":")] == \
                [l for l in digest_before if l.startswith(name + ":")], (name, r.stderr)
            assert [l for l in pwds if l.startswith(name + ":")] == \
                [l for l in pwd_before if l.startswith(name + ":")], (name, r.stderr)
        # A user removed from a realm that loaded still loses its lines.
        assert not any(l.startswith("dan:") for l in digests + pwds), r.stderr
        assert digest("cid", "w2", "pw-cid") in "".join(digests)
    finally:
        box.cleanup()
