#!/bin/sh
# Decodes a generated 20 MB message (a text part and three base64 attachments
# of random octets) with the program's decoder (msg_decode) and with Python's
# email package doing the same walk: parse, take the first text part as the
# body, decode every other part. Both run pinned to one core (taskset -c 1),
# in alternation, RUNS times; the medians of the whole-process wall time and
# of each program's own load-and-decode time are compared.
# Usage: bench/decode_compare.sh [RUNS]
set -eu
RUNS=${1:-7}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$SRC/build/rel
WORK=$(mktemp -d /tmp/quorvel-decode-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$BUILD" -j2 --target msg_decode >/dev/null

python3 - "$WORK/big.eml" <<'PY'
import base64, random, sys
random.seed(7)
out = ["From: Ann <ann@example.test>", "To: joe@example.test", "Subject: Holiday pictures",
       "Date: Thu, 10 Dec 2026 16:48:30 +0000", "MIME-Version: 1.0",
       'Content-Type: multipart/mixed; boundary="----=_Bench_0001"', "",
       "This is a multi-part message in MIME format.", "", "------=_Bench_0001",
       "Content-Type: text/plain; charset=iso-8859-1", "Content-Transfer-Encoding: quoted-printable", ""]
out += [f"Line {i} of the letter, caf=E9 and a soft break =" if i % 5 == 0 else f"line {i} ends here"
        for i in range(200)]
for n in range(3):
    data = base64.encodebytes(random.randbytes(4_900_000)).decode().splitlines()
    out += ["------=_Bench_0001", f'Content-Type: image/jpeg; name="picture{n}.jpg"',
            "Content-Transfer-Encoding: base64",
            f'Content-Disposition: attachment; filename="picture{n}.jpg"', ""] + data + [""]
out += ["------=_Bench_0001--", ""]
with open(sys.argv[1], "w", newline="") as f:
    f.write("\r\n".join(out))
PY

cat > "$WORK/email_decode.py" <<'PY'
import email, sys, time
start = time.perf_counter()
with open(sys.argv[1], "rb") as f:
    message = email.message_from_binary_file(f)
body, records, decoded = None, 0, 0
for part in message.walk():
    if part.is_multipart():
        continue
    data = part.get_payload(decode=True) or b""
    if body is None and part.get_content_maintype() == "text":
        body = data.splitlines()
    else:
        records += 1
        decoded += len(data)
took = time.perf_counter() - start
print(f"{len(body or [])} body lines, {records} records, {decoded} decoded octets, {took:.4f} s")
PY

ls -l "$WORK/big.eml" | awk '{printf "message: %.1f MB\n", $5 / 1e6}'
python3 - "$RUNS" "$BUILD/bench/msg_decode" "$WORK/email_decode.py" "$WORK/big.eml" <<'PY'
import statistics, subprocess, sys, time
runs, program, script, message = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
peers = {"quorvel": ["taskset", "-c", "1", program, message],
         "python email": ["taskset", "-c", "1", "python3", script, message]}
wall = {name: [] for name in peers}
own = {name: [] for name in peers}
for _ in range(runs):
    for name, command in peers.items():
        start = time.perf_counter()
        line = subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()
        wall[name].append(time.perf_counter() - start)
        own[name].append(float(line.rsplit(", ", 1)[1].split()[0]))
    print("  " + " | ".join(f"{n}: {wall[n][-1]:.3f} s" for n in peers))
for name, command in peers.items():
    print(f"{name}: {subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()}")
for name in peers:
    print(f"{name:13} median wall {statistics.median(wall[name]):.3f} s, "
          f"median own {statistics.median(own[name]):.4f} s")
q, p = "quorvel", "python email"
print(f"ratio python/quorvel: wall {statistics.median(wall[p]) / statistics.median(wall[q]):.1f}x, "
      f"own {statistics.median(own[p]) / statistics.median(own[q]):.1f}x")
PY
