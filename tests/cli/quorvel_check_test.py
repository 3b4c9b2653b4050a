#!/usr/bin/env python3
"""The quorvel-check program as cron or a script meets it: its exit statuses,
its JSON lines checked against their schema, a deletion seen from a second
run, and the progress line and colours that only a terminal gets. Runs a
private Dovecot (scripts/lib/dovecot.sh) with the demo's sample mailbox.
Usage: quorvel_check_test.py QUORVEL_CHECK DEMO_PROFILE SOURCE_DIR"""
import json
import os
import pty
import shutil
import subprocess
import sys
import tempfile

binary, demo_profile, source = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="quorvel-check-test-")
os.chmod(work, 0o755)  # the server's helpers may run as another user
server_folder = os.path.join(work, "dovecot")
failures = []


def sh(script):
    # Through a file, not a pipe: the server started here would keep a pipe open.
    with tempfile.TemporaryFile("w+") as output:
        subprocess.run(["sh", "-c", f'. "{source}/scripts/lib/dovecot.sh"; {script}'], cwd=source, check=True,
                       stdout=output, stderr=subprocess.DEVNULL)
        output.seek(0)
        return output.read().strip()


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


# The program folder is the executable's folder when it is writable: a copy
# in the work folder keeps the rules and the log out of the build.
program = os.path.join(work, "bin")
os.makedirs(program)
shutil.copy(binary, program)
tool = os.path.join(program, "quorvel-check")
config = os.path.join(work, "config")
# The demo's server offers STARTTLS with a certificate from a CA of its own.
env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(work, "data"),
           LANG="en_US.UTF-8", TZ="UTC", SSL_CERT_FILE=os.path.join(server_folder, "ca.crt"))


