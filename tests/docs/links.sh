#!/usr/bin/env bash
# Every relative link in the README and docs/ reaches a file of the repository,
# and a #fragment a heading there (GitHub's anchors: lower case, punctuation
# dropped, spaces as hyphens).
set -euo pipefail
cd "$1"
status=0
for page in README.md docs/*.md; do
  while read -r target; do
    [[ "$target" =~ ^(https?|mailto): ]] && continue
    file=${target%%#*}; path=$page
    [ -n "$file" ] && path=$(dirname "$page")/$file
    if [ ! -e "$path" ]; then echo "$page: link to '$target': no such file"; status=1; continue; fi
    [[ "$target" == *#* ]] || continue
    grep -E '^#+ ' "$path" | sed -E 's/^#+ +//' | tr 'A-Z' 'a-z' | sed -E 's/[^a-z0-9 _-]//g; s/ /-/g' |
      grep -qx -- "${target#*#}" || { echo "$page: link to '$target': no such heading in $path"; status=1; }
  done < <(grep -oE '\]\([^)]+\)' "$page" | sed -E 's/^\]\(//; s/\)$//')
done
exit $status
