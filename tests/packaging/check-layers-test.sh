#!/usr/bin/env bash
# scripts/check-layers.sh on a small tree of its own: a downward include and a folder's own
# headers pass, one upward include fails and is named with its line.
set -euo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
echo 'set(VISTREL_FOLDERS platform imaging/codec imaging app)' >"$tree/CMakeLists.txt"
mkdir -p "$tree/src/platform" "$tree/src/imaging/codec" "$tree/src/app"
printf '#include "platform/A.h"\n#include <vector>\n' >"$tree/src/imaging/codec/C.cpp"
printf '#include "imaging/codec/C.h"\n#include "imaging/B.h"\n' >"$tree/src/imaging/B.cpp"
printf '#include "imaging/B.h"\n#include "other/X.h"\n' >"$tree/src/app/Hub.cpp"
bash "$script" "$tree" || { echo "FAIL: a clean tree was refused"; exit 1; }

printf '// a comment\n#include "imaging/B.h"\n' >"$tree/src/imaging/codec/D.h"
if out=$(bash "$script" "$tree" 2>&1); then
  echo "FAIL: an upward include passed"
  exit 1
fi
grep -qF 'src/imaging/codec/D.h:2: includes imaging/B.h (imaging is above imaging/codec)' \
  <<<"$out" || { echo "FAIL: unexpected report: $out"; exit 1; }
echo "check-layers: ok"
