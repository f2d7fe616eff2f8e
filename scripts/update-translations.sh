#!/usr/bin/env bash
# Refreshes the translation sources i18n/*.ts from the C++ sources and the QML interface. Existing
# translations are kept; new texts appear as unfinished, texts that left the code are dropped.
# A language is added by naming its file: scripts/update-translations.sh i18n/fr_FR.ts
set -euo pipefail
cd "$(dirname "$0")/.."

lupdate=$(command -v lupdate || echo /usr/lib/qt5/bin/lupdate)
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
    files=(i18n/*.ts)
fi
for ts in "${files[@]}"; do
    "$lupdate" -silent -locations none -no-obsolete -extensions cpp,h,qml,js -I . \
        app net gpg models containers platform cli qml \
        -target-language "$(basename "$ts" .ts)" -ts "$ts"
done
