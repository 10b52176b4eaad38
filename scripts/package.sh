#!/usr/bin/env bash
# Builds the Debian packages vistreld, vistrel, vistrel-netcam and vistrel-targets into a folder,
# and beside them the source package (vistrel_VERSION.dsc and .tar.xz) they were built from.
#   scripts/package.sh [FOLDER]     (default: packages/)
#   PACKAGE_WORK_DIR   where a copy of the sources is built (default: build-package; the tests
#                      build there too)
# The copy keeps the same path from run to run, so ccache (used when installed) finds the objects
# of the last build again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/bootstrap.sh --package
out=$(realpath -m "${1:-packages}")
work=$(realpath -m "${PACKAGE_WORK_DIR:-build-package}")
version=$(dpkg-parsechangelog -S Version)
src="$work/vistrel-$version"

# The sources as git knows them (committed or not, without what .gitignore leaves out).
rm -rf "$src"
mkdir -p "$src" "$out"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [[ -e "$f" || -L "$f" ]] && printf '%s\0' "$f"; done |
  tar -C "$root" --null -T - -cf - | tar -C "$src" -xf -

export DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
# Without debug-symbol packages the debug information would only be stripped again: compiling
# without it makes the same packages in less time (and debian/rules leaves out dwz then).
export DEB_CFLAGS_APPEND="-g0 ${DEB_CFLAGS_APPEND:-}" DEB_CXXFLAGS_APPEND="-g0 ${DEB_CXXFLAGS_APPEND:-}"
if command -v ccache >/dev/null; then
  export VISTREL_COMPILER_LAUNCHER=ccache
  # debhelper gives the build a HOME of its own inside the copy, which goes after each run: keep
  # the user's cache, or every package build starts cold.
  CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  export CCACHE_DIR
fi
rm -f "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$work"/*.dsc "$work"/*.tar.xz
# The source package first, from the clean copy (the build leaves its objects in the copy).
(cd "$work" && dpkg-source -b "vistrel-$version" >/dev/null)
(cd "$src" && dpkg-buildpackage -b -uc -us)

rm -f "$out"/vistrel*_"$version"_*.deb "$out"/vistrel_"$version"_*.changes \
      "$out"/vistrel_"$version"_*.buildinfo "$out"/vistrel_"$version".dsc \
      "$out"/vistrel_"$version".tar.xz
mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$work"/*.dsc "$work"/*.tar.xz "$out"/
rm -rf "$src"
echo "package: $(cd "$out" && ls ./*.deb ./*.dsc | tr '\n' ' ')in $out"
