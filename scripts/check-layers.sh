#!/usr/bin/env bash
# Fails when a library includes a header of a folder above it, and names the includes. The
# order, lowest first, is VISTREL_FOLDERS in the top CMakeLists.txt; a folder may include its
# own headers and those of every folder before it. Every library sees all of src/ on its include
# path, so without this check an upward include would compile.
#   check-layers.sh [ROOT]   ROOT holds CMakeLists.txt and src/ (default: the source tree)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

order=$(sed -n 's/^set(VISTREL_FOLDERS \(.*\))$/\1/p' CMakeLists.txt)
read -ra folders <<<"$order"
if (( ${#folders[@]} < 2 )); then
  echo "check-layers: no VISTREL_FOLDERS order read from $root/CMakeLists.txt" >&2
  exit 1
fi

# The folder a path belongs to: the longest listed folder it lies in ("imaging/codec/X.h" is in
# imaging/codec, "imaging/Y.h" in imaging). Prints its rank, or nothing for an unlisted one.
rank_of() {
  local path=$1 best=-1 best_len=0 i
  for i in "${!folders[@]}"; do
    local f=${folders[$i]}
    if [[ "$path" == "$f/"* ]] && (( ${#f} > best_len )); then
      best=$i
      best_len=${#f}
    fi
  done
  (( best >= 0 )) && echo "$best"
  return 0
}

bad=""
while IFS=: read -r file line text; do
  [[ -z "$file" ]] && continue
  header=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
  [[ -z "$header" ]] && continue
  own=$(rank_of "${file#src/}")
  target=$(rank_of "$header")
  [[ -z "$own" || -z "$target" ]] && continue
  if (( target > own )); then
    bad+="$file:$line: includes $header (${folders[$target]} is above ${folders[$own]})"$'\n'
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src \
           --include='*.cpp' --include='*.h' || true)

if [[ -n "$bad" ]]; then
  echo "check-layers: a library includes a header of a folder above it:" >&2
  printf '%s' "$bad" >&2
  exit 1
fi
