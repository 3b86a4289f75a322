#!/usr/bin/env bash
# Builds the Debian packages described in debian/ and leaves the .deb files in
# OUTDIR (default build/packages), replacing any from an earlier run.
#
#   scripts/build-debs.sh [OUTDIR [WORKDIR]]
#
# dpkg-buildpackage writes into debian/ and next to the source directory, so
# it runs on a copy of the source tree in WORKDIR (default build/deb): the
# repository and its parent directory stay as they were. No root is needed
# (debian/control has Rules-Requires-Root: no). JOBS sets the parallelism
# (default: the number of cores).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$top/build/packages}" && cd "${1:-$top/build/packages}" && pwd)
work=$(mkdir -p "${2:-$top/build/deb}" && cd "${2:-$top/build/deb}" && pwd)
jobs=${JOBS:-$(nproc)}

case "$top/" in
  "$work"/*) echo "build-debs: $work holds the source tree; pick another WORKDIR" >&2; exit 2 ;;
esac
rm -rf "$work"
mkdir -p "$work/src"

# The copy holds the files git tracks, as they are in the work tree (a new
# file is packaged once it is added); outside a git checkout, everything but
# the build directories.
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$top" && git ls-files -z --cached) |
    (cd "$top" && while IFS= read -r -d '' f; do
       # A tracked file deleted in the work tree is not copied.
       if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
     done) |
    tar -C "$top" --null --no-recursion -T - -cf - | tar -C "$work/src" -xf -
else
  tar -C "$top" --exclude=./build --exclude='./build-*' -cf - . | tar -C "$work/src" -xf -
fi

cd "$work/src"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }nocheck parallel=$jobs" \
  dpkg-buildpackage -b -us -uc

rm -f "$out"/*.deb
mv "$work"/*.deb "$out"/
echo "build-debs: built into $out:"
ls -1 "$out"
