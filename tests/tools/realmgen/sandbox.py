#!/usr/bin/python3
"""Runs a command over scratch copies of the account files.

Usage: sandbox.py SCRATCH OUTER_NS -- COMMAND [ARGS...]

Must be started by `unshare --mount --propagation private`: it refuses to
mount anything while its mount namespace is OUTER_NS (the caller's, as
readlink /proc/self/ns/mnt gives it) or that of PID 1, so the host's
/etc, /home, /usr/sbin and /usr/local/bin are never touched. SCRATCH holds the
folders prepared by the test (etc, home, sbin, localbin, varlog and,
optionally, usrbin: programs to put in place of those of /usr/bin).
"""
import os
import subprocess
import sys


def shares_namespace(outer):
    mine = os.readlink("/proc/self/ns/mnt")
    if not outer or mine == outer:
        return True
    try:
        return mine == os.readlink("/proc/1/ns/mnt")
    except OSError:
        return False  # PID 1 lives in another namespace we may not inspect


def bind(source, target):
    subprocess.run(["mount", "--bind", source, target], check=True)


def main():
    scratch = sys.argv[1]
    command = sys.argv[sys.argv.index("--") + 1:]
    if shares_namespace(sys.argv[2]):
        print("sandbox: not in a private mount namespace; refusing to mount", file=sys.stderr)
        return 99
    # Keep every mount of ours private even if the caller forgot.
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    bind(os.path.join(scratch, "etc"), "/etc")
    bind(os.path.join(scratch, "home"), "/home")
    bind(os.path.join(scratch, "sbin"), "/usr/sbin")
    bind(os.path.join(scratch, "localbin"), "/usr/local/bin")
    bind(os.path.join(scratch, "varlog"), "/var/log")
    # Programs of /usr/bin replaced for the run (BusyBox's mkpasswd, or
    # wrappers that record how a program was called).
    overrides = os.path.join(scratch, "usrbin")
    if os.path.isdir(overrides):
        for name in sorted(os.listdir(overrides)):
            bind(os.path.join(overrides, name), os.path.join("/usr/bin", name))
    return subprocess.run(command).returncode


if __name__ == "__main__":
    sys.exit(main())
