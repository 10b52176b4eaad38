#!/usr/bin/env bash
# Fails when code outside src/config spells a settings section or key as a string literal: every
# key is one row of the key table in src/config/KeyCatalogue.h and code names it by that row
# (keys::UploadOptions::FTPServer), so a misspelt key does not compile. Texts shown to the user
# that happen to be a key's name (a "Password" label) are not settings access and are allowed
# when written as QStringLiteral or QLatin1String. Tests may spell keys as they like.
set -euo pipefail
cd "$(dirname "$0")/.."

table=src/config/KeyCatalogue.h
names=$( {
  sed -n 's/^inline constexpr std::string_view k[A-Za-z]* = "\([A-Za-z0-9]*\)";$/\1/p' "$table"
  sed -n 's/.*= Row(s, "\([A-Za-z0-9]*\)".*/\1/p' "$table"
} | sort -u)
count=$(wc -l <<<"$names")
if (( count < 100 )); then
  echo "check-setting-names: only $count names read from $table; has its layout changed?" >&2
  exit 1
fi
patterns=$(sed 's/.*/"&"/' <<<"$names")
found=$(grep -rnoFf <(echo "$patterns") src --include='*.cpp' --include='*.h' |
  grep -v '^src/config/' || true)
bad=""
while IFS=: read -r file line literal; do
  [[ -z "$file" ]] && continue
  text=$(sed -n "${line}p" "$file")
  if grep -qE "(QStringLiteral|QLatin1String)\($literal\)" <<<"$text"; then
    continue
  fi
  bad+="$file:$line: $literal"$'\n'
done <<<"$found"
# "Section/Key" inside a longer text (a message naming a key) counts too; comments do not.
sections=$(sed -n 's/^inline constexpr std::string_view k[A-Za-z]* = "\([A-Za-z0-9]*\)";$/\1/p' "$table" |
  paste -sd'|')
while IFS= read -r hit; do
  [[ -z "$hit" ]] && continue
  bad+="$hit"$'\n'
done < <(grep -rnE "\"[^\"]*\b($sections)/[A-Z]" src --include='*.cpp' --include='*.h' |
  grep -v '^src/config/' | grep -vE '^[^:]+:[0-9]+:\s*//' || true)
if [[ -n "$bad" ]]; then
  echo "check-setting-names: settings names spelt as strings outside src/config (name the" \
       "key's row in config/KeyCatalogue.h instead):" >&2
  printf '%s' "$bad" >&2
  exit 1
fi
echo "check-setting-names: $count section and key names, none spelt outside src/config"