def run(*words, environment=None):
    result = subprocess.run([tool, *words], env=environment or env, capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout, result.stderr


def one_error_line(stderr, fragment, what):
    check(stderr.startswith("quorvel-check: ") and stderr.count("\n") == 1 and fragment in stderr,
          f"{what}: one error line with {fragment!r}, got {stderr!r}")


SCHEMA = {"mailbox": int, "server": str, "user": str, "number": int, "mark": int, "markName": str,
          "marked": bool, "deleted": bool, "sender": str, "subject": str, "size": int, "date": str, "why": list}
MARK_NAMES = {-1: "none", 0: "delete", 1: "question", 2: "known-spammer"}


def parse_listing(stdout, what):
    objects = []
    for number, line in enumerate(stdout.splitlines(), 1):
        value = json.loads(line)
        check(set(value) == set(SCHEMA), f"{what}: fields of line {number}: {sorted(value)}")
        for key, kind in SCHEMA.items():
            check(type(value.get(key)) is kind, f"{what}: {key} of line {number} is {kind.__name__}")
        check(all(isinstance(reason, str) and reason for reason in value["why"]), f"{what}: reasons are texts")
        check(value["why"] != [], f"{what}: line {number} has its reasons")
        check(value["number"] == number, f"{what}: numbered in order")
        check(MARK_NAMES.get(value["mark"], "exception") == value["markName"], f"{what}: mark name of {number}")
        check(value["marked"] == (value["mark"] in (0, 2)), f"{what}: marked flag of {number}")
        objects.append(value)
    return objects


try:
    port = sh("free_port")
    sh(f'dovecot_prepare "{server_folder}" {port} && dovecot_tls "{server_folder}" && '
       f'demo_mailbox "{server_folder}" >/dev/null && dovecot_start "{server_folder}"')

    # No profile yet: how to set one up.
    code, out, err = run()
    check(code == 3, f"no profile: status 3, got {code}")
    one_error_line(err, "no mailbox is set up. Set one up in Quorvel", "no profile")
    check(not os.path.exists(config), "no profile: nothing was created")

    subprocess.run([demo_profile, program, os.path.join(config, "Velmont/Quorvel/10"), f"127.0.0.1:{port}", "joe",
                    "secret"], check=True)

    code, out, err = run("--format", "json")
    check(code == 1, f"listing: status 1, got {code} {err}")
    check(err == "", f"listing: no progress line in a pipe, got {err!r}")
    listed = parse_listing(out, "listing")
    check(len(listed) == 9, f"listing: 9 messages, got {len(listed)}")
    marked = [m["subject"] for m in listed if m["marked"]]
    check(len(marked) == 3, f"listing: 3 marked, got {marked}")
    check(not any(m["deleted"] for m in listed), "listing: nothing deleted without --delete")

    code, out, err = run()
    check(code == 1 and "\x1b" not in out + err and "\r" not in err, "text in a pipe: no colours, no progress")
    check(len(out.splitlines()) == 10 and out.splitlines()[-1].startswith("# mailbox 1 (joe on "),
          "text in a pipe: a line per message and the summary")

    for words, status, fragment in [(["--bogus"], 2, "unknown option"), (["--mailbox", "13"], 2, "1 to 12"),
                                    (["--mailbox", "5"], 3, "mailbox 5 is not set up"),
                                    (["why", os.path.join(work, "none.eml")], 4, "No such file")]:
        code, out, err = run(*words)
        check(code == status, f"{words}: status {status}, got {code}")
        one_error_line(err, fragment, str(words))
    code, out, err = run("--help")
    check(code == 0 and "Exit status:" in out and err == "", "--help")
    code, out, err = run("--version")
    check(code == 0 and out.startswith("quorvel-check "), "--version")

    # A terminal gets the progress line and coloured marks.
    main, secondary = pty.openpty()
    process = subprocess.Popen([tool], env=env, stdout=secondary, stderr=secondary)
    os.close(secondary)
    seen = b""
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    check(process.wait(timeout=120) == 1, "terminal: status 1")
    check(b"Mailbox 1: message 9 of 9" in seen, "terminal: progress line")
    check(b"\x1b[1;31mdelete\x1b[0m" in seen, "terminal: coloured delete mark")

    code, out, err = run("--delete", "--format", "json")
    check(code == 1, f"delete: status 1, got {code} {err}")
    deleted = [m["subject"] for m in parse_listing(out, "delete") if m["deleted"]]
    check(deleted == marked, f"delete: deleted exactly the marked, got {deleted}")
    code, out, err = run("--all", "--format", "json")
    left = [m["subject"] for m in parse_listing(out, "after delete")]
    check(code == 0 and len(left) == 6 and not set(left) & set(marked), f"after delete: {code} {left} {err}")
    log = open(os.path.join(program, "logfile.txt"), encoding="utf-8", errors="replace").read()
    check(log.count("DELETE SPAM on ") == 3 and log.count("MAIL CHECK ") == 5, "the activity log's records")

    sh(f'dovecot_stop "{server_folder}"; sleep 0.5')
    code, out, err = run()
    check(code == 5, f"server down: status 5, got {code}")
    one_error_line(err, f"mailbox 1 (joe on 127.0.0.1:{port}): ", "server down")

    # Learning from an mbox file keeps the model in the window's program folder.
    mbox = os.path.join(work, "Junk")
    with open(mbox, "w") as out_file:
        for n in range(3):
            out_file.write(f"From bulk@x Mon Jul  1 10:00:00 2002\nFrom: bulk{n}@offers.test\n"
                           f"Subject: Cheap cruise {n}\n\nBody\n\n")
    code, out, err = run("learn", "--spam", mbox)
    model = os.path.join(program, "learned.dat")
    check(code == 0 and "Learned 3 spam and 0 ham." in out and err == "", f"learn: {code} {out!r} {err!r}")
    check(os.path.exists(model) and os.stat(model).st_mode & 0o777 == 0o600, "learn: learned.dat beside the rules, 0600")
    code, out, err = run("learn", "--status", "--format", "json")
    status = json.loads(out) if code == 0 else {}
    check(status.get("spam") == 3 and status.get("ham") == 0 and status.get("trained") is False,
          f"learn --status: {out!r}")
finally:
    sh(f'dovecot_stop "{server_folder}"')
    shutil.rmtree(work, ignore_errors=True)

print("FAILED" if failures else "passed", len(failures), "failure(s)")
sys.exit(1 if failures else 0)
