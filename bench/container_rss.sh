#!/bin/bash
# Peak resident memory of the client while it saves, uploads, downloads and extracts a large
# container (default 2 GiB). Usage: bench/container_rss.sh BUILD_DIR [SIZE_MIB]
# BUILD_DIR is a configured build of this project; tessary_core is built there if needed.
# Needs gpg, python3 and openssl. Everything lives in a temporary folder that is removed at the end.
set -euo pipefail

BUILD=$(cd "${1:?build directory}" && pwd)
SIZE_MIB=${2:-2048}
SRC=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d /tmp/tsy-bench-XXXXXX)
SERVER_PID=
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true
    gpgconf --homedir "$WORK/home/.tessary2" --kill all 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

ninja -C "$BUILD" -j2 tessary_core >/dev/null
QT_MODULES="Qt5Widgets Qt5Network Qt5Sql Qt5Qml Qt5Quick Qt5QuickControls2"
g++ -std=c++17 -O2 -fPIC -I"$SRC" $(pkg-config --cflags $QT_MODULES) "$SRC/bench/ContainerRss.cpp" \
    "$BUILD/libtessary_core.a" $(pkg-config --libs $QT_MODULES) -o "$WORK/container_rss"

mkdir -p "$WORK/home/.tessary2" "$WORK/out-download" "$WORK/out-extract" "$WORK/tmp"
chmod 700 "$WORK/home/.tessary2"
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" TMPDIR="$WORK/tmp" QT_QPA_PLATFORM=offscreen

# A throw-away HTTPS endpoint in its own process: it swallows uploads and serves the container back.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
python3 "$SRC/bench/relay_stub.py" "$WORK" > "$WORK/port" &
SERVER_PID=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
export TESSARY_SERVER_URL="https://127.0.0.1:$(cat "$WORK/port")" TESSARY_CA_FILE="$WORK/cert.pem"

echo "creating ${SIZE_MIB} MiB of random data"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/big.bin"

"$WORK/container_rss" save "$WORK/big.bin" "$WORK/big.tsyc"
"$WORK/container_rss" upload "$WORK/big.bin"
mv "$WORK/big.tsyc" "$WORK/id1"   # the stub serves GET /id1 from this file
"$WORK/container_rss" download 1 "$WORK/out-download"
cmp "$WORK/big.bin" "$WORK/out-download/big.bin"
mv "$WORK/id1" "$WORK/big.tsyc"
"$WORK/container_rss" extract "$WORK/big.tsyc" "$WORK/out-extract"
cmp "$WORK/big.bin" "$WORK/out-extract/big.bin"

# Handing gpg the message without the trailer: a pipe fed from the user's file versus cutting our
# own download in place (what downloads do) and letting gpg read the file.
LEN=$(( $(stat -c %s "$WORK/big.tsyc") - 1 ))
start=$(date +%s.%N)
head -c "$LEN" "$WORK/big.tsyc" | gpg --homedir "$HOME/.tessary2" --batch --yes -d --passphrase "bench password" \
    -o "$WORK/pipe.out" 2>/dev/null
echo "gpg -d through a pipe: $(echo "$(date +%s.%N) - $start" | bc) s"
rm -f "$WORK/pipe.out"
start=$(date +%s.%N)
truncate -s "$LEN" "$WORK/big.tsyc"
gpg --homedir "$HOME/.tessary2" --batch --yes -d --passphrase "bench password" -o "$WORK/file.out" \
    "$WORK/big.tsyc" 2>/dev/null
echo "truncate + gpg -d from the file: $(echo "$(date +%s.%N) - $start" | bc) s"
