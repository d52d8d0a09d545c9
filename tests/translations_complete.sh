#!/usr/bin/env bash
# Every user text of the sources has its translation in each .ts file: runs
# lupdate over src/ into a copy of each and lists what is new or unfinished.
# (Adding the translations: README, "Translations".)
#
#   tests/translations_complete.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate="$1" source="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
for ts in "$source"/translations/*.ts; do
    cp "$ts" "$scratch/check.ts"
    "$lupdate" -silent -no-obsolete -locations none "$source/src" -ts "$scratch/check.ts"
    missing="$(grep -B2 'type="unfinished"' "$scratch/check.ts" | sed -n 's|.*<source>\(.*\)</source>.*|    \1|p' || true)"
    if [[ -n "$missing" ]]; then
        echo "$(basename "$ts") lacks translations of:"
        echo "$missing"
        status=1
    fi
done
exit $status
