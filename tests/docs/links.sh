#!/usr/bin/env bash
# Every relative link in the README and in docs/ must reach a file of the
# repository, and a #fragment a heading of that file (GitHub's anchors:
# lower case, punctuation dropped, spaces as hyphens).
set -euo pipefail
cd "$1"
status=0

anchors() {  # the anchors of a Markdown file's headings, one per line
  grep -E '^#+ ' "$1" | sed -E 's/^#+ +//' | tr 'A-Z' 'a-z' |
    sed -E 's/[^a-z0-9 _-]//g; s/ /-/g'
}

for page in README.md docs/*.md; do
  # [text](target): the target up to the closing parenthesis
  while read -r target; do
    case "$target" in http://*|https://*|mailto:*) continue ;; esac
    file=${target%%#*}
    fragment=
    [[ "$target" == *#* ]] && fragment=${target#*#}
    path=$page
    if [ -n "$file" ]; then path=$(dirname "$page")/$file; fi
    if [ ! -e "$path" ]; then
      echo "$page: link to '$target': no such file"; status=1; continue
    fi
    if [ -n "$fragment" ] && ! anchors "$path" | grep -qx -- "$fragment"; then
      echo "$page: link to '$target': no such heading in $path"; status=1
    fi
  done < <(grep -oE '\]\([^)]+\)' "$page" | sed -E 's/^\]\(//; s/\)$//')
done
exit $status
