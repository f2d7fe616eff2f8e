#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tessary need.
set -euo pipefail

packages=(
    g++ clang libclang-rt-14-dev cmake ninja-build pkg-config ccache clang-format
    qtbase5-dev libqt5sql5-sqlite qtdeclarative5-dev qtquickcontrols2-5-dev libqt5svg5-dev
    qttools5-dev qttools5-dev-tools qtdeclarative5-dev-tools
    qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
    qml-module-qtquick-templates2 qml-module-qtquick-layouts qml-module-qt-labs-settings
    qml-module-qt-labs-platform qml-module-qtgraphicaleffects qml-module-qttest
    libcpp-httplib-dev libssl-dev openssl libsqlite3-dev gnupg
    xvfb xauth curl python3 procps time gcovr
    fonts-wqy-microhei file dpkg-dev lintian appstream
    libpq-dev postgresql-15 libqt5sql5-psql util-linux passwd dosfstools fusefat
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
