#!/usr/bin/env python3
"""quorvel-check installed as a package installs it (PREFIX/bin beside
PREFIX/share/quorvel), run by root, who may write to PREFIX/bin: it must use
the window's profile in the user's data folder, seeded from the installed
data, and never write beside itself.
Usage: installed_layout_test.py QUORVEL_CHECK DEMO_PROFILE SOURCE_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile

binary, demo_profile, source = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="quorvel-installed-test-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


try:
    prefix_bin = os.path.join(work, "prefix/bin")
    installed_data = os.path.join(work, "prefix/share/quorvel")
    os.makedirs(prefix_bin)
    os.makedirs(installed_data)
    shutil.copy(binary, prefix_bin)
    shutil.copy(os.path.join(source, "data/known.lst"), installed_data)
    tool = os.path.join(prefix_bin, "quorvel-check")
    home = os.path.join(work, "home")
    os.makedirs(home)
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env.update(HOME=home, LANG="en_US.UTF-8", TZ="UTC")
    user_data = os.path.join(home, ".local/share/quorvel")
    # The rules the window keeps for this user; the server is never asked.
    subprocess.run([demo_profile, user_data, os.path.join(home, ".config/Velmont/Quorvel/10"), "127.0.0.1:9", "joe",
                    "secret"], check=True)
    before = sorted(os.listdir(prefix_bin))

    # The user's rules never ask DNS; other rules might, so where a network
    # namespace can be had, the program runs with loopback only.
    isolate = ["unshare", "-n"] if subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode == 0 \
        else []
    messages = {"pills.eml": ("Discount VIAGRA", 1), "lunch.eml": ("Lunch on Friday?", 0)}
    for message, (subject, status) in messages.items():
        path = os.path.join(work, message)
        with open(path, "w") as eml:
            eml.write(f"From: deals\r\nTo: joe\r\nSubject: {subject}\r\n\r\nBody\r\n")
        result = subprocess.run([*isolate, tool, "why", path], env=env, capture_output=True, text=True, timeout=60)
        check(result.returncode == status,
              f"why {message}: status {status} by the user's rules, got {result.returncode} {result.stdout!r}"
              f" {result.stderr!r}")

    check(sorted(os.listdir(prefix_bin)) == before,
          f"nothing written beside the program, found {sorted(os.listdir(prefix_bin))}")
    check(os.path.isfile(os.path.join(user_data, "known.lst")), "the user's folder is seeded from the installed data")
finally:
    shutil.rmtree(work, ignore_errors=True)

if failures:
    print(f"{len(failures)} failure(s)")
    sys.exit(1)
print("installed layout: all checks passed")
