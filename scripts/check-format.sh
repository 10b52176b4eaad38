#!/usr/bin/env bash
# Fails when a tracked C or C++ file under src, tests or bench differs from .clang-format, and
# names the files. Formatting changes between clang-format releases, so the check insists on
# major version 14 (the one in Debian 12) so that developers and CI agree.
#   CLANG_FORMAT  the clang-format to use (default: clang-format-14, else clang-format)
set -euo pipefail
cd "$(dirname "$0")/.."

required=14
tool=${CLANG_FORMAT:-}
if [[ -z "$tool" ]]; then
  for candidate in "clang-format-$required" clang-format; do
    if command -v "$candidate" >/dev/null; then
      tool=$candidate
      break
    fi
  done
fi
if [[ -z "$tool" ]] || ! command -v "$tool" >/dev/null; then
  echo "check-format: clang-format $required is needed and ${tool:-clang-format} was not found" \
       "(Debian 12: apt-get install clang-format-$required)" >&2
  exit 1
fi
# "Debian clang-format version 14.0.6" and the like: the first number after "version".
version=$("$tool" --version 2>/dev/null | sed -n 's/.*version \([0-9][0-9]*\)\..*/\1/p' | head -n 1)
if [[ "$version" != "$required" ]]; then
  echo "check-format: clang-format $required is needed, $tool is version ${version:-unknown}" \
       "(Debian 12: apt-get install clang-format-$required)" >&2
  exit 1
fi

pattern='\.(c|cc|cpp|cxx|h|hh|hpp|hxx)$'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- src tests bench | grep -E "$pattern" || true)
else
  mapfile -t files < <(find src tests bench -type f | grep -E "$pattern" | sort)
fi
[[ ${#files[@]} -gt 0 ]] || { echo "check-format: no C or C++ files found" >&2; exit 1; }

# Batches in parallel; each difference is reported as "file:line:col: error: ...".
report=$(printf '%s\0' "${files[@]}" |
         xargs -0 -n 40 -P "$(nproc)" "$tool" --dry-run --Werror 2>&1 || true)
mapfile -t differ < <(grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u)
if [[ ${#differ[@]} -gt 0 ]]; then
  echo "check-format: ${#differ[@]} file(s) differ from .clang-format:" >&2
  printf '  %s\n' "${differ[@]}" >&2
  echo "Format them with: $tool -i ${differ[*]}" >&2
  exit 1
fi
if [[ -n "$report" ]]; then
  # clang-format failed in another way (an unreadable file, a broken .clang-format).
  echo "$report" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files match .clang-format ($tool $version)"
