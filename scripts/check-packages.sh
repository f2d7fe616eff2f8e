#!/usr/bin/env bash
# Builds the Debian packages in a build directory of their own (default build-deb) with Debian's
# hardening flags, checks them with lintian, validates their AppStream metadata, installs them,
# starts the installed relay through its systemd unit's command line and the installed
# tessary-cli against it for one transfer between two users, starts the installed window once, then
# purges both packages and checks that nothing of theirs is left. Run as root, on a machine where
# the packages are not installed. TESSARY_CMAKE_ARGS adds configure options, as for test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
work=$(mktemp -d /tmp/tpk.XXXXXX) # short: gpg-agent sockets live below the users' homes
relay=""
installed=""
cleanup() {
    if [ -n "$relay" ]; then
        kill "$relay" 2>/dev/null || true
        wait "$relay" 2>/dev/null || true
    fi
    for home in "$work"/home-*; do
        [ -d "$home/.tessary2" ] && gpgconf --homedir "$home/.tessary2" --kill gpg-agent 2>/dev/null || true
    done
    rm -rf "$work"
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tessary tessary-server >/dev/null || true
    fi
}
trap cleanup EXIT
fail() {
    echo "check-packages: $*" >&2
    exit 1
}

for package in tessary tessary-server; do
    ! dpkg -s "$package" >/dev/null 2>&1 || fail "$package is installed already"
done
# As Debian builds its own packages: every hardening feature of dpkg-buildflags (bindnow is not on by
# default). CMake has no CPPFLAGS of its own; they go with the compiler flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" ${TESSARY_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target package-contents
(cd "$build" && cpack -G DEB -B "$work/debs" >/dev/null)
debs=("$work"/debs/*.deb)
[ ${#debs[@]} -eq 2 ] || fail "expected two packages, got: ${debs[*]}"
for deb in "${debs[@]}"; do
    echo "== $(basename "$deb")"
    dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\|Suggests\|Installed-Size\):/  \1:/p'
done
# Everything lintian knows, down to pedantic and experimental tags, is shown; errors and warnings
# fail, and so does any hardening tag (those about bindnow and fortified functions are only
# informational) and an override that no longer matches (packaging/tessary.lintian-overrides).
lintian --display-level ">=pedantic" --display-experimental --fail-on error,warning \
    --tag-display-limit 0 "${debs[@]}" | tee "$work/lintian.log" || fail "lintian reports errors or warnings"
! grep -E '^[EWIPX]: .* (hardening-|unused-override)' "$work/lintian.log" ||
    fail "the programs lack hardening, or a lintian override is stale"
# Software centres read the metadata with the desktop entry it names, as the client package installs
# them. --strict fails on anything above pedantic hints; --no-net leaves the screenshots unfetched.
dpkg-deb -x "$work"/debs/tessary_*.deb "$work/client-tree"
appstreamcli validate-tree --no-net --strict --explain "$work/client-tree" || fail "the AppStream metadata is not valid"

# What the packages depend on is installed first, so that the file lists before and after show
# only what the packages themselves bring and take away.
deps=$(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Depends; done |
    tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' | grep -v '^$' | sort -u)
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $deps >/dev/null
list_files() {
    find /usr /etc /var/lib /opt -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/lib/ucf \) \
        -prune -o -print 2>/dev/null | sort
}
list_files >"$work/before"
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${debs[@]}" >/dev/null

# The relay, started as systemd would start its unit: user, environment file and ExecStart. Where
# systemd runs, the package has started the unit already; it is stopped to free the port.
if [ -d /run/systemd/system ]; then
    systemctl stop tessary-server.service
fi
unit=$(dpkg -L tessary-server | grep '\.service$')
key() { sed -n "s/^$1=//p" "$unit" | head -n 1; }
user=$(key User)
envfile=$(key EnvironmentFile)
envfile=${envfile#-}
state=/var/lib/$(key StateDirectory)
getent passwd "$user" >/dev/null || fail "the package did not create the user $user"
[ "$(stat -c %U "$state")" = "$user" ] || fail "$state does not belong to $user"
[ -L /etc/systemd/system/multi-user.target.wants/tessary-server.service ] || fail "the relay's unit is not enabled"
: >"$work/relay.log"
runuser -u "$user" -- env -i PATH=/usr/bin:/bin bash -c "set -a; . '$envfile'; set +a; exec $(key ExecStart)" \
    >"$work/relay.log" 2>&1 &
relay=$!
for _ in $(seq 1 100); do
    grep -q "ready on" "$work/relay.log" && break
    kill -0 "$relay" 2>/dev/null || { cat "$work/relay.log"; fail "the relay did not start"; }
    sleep 0.1
done
url=$(sed -n 's/.*ready on \(https:[^ ]*\).*/\1/p' "$work/relay.log" | head -n 1)
[ -n "$url" ] || { cat "$work/relay.log"; fail "the relay did not report its address"; }
ca="$state/tls/ca.pem"
echo "installed relay: $url"

cli() {
    local home="$work/home-$1"
    shift
    mkdir -p "$home"
    HOME="$home" XDG_CONFIG_HOME="$home/.config" LC_ALL=C.UTF-8 TESSARY_SERVER_URL="$url" \
        TESSARY_CA_FILE="$ca" tessary-cli "$@"
}
alice=$(cli alice id)
bob=$(cli bob id)
cli alice add "$bob" Bob
head -c 300000 /dev/urandom >"$work/payload.bin"
file_id=$(cli alice send "$bob" "$work/payload.bin")
cli bob inbox | grep -q "^$file_id	" || fail "container $file_id is not in the recipient's inbox"
cli bob accept "$file_id" --to "$work/received" >/dev/null
received=$(find "$work/received" -name payload.bin | head -n 1)
cmp "$work/payload.bin" "$received" || fail "the received file differs"
cli alice history | grep -q "	$file_id	Delivered	" || fail "the sender's history does not show the delivery"
echo "installed tessary-cli: $alice sent container $file_id to $bob"

# The installed programs find their translations, and the window's start-at-logon entry starts the
# installed program.
mkdir -p "$work/home-de/.config/Tessary"
printf '[General]\nlocale=de_DE\n' >"$work/home-de/.config/Tessary/Tessary.conf"
german=$(cli de 2>&1 || true)
[[ $german == *"Kein Befehl angegeben"* ]] || fail "the installed tessary-cli is not translated: $german"
home="$work/home-window"
mkdir -p "$home"
HOME="$home" XDG_CONFIG_HOME="$home/.config" TESSARY_SERVER_URL="$url" TESSARY_CA_FILE="$ca" \
    timeout 20 xvfb-run -a tessary >"$work/window.log" 2>&1 || true
entry="$home/.config/autostart/tessary.desktop"
if ! grep -qx 'Exec="/usr/lib/tessary/tessary"' "$entry" || ! grep -qx 'TryExec=/usr/lib/tessary/tessary' "$entry"; then
    cat "$work/window.log"
    fail "the start-at-logon entry does not start the installed window"
fi

kill "$relay"
wait "$relay" || true
relay=""
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tessary tessary-server >/dev/null
installed=""
list_files >"$work/after"
if ! diff "$work/before" "$work/after"; then
    fail "files were left behind or removed by the packages"
fi
! getent passwd "$user" >/dev/null || fail "the user $user was left behind"
! getent group "$user" >/dev/null || fail "the group $user was left behind"
echo "packages installed, used and purged without leftovers"
