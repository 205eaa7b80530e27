#!/bin/sh
# The npm package's TypeScript declarations: a host in TypeScript type-checks
# against them (tsc --noEmit, from npm's typescript, pinned, into WORK).
#   node_package_types.sh SOURCE_DIR ARCHIVES WORK
set -u
source=$1 archives=$2 work=$3
package=$(ls "$archives"/brenquisat-*.tgz 2>/dev/null | head -n 1)
[ -n "$package" ] || { echo "node_package_types: no npm package in $archives: scripts/archives makes it"; exit 1; }
rm -rf "$work" && mkdir -p "$work" && cp "$source/tests/bindings/node_package_host.ts" "$work/" || exit 1
# For a Windows program, installed here as node_package_host installs it (run_host.sh).
(cd "$work" && npm install --os=win32 --cpu=x64 --force --no-audit --no-fund "$package" typescript@5.9.3 \
    >npm.log 2>&1) || { tail -n 20 "$work/npm.log"; echo "node_package_types: npm could not install"; exit 1; }
(cd "$work" && npx --no-install tsc --noEmit --strict --module commonjs --target es2020 node_package_host.ts) ||
    { echo "node_package_types: node_package_host.ts does not type-check against the package's index.d.ts"; exit 1; }
echo "node_package_types: node_package_host.ts type-checks against the package's index.d.ts (tsc $(cd "$work" && npx --no-install tsc --version))"
