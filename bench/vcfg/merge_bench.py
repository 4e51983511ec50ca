#!/usr/bin/python3
"""Benchmark of vcfg against jq.

1. Two layers of about 50 MB each (nested objects 3 to 4 levels deep with
   strings, numbers and booleans) merged by "vcfg merge" (two domains, one
   subsystem) and by "jq -s '.[0] * .[1]'": wall time and peak memory of
   both (/usr/bin/time -v), and the ratios.
2. The median time of "vcfg get" of one property of a small configuration
   against jq doing the same lookup.

Usage: merge_bench.py [path to vcfg] [--size MB] [--repeat N] [--runs N]
Nothing is asserted; the figures are printed.
"""
import argparse
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def leaf(rng, key):
    # The type follows the key, so that both layers agree on every type.
    kind = key[0]
    if kind == "s":
        return "".join(rng.choice("abcdefghijklmnopqrstuvwxyz0123456789 ") for _ in range(rng.randint(4, 24)))
    if kind == "i":
        return rng.randint(-100000, 10000000)
    if kind == "f":
        return rng.randint(0, 10 ** 6) / 64.0
    return rng.random() < 0.5


def tree(rng, depth, max_depth, keys):
    node = {}
    for i in range(keys):
        if depth < max_depth and i < 3:
            node[f"o{i}"] = tree(rng, depth + 1, max_depth, keys)
        else:
            key = rng.choice("sifb") + str(i)
            node[key] = leaf(rng, key)
    return node


def layer(rng, size_mb, change_share, base=None):
    """Top-level groups of 3-4 levels until the JSON text reaches the size;
    a higher layer changes change_share of the leaves of base and adds new
    groups."""
    result = {}
    size = 0
    group = 0
    target = size_mb * 1024 * 1024
    while size < target:
        name = f"g{group}"
        if base is not None and name in base:
            node = changed(rng, base[name], change_share)
        else:
            node = tree(rng, 1, rng.randint(3, 4), 8)
        result[name] = node
        size += len(json.dumps(node))
        group += 1
    return result


def changed(rng, node, share):
    out = {}
    for key, value in node.items():
        if isinstance(value, dict):
            sub = changed(rng, value, share)
            if sub:
                out[key] = sub
        elif rng.random() < share:
            out[key] = leaf(rng, key)
    return out


def timed(cmd, cwd, stdout=subprocess.DEVNULL):
    p = subprocess.run(["/usr/bin/time", "-v", *cmd], cwd=cwd, stdout=stdout, stderr=subprocess.PIPE, text=True)
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", p.stderr).group(1)
    parts = [float(x) for x in wall.split(":")]
    seconds = sum(x * 60 ** i for i, x in enumerate(reversed(parts)))
    rss_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr).group(1))
    return p.returncode, seconds, rss_kb


def median_time(cmd, cwd, runs, env=None):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def write_conf(root, domains, subsystems):
    conf = {"vcfg": {"domain": {str(i): {"name": d, "dirIn": d, "confOut": f"{d}.json"}
                                for i, d in enumerate(domains)},
                     "subsystem": {str(i): {"name": s} for i, s in enumerate(subsystems)}}}
    with open(os.path.join(root, "vcfg.conf"), "w") as f:
        json.dump(conf, f)
    for d in domains:
        os.makedirs(os.path.join(root, d), exist_ok=True)


def bench_merge(vcfg, root, size_mb, repeat):
    rng = random.Random(9050)
    write_conf(root, ["factory", "deviceSpecific"], ["bulk"])
    lower = layer(rng, size_mb, 0.0)
    higher = layer(rng, size_mb, 0.5, base=lower)
    paths = []
    for domain, value in (("factory", lower), ("deviceSpecific", higher)):
        path = os.path.join(root, domain, "bulk.vcfg")
        with open(path, "w") as f:
            json.dump({"bulk": value}, f, separators=(",", ":"))
        paths.append(path)
    del lower, higher
    sizes = [os.path.getsize(p) / 1e6 for p in paths]
    print(f"layers: {sizes[0]:.1f} MB and {sizes[1]:.1f} MB")

    # Each tool runs several times, alternating, and the medians are taken:
    # one run of either can be slowed by whatever else the machine does.
    vcfg_runs, jq_runs = [], []
    for _ in range(repeat):
        for name in ("factory.json", "deviceSpecific.json"):
            for suffix in ("", ".bak"):
                if os.path.exists(os.path.join(root, name + suffix)):
                    os.remove(os.path.join(root, name + suffix))
        status, seconds, kb = timed([vcfg, "merge", "-e", "vcfg.conf"], root)
        assert status in (0, 1), f"vcfg merge failed with {status}"
        vcfg_runs.append((seconds, kb))
        with open(os.path.join(root, "jq.json"), "w") as out:
            status, seconds, kb = timed(["jq", "-s", ".[0] * .[1]", *paths], root, stdout=out)
        assert status == 0, "jq failed"
        jq_runs.append((seconds, kb))
    vcfg_s = statistics.median(r[0] for r in vcfg_runs)
    vcfg_kb = statistics.median(r[1] for r in vcfg_runs)
    jq_s = statistics.median(r[0] for r in jq_runs)
    jq_kb = statistics.median(r[1] for r in jq_runs)
    print("vcfg runs: " + ", ".join(f"{s:.2f} s {kb / 1024:.0f} MB" for s, kb in vcfg_runs))
    print("jq runs:   " + ", ".join(f"{s:.2f} s {kb / 1024:.0f} MB" for s, kb in jq_runs))
    with open(os.path.join(root, "deviceSpecific.json")) as f:
        ours = json.load(f)["bulk"]
    with open(os.path.join(root, "jq.json")) as f:
        theirs = json.load(f)["bulk"]
    print(f"results agree: {ours == theirs}")
    print(f"vcfg merge (median of {repeat}): {vcfg_s:7.2f} s  {vcfg_kb / 1024:8.1f} MB peak")
    print(f"jq merge (median of {repeat}):   {jq_s:7.2f} s  {jq_kb / 1024:8.1f} MB peak")
    print(f"ratio vcfg/jq: time {vcfg_s / jq_s:.2f}, memory {vcfg_kb / jq_kb:.2f} (target: at most 0.5 each)")


def bench_get(vcfg, root, runs):
    example = os.path.join(HERE, "..", "..", "tools", "vcfg", "example")
    work = os.path.join(root, "small")
    shutil.copytree(example, work)
    env = dict(os.environ, VCFG_ENVFILE="vcfg.conf")
    subprocess.run([vcfg, "merge"], cwd=work, env=env, stdout=subprocess.DEVNULL)
    ours = median_time([vcfg, "get", "-u", "network.eth0.address"], work, runs, env)
    theirs = median_time(["jq", "-r", ".network.eth0.address", "deviceSpecific.merged.json"], work, runs)
    print(f"get one property of a small configuration, median of {runs} runs: "
          f"vcfg {ours * 1000:.2f} ms, jq {theirs * 1000:.2f} ms, ratio {ours / theirs:.2f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vcfg", nargs="?", default=os.path.join(HERE, "..", "..", "build", "tools", "vcfg", "vcfg"))
    parser.add_argument("--size", type=int, default=50, help="size of each layer in MB")
    parser.add_argument("--runs", type=int, default=51, help="runs of each get")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each merge")
    args = parser.parse_args()
    vcfg = os.path.abspath(args.vcfg)
    with tempfile.TemporaryDirectory(prefix="vcfg-bench-") as root:
        bench_merge(vcfg, root, args.size, args.repeat)
        bench_get(vcfg, root, args.runs)


if __name__ == "__main__":
    main()
