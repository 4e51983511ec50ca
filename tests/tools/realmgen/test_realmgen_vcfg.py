"""realmgen as an administrator uses it: passwords set with the real vcfg in
a domain, committed, applied (vcfg runs realmgen, realmgen has vcfg remove
the clear-text password), merged again. Inside a private mount namespace
over scratch account files and a scratch vcfg configuration."""
import json
import os

import pytest

from realm_sandbox import Scratch, namespace_problem
from test_realmgen_e2e import GROUPS, cli_realm, digest, verifies

PROBLEM = namespace_problem() or (None if os.environ.get("VCFG") else "vcfg is not built")
pytestmark = pytest.mark.skipif(PROBLEM is not None, reason=str(PROBLEM))

DOMAINS = ["factory", "siteDefaults", "deviceSpecific"]


def vcfg_box(accessmgr, busybox=False):
    """A scratch system whose /etc/vcfg.conf has three domains and the
    subsystems "system" and "accessmgr" (generator: realmgen); accessmgr is
    the factory layer of the access manager."""
    box = Scratch(busybox=busybox, real_vcfg=os.environ["VCFG"])
    sub = {"propertyFormat": "objectJSON", "propertyNoName": False, "propertyIdIn": "", "service": "",
           "cfgGenOpts": []}
    conf = {"vcfg": {"apiVersion": "1.0",
                     "domain": {str(i): {"name": d, "dirIn": f"/etc/vcfg/{d}", "confOut": f"/etc/vcfg/{d}.json"}
                                for i, d in enumerate(DOMAINS)},
                     "subsystem": {"0": dict(sub, name="system", cfgGenExec="/bin/true"),
                                   "1": dict(sub, name="accessmgr", cfgGenExec=os.environ["REALMGEN"])}}}
    for d in DOMAINS:
        os.makedirs(box.path(f"etc/vcfg/{d}"))
    files = {"etc/vcfg.conf": conf,
             "etc/vcfg/factory/system.vcfg": {"system": {"hostname": "r9050"}},
             "etc/vcfg/factory/accessmgr.vcfg": {"accessmgr": accessmgr}}
    for rel, content in files.items():
        with open(box.path(rel), "w") as f:
            json.dump(content, f)
    return box


def vcfg(box, *args):
    r = box.run_command(["/usr/local/bin/vcfg", *args])
    assert r.returncode in (0, 1), (args, r.stdout, r.stderr)
    return r


def stored_texts(box):
    """Every merged file and layer file of the scratch configuration, and
    their backups."""
    texts = {}
    for folder, _, names in os.walk(box.path("etc/vcfg")):
        for name in names:
            if name.endswith((".json", ".vcfg", ".json.bak", ".vcfg.bak")):
                with open(os.path.join(folder, name)) as f:
                    texts[os.path.relpath(os.path.join(folder, name), box.root)] = f.read()
    return texts


def merged(box, domain):
    with open(box.path(f"etc/vcfg/{domain}.json")) as f:
        return json.load(f)


ALICE = {"primaryGroup": "devs", "uidNumber": 3001, "loginShell": "/bin/sh", "status": "active"}


@pytest.mark.parametrize("domain", ["deviceSpecific", "siteDefaults"])
def test_applied_password_never_comes_back(domain):
    box = vcfg_box({"apiVersion": "1.0", "cli": cli_realm({"alice": ALICE}, {"devs": GROUPS["devs"]})})
    try:
        vcfg(box, "merge")
        vcfg(box, "set", "-N", "-d", domain, "accessmgr.cli.users.alice.userPassword", '"s3cret!"')
        vcfg(box, "commit", "-d", domain)
        vcfg(box, "merge")
        assert any("s3cret!" in t for t in stored_texts(box).values())
        r = vcfg(box, "apply", "accessmgr")
        assert verifies(box.shadow()["alice"][1], "s3cret!"), r.stderr
        for step in ("after apply", "after merge"):
            leaks = [path for path, text in stored_texts(box).items() if "s3cret!" in text]
            assert leaks == [], (step, r.stdout, r.stderr)
            for d in DOMAINS[DOMAINS.index(domain):]:
                alice = merged(box, d)["accessmgr"]["cli"]["users"]["alice"]
                assert alice["userPasswordIsDefault"] is False, (step, d)
                assert "userPassword" not in alice
            vcfg(box, "merge")
        # A later apply keeps the applied password.
        vcfg(box, "apply", "accessmgr")
        assert verifies(box.shadow()["alice"][1], "s3cret!")
    finally:
        box.cleanup()


def test_names_with_dots_quotes_and_backslashes_are_cleaned_up():
    web_users = {"john.doe@example.com": {"status": "active"}, 'q"uo\\te': {"status": "active"}}
    accessmgr = {"apiVersion": "1.0",
                 "cli": cli_realm({"j.smith": dict(ALICE, uidNumber=3002)}, {"devs": GROUPS["devs"]}),
                 "site.web": {"service": "websvr", "users": web_users}}
    box = vcfg_box(accessmgr, busybox=True)
    try:
        vcfg(box, "merge")
        passwords = {'cli.users."j.smith"': "pw-cli", 'site\\.web.users."john.doe@example.com"': "pw-john",
                     '"site.web".users."q\\"uo\\\\te"': "pw-quote"}
        for path, password in passwords.items():
            vcfg(box, "set", "-N", "accessmgr." + path + ".userPassword", json.dumps(password))
        vcfg(box, "commit")
        r = vcfg(box, "apply", "accessmgr")
        assert verifies(box.shadow()["j.smith"][1], "pw-cli"), r.stderr
        digests = box.lines("etc/lighttpd/.htdigest")
        assert "john.doe@example.com:site.web:" + digest("john.doe@example.com", "site.web", "pw-john") in digests
        vcfg(box, "merge")
        top = merged(box, "deviceSpecific")["accessmgr"]
        # No bogus realm or user made from a split name.
        assert sorted(top) == ["apiVersion", "cli", "site.web"], r.stderr
        assert sorted(top["site.web"]["users"]) == sorted(web_users)
        assert sorted(top["cli"]["users"]) == ["j.smith"]
        for user in (top["cli"]["users"]["j.smith"], *top["site.web"]["users"].values()):
            assert "userPassword" not in user, r.stderr
            assert user["userPasswordIsDefault"] is False
        for text in stored_texts(box).values():
            for password in passwords.values():
                assert password not in text
    finally:
        box.cleanup()
