"""Saving is never torn: "vcfg set" killed with SIGKILL at random moments
leaves a merged file that loads and holds the old or the new content, with
the content before in ".bak"."""
import json
import os
import random
import signal
import subprocess
import time

from conftest import VCFG


def load(path):
    with open(path) as f:
        return json.load(f)


def test_killed_set_never_tears_the_file(merged_scratch):
    s = merged_scratch
    # Some bulk, so that writing takes a moment.
    bulk = {f"p{i}": "x" * 200 for i in range(300)}
    assert s.run("set", "-N", "system.bulk", json.dumps(bulk)) == (1, "", "")
    assert s.run("set", "-N", "system.counter", "0") == (1, "", "")
    conf_out = s.path("deviceSpecific.json")
    env = dict(os.environ, VCFG_ENVFILE=s.conf)
    rng = random.Random(9050)
    previous = 0
    kills = 0
    deadline = time.monotonic() + 60
    for k in range(1, 101):
        if time.monotonic() > deadline:
            break
        child = subprocess.Popen([VCFG, "set", "-u", "system.counter", f"+{k}"], cwd=s.root, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A set takes some tens of milliseconds (it syncs); kill anywhere in it.
        time.sleep(rng.uniform(0, 0.04))
        try:
            child.send_signal(signal.SIGKILL)
            kills += 1
        except ProcessLookupError:
            pass
        child.wait()
        tree = load(conf_out)
        counter = tree["system"]["counter"]
        assert counter in (previous, k), (k, counter)
        assert tree["system"]["bulk"] == bulk
        if counter != previous:
            assert load(conf_out + ".bak")["system"]["counter"] == previous
        elif os.path.exists(conf_out + ".bak"):
            # Killed before the switch: the backup, if there is one, is an
            # earlier complete file.
            assert load(conf_out + ".bak")["system"].get("counter", 0) <= previous
        previous = counter
    assert kills > 0
    # The next run finds everything in order.
    assert s.run("get", "-u", "system.counter") == (0, f"system.counter=+{previous}\n", "")
