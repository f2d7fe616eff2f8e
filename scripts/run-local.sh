#!/usr/bin/env bash
# Installs what is needed, builds, starts a local relay server (embedded SQLite database, a private
# CA made on first use) and the Tessary window pointed at it. Closing the window stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)" --target tessary tessary-server tessary-cli

data=${TESSARY_RELAY_DATA:-$HOME/.local/share/tessary-relay}
mkdir -p "$data"
log="$data/server.log"
port=${TESSARY_RELAY_PORT:-8443}
./build/server/tessary-server --listen "127.0.0.1:$port" --data "$data" --dev-tls >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true' EXIT

for _ in $(seq 1 100); do
    grep -q "ready on" "$log" && break
    kill -0 $server 2>/dev/null || { cat "$log"; exit 1; }
    sleep 0.1
done
url=$(sed -n 's/.*ready on \(https:[^ ]*\).*/\1/p' "$log" | head -n 1)
echo "Relay server: $url (data in $data, log in $log)"

export TESSARY_SERVER_URL="$url"
export TESSARY_CA_FILE="$data/tls/ca.pem"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the window under a virtual X server (xvfb-run)."
    xvfb-run -a ./build/tessary
else
    ./build/tessary
fi
