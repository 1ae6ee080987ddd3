#!/usr/bin/env bash
# Checks that the release is reproducible: builds it here (scripts/release.sh,
# into build-win and dist/) and again from a copy of this checkout in a
# temporary folder, another absolute path with its own build folder, and fails
# when the two Vardion.exe or the two zips differ in any byte.
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
for file in dist/*; do
    cmp "$file" "$copy/source/$file" || { echo "FAIL: $file differs between the two builds" >&2; differ=1; }
done
[ "$differ" -eq 0 ] || exit 1
echo "Both builds gave the same bytes: $(cd dist && echo *)"
