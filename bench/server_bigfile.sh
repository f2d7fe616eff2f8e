#!/usr/bin/env bash
# Uploads and downloads one large container (1 GiB by default) through tessary-server with curl,
# checks that it comes back byte-identical, and prints the server's peak resident memory (VmHWM)
# before and after each transfer. A server that buffers bodies in memory shows it at once.
#
# Usage: bench/server_bigfile.sh [path/to/tessary-server]
#   SIZE_MIB=256 for a shorter run; KEEP_WORK=1 keeps the work folder (server output, access log).
set -euo pipefail

BIN=${1:-${TESSARY_SERVER_BIN:-build/server/tessary-server}}
SIZE_MIB=${SIZE_MIB:-1024}
[ -x "$BIN" ] || { echo "no tessary-server at $BIN (give its path as the first argument)" >&2; exit 2; }
for tool in curl gpg perl md5sum cmp; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tsbench-XXXXXX)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    gpgconf --homedir "$work/g" --kill gpg-agent 2>/dev/null || true
    if [ -n "${KEEP_WORK:-}" ]; then
        rm -f "$work/container" "$work/downloaded"
        echo "kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

hex2bin() { perl -e 'print pack("H*", $ARGV[0])' "$1"; }
peak_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$server_pid/status"; }
# The server's CPU time so far in ms: wall times mean little on a shared machine.
cpu_ms() { awk -v tick="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / tick)}' "/proc/$server_pid/stat"; }
now_ms() { date +%s%3N; }

# Two key pairs made by gpg, one per installation, that can encrypt as the relay requires.
mkdir -m 700 "$work/g"
make_key() {
    gpg --homedir "$work/g" --batch --pinentry-mode loopback --passphrase '' --status-fd 1 \
        --quick-gen-key "Bench $1 <bench-$1@example.org>" rsa2048 cert,sign,encr never 2>/dev/null |
        awk '/KEY_CREATED/ {print $4}'
}
alice_fpr=$(make_key alice)
bob_fpr=$(make_key bob)
gpg --homedir "$work/g" --export "$alice_fpr" >"$work/alice.key"
gpg --homedir "$work/g" --export "$bob_fpr" >"$work/bob.key"
alice_uid=$(cat /proc/sys/kernel/random/uuid)
bob_uid=$(cat /proc/sys/kernel/random/uuid)

"$BIN" --listen 127.0.0.1:0 --data "$work/data" --dev-tls --max-container 2G --quota 4G --reserve 1G \
    --access-log "$work/access.log" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 300); do
    grep -q 'ready on' "$work/server.out" && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.out" >&2; exit 1; }
    sleep 0.1
done
url=$(sed -n 's/^tessary-server: ready on //p' "$work/server.out")
ca=$(sed -n 's/^tessary-server: CA certificate //p' "$work/server.out")
[ -n "$url" ] || { echo "the server did not get ready" >&2; exit 1; }
curl_tls=(curl -sS --fail --cacert "$ca")

register() { # uid, key file, fingerprint
    { hex2bin "03${1//-/}$(md5sum "$2" | cut -c1-32)$3"; cat "$2"; } >"$work/body"
    "${curl_tls[@]}" -H 'Content-Type: application/octet-stream' --data-binary @"$work/body" "$url/api/upload-pubkey"
    echo
}
register "$alice_uid" "$work/alice.key" "$alice_fpr"
register "$bob_uid" "$work/bob.key" "$bob_fpr"

echo "writing a ${SIZE_MIB} MiB container"
# Shaped like an encrypted message, as the relay takes only those: a public-key session key packet,
# then an encrypted data packet holding the random bytes; then the trailer.
hex2bin "840d036b6b6b6b6b6b6b6b01000101d2ff$(printf '%08x' $(((SIZE_MIB << 20) + 1)))01" >"$work/container"
head -c "$((SIZE_MIB << 20))" /dev/urandom >>"$work/container"
hex2bin "${bob_fpr}01" >>"$work/container"
size=$(stat -c %s "$work/container")

echo "server peak RSS at start:       $(peak_kib) KiB"
t0=$(now_ms)
c0=$(cpu_ms)
reply=$("${curl_tls[@]}" -F "container=@$work/container;type=application/octet-stream;filename=container" \
    -F "uid={$alice_uid}" "$url/upload-container")
t1=$(now_ms)
file_id=$(sed -n 's/.*"fileId":\([0-9]*\).*/\1/p' <<<"$reply")
[ -n "$file_id" ] || { echo "upload failed: $reply" >&2; exit 1; }
echo "upload:   $size bytes in $((t1 - t0)) ms ($((size / 1048576 * 1000 / (t1 - t0 + 1))) MiB/s), server CPU $(($(cpu_ms) - c0)) ms, file id $file_id"
echo "server peak RSS after upload:   $(peak_kib) KiB"

t0=$(now_ms)
c0=$(cpu_ms)
"${curl_tls[@]}" -o "$work/downloaded" "$url/id$file_id"
t1=$(now_ms)
echo "download: $size bytes in $((t1 - t0)) ms ($((size / 1048576 * 1000 / (t1 - t0 + 1))) MiB/s), server CPU $(($(cpu_ms) - c0)) ms"
echo "server peak RSS after download: $(peak_kib) KiB"
cmp "$work/container" "$work/downloaded" && echo "download is byte-identical"
