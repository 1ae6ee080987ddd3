#!/usr/bin/env bash
# Checks that the release is reproducible: builds it here (scripts/release.sh,
# into build-win, build-win64 and dist/) and again from a copy of this
# checkout in a temporary folder, another absolute path with its own build
# folders, and fails when any file of the two dist/ folders (both Vardion.exe,
# both zips) differs in any byte, or one has a file the other lacks.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

# The copy has no git history: both take the zip's file times from this commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi

echo "-- release in $top"
bash scripts/release.sh

copy=$(mktemp -d /tmp/vardion-reproducible.XXXXXX)
trap 'rm -rf "$copy"' EXIT
mkdir "$copy/source"
tar -cf - --exclude='./build*' --exclude=./dist --exclude=./.git . | tar -xf - -C "$copy/source"
echo "-- release in $copy/source"
start=$SECONDS
bash "$copy/source/scripts/release.sh"
echo "(built in $((SECONDS - start)) s)"

differ=0
here=$(cd dist && find . -type f | sort)
there=$(cd "$copy/source/dist" && find . -type f | sort)
if [ "$here" != "$there" ]; then
    echo "FAIL: the two builds put different files into dist/" >&2
    diff <(echo "$here") <(echo "$there") >&2 || true
    exit 1
fi
for file in $here; do
    cmp "dist/$file" "$copy/source/dist/$file" ||
        { echo "FAIL: dist/${file#./} differs between the two builds" >&2; differ=1; }
done
[ "$differ" -eq 0 ] || exit 1
echo "Both builds gave the same bytes: $(echo "$here" | sed 's|^\./||' | paste -sd ' ')"
