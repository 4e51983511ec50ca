"""Layering round trip over generated random trees: merge, commit every
domain, merge again: every merged configuration comes back byte for byte."""
import os
import random

import pytest

from conftest import DOMAINS, read_json

SUBSYSTEMS = ["system", "net", "services"]


def random_scalar(rng, kind):
    if kind == "int":
        return rng.randint(-1000, 100000)
    if kind == "str":
        return rng.choice(["", " lead", "trail ", "a.b", "quote\"d", "plain", "x=y", "ünï"]) + str(rng.randint(0, 9))
    if kind == "bool":
        return rng.random() < 0.5
    if kind == "float":
        return rng.randint(1, 1000) / 8.0
    return [rng.randint(0, 9) for _ in range(rng.randint(0, 3))]


def random_tree(rng, depth, kinds):
    """A non-empty object; "keep" is a scalar that no layer deletes, so no
    object ever becomes empty. kinds fixes each key's type across layers."""
    tree = {"keep": 1}
    for i in range(rng.randint(1, 4)):
        key = f"k{depth}{i}"
        if depth < 3 and rng.random() < 0.4:
            tree["o" + key] = random_tree(rng, depth + 1, kinds)
        else:
            kind = kinds.setdefault(key, rng.choice(["int", "str", "bool", "float", "list"]))
            tree[key] = random_scalar(rng, kind)
    return tree


def random_layer(rng, lower, kinds):
    """A higher layer: changed scalars (same type), new properties, deleted
    objects."""
    layer = {}
    for key, value in lower.items():
        if key == "keep":
            continue
        roll = rng.random()
        if isinstance(value, dict):
            if roll < 0.15:
                layer[key] = {"deleted": True}
            elif roll < 0.6:
                sub = random_layer(rng, value, kinds)
                if sub:
                    layer[key] = sub
        elif roll < 0.3:
            layer[key] = random_scalar(rng, kinds[key])
    if rng.random() < 0.4:
        layer["new" + str(rng.randint(0, 99))] = random_tree(rng, 2, kinds)
    return layer


def overlay(lower, layer):
    """What merging a layer onto a tree must give."""
    result = dict(lower)
    for key, value in layer.items():
        if isinstance(value, dict) and value.get("deleted") is True:
            result.pop(key, None)
        elif isinstance(value, dict) and isinstance(result.get(key), dict):
            result[key] = overlay(result[key], value)
        else:
            result[key] = value
    return result


@pytest.mark.parametrize("seed", range(6))
def test_merge_commit_merge_round_trip(scratch, seed):
    rng = random.Random(seed)
    kinds = {}
    expected = {}
    lower = {}
    for domain in DOMAINS:
        merged = {}
        for sub in SUBSYSTEMS:
            base = lower.get(sub, {})
            if not base:
                layer = random_tree(rng, 0, kinds)
            elif rng.random() < 0.25:
                layer = None  # no layer file: the subsystem stays as below
            else:
                layer = random_layer(rng, base, kinds)
            if layer is not None:
                scratch.layer(domain, sub, layer)
            merged[sub] = overlay(base, layer or {})
        expected[domain] = merged
        lower = merged

    status, out, err = scratch.run("merge")
    assert (status, err) == (1, "")
    first = {}
    for domain in DOMAINS:
        assert scratch.merged(domain) == expected[domain], domain
        with open(scratch.path(f"{domain}.json")) as f:
            first[domain] = f.read()

    for domain in DOMAINS:
        status, out, err = scratch.run("commit", "-d", domain)
        assert err == "" and status in (0, 1), domain
    for domain in DOMAINS:
        os.unlink(scratch.path(f"{domain}.json"))
    status, out, err = scratch.run("merge")
    assert (status, err) == (1, "")
    for domain in DOMAINS:
        with open(scratch.path(f"{domain}.json")) as f:
            assert f.read() == first[domain], domain
    # Committed layers hold differences only: committing again changes nothing,
    # and merging again changes nothing.
    for domain in DOMAINS:
        assert scratch.run("commit", "-d", domain) == (0, "", "")
    assert scratch.run("merge") == (0, "", "")
