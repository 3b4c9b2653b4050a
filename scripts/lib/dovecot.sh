# A private Dovecot POP3 server on loopback with one mailbox, joe / secret,
# kept whole in a folder of its own; sourced by scripts/demo and the POP3
# benchmarks (POSIX sh).
#   dovecot_prepare FOLDER PORT    writes the configuration and the empty
#                                  maildir FOLDER/home/Maildir; put the
#                                  messages into its new/ folder
#   dovecot_tls FOLDER             makes a CA of its own (FOLDER/ca.crt) and a
#                                  certificate it signs for 127.0.0.1 and
#                                  localhost, and turns TLS on: the plain port
#                                  then offers STLS (call before dovecot_start)
#   dovecot_start FOLDER [PREFIX]  hands the folder to the server's user and
#                                  starts the server (PREFIX: e.g. taskset -c 1),
#                                  then waits until it accepts connections
#   dovecot_stop FOLDER
#   bench_mailbox FOLDER COUNT [HEADER_OCTETS]
#                                  fills the maildir with COUNT generated
#                                  messages of about 6 KB (the benchmarks');
#                                  with HEADER_OCTETS, each header block is
#                                  padded with trace lines (Received,
#                                  signatures) to about that size
#   demo_mailbox FOLDER            fills the maildir with the sample mailbox
#                                  scripts/demo-mailbox/*.eml (from the source
#                                  tree's top) and prints how many it holds
#   free_port                      prints a free loopback port
# Dovecot refuses to run its helpers as root: they run as nobody then, else
# as the calling user.

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

dovecot_prepare() {
    _folder=$1 _port=$2
    if [ "$(id -u)" = 0 ]; then _runas=nobody; else _runas=$(id -un); fi
    _uid=$(id -u "$_runas"); _gid=$(id -g "$_runas"); _group=$(id -gn "$_runas")
    mkdir -p "$_folder/run" "$_folder/state" "$_folder/home/Maildir/new" "$_folder/home/Maildir/cur" \
        "$_folder/home/Maildir/tmp"
    echo "joe:{PLAIN}secret:$_uid:$_gid::$_folder/home" > "$_folder/users"
    cat > "$_folder/dovecot.conf" <<CONF
protocols = pop3
listen = 127.0.0.1
base_dir = $_folder/run
state_dir = $_folder/state
log_path = $_folder/dovecot.log
ssl = no
disable_plaintext_auth = no
passdb {
  driver = passwd-file
  args = $_folder/users
}
userdb {
  driver = passwd-file
  args = $_folder/users
}
mail_location = maildir:~/Maildir
first_valid_uid = 1
default_internal_user = $_runas
default_login_user = $_runas
default_internal_group = $_group
service pop3-login {
  chroot =
  inet_listener pop3 {
    port = $_port
  }
}
service anvil {
  chroot =
}
CONF
    echo "$_uid:$_gid $_port" > "$_folder/owner"
}

dovecot_tls() {
    (
        cd "$1" &&
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=QuorvelDemoCA \
            -keyout ca.key -out ca.crt &&
        openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=localhost -keyout server.key -out server.csr &&
        printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > san.ext &&
        openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
            -extfile san.ext -out server.crt
    ) >"$1/openssl.log" 2>&1 || { echo "dovecot_tls: openssl failed; see $1/openssl.log" >&2; return 1; }
    sed -i "s|^ssl = no\$|ssl = yes\nssl_cert = <$1/server.crt\nssl_key = <$1/server.key|" "$1/dovecot.conf"
}

dovecot_start() {
    _folder=$1
    shift
    read -r _owner _port < "$_folder/owner"
    chown -R "$_owner" "$_folder"
    chmod 755 "$_folder"
    "$@" /usr/sbin/dovecot -c "$_folder/dovecot.conf"
    for _ in $(seq 100); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1',$_port))" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "Dovecot did not start; see $_folder/dovecot.log" >&2
    return 1
}

dovecot_stop() {
    [ -f "$1/run/master.pid" ] && kill "$(cat "$1/run/master.pid")" 2>/dev/null || true
}

bench_mailbox() {
    python3 - "$1/home/Maildir/new" "$2" "${3:-0}" <<'PY'
import sys, random
folder, count, header_octets = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(1)
for n in range(1, count + 1):
    head = (f"From: sender{n}@example.test\r\nTo: joe@example.test\r\nSubject: Generated message {n}\r\n"
            f"Message-ID: <{n}@example.test>\r\nDate: Thu, 10 Dec 2026 16:48:30 +0000\r\n"
            "Received: from a.example.test\r\n\tby b.example.test\r\n")
    hop = 0
    while len(head) < header_octets:
        hop += 1
        if hop % 3 == 0:
            head += (f"X-Signature-{hop}: v=1; a=rsa-sha256; d=example.test; s=s{hop};\r\n"
                     "\tb=" + "".join(random.choice("ABCDEFabcdef0123456789+/") for _ in range(70)) + "\r\n")
        else:
            head += (f"Received: from relay{hop}.example.test (relay{hop}.example.test [192.0.2.{hop % 250}])\r\n"
                     f"\tby mx{hop}.example.test with ESMTPS id {random.randrange(16**12):012x}\r\n"
                     f"\tfor <joe@example.test>; Thu, 10 Dec 2026 16:48:{hop % 60:02d} +0000\r\n")
    head += "\r\n"
    body = "".join(f"Line {i} " + "x" * random.randint(40, 90) + "\r\n" for i in range(80))
    with open(f"{folder}/{1000000000 + n}.M{n}P1.bench", "w", newline="") as f:
        f.write(head + body)
PY
}

demo_mailbox() {
    _n=0
    for _message in scripts/demo-mailbox/*.eml; do
        _n=$((_n + 1))
        cp "$_message" "$1/home/Maildir/new/$((1000000000 + _n)).M${_n}P1.demo"
    done
    echo "$_n"
}
