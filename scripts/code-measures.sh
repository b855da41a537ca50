#!/usr/bin/env bash
# The limits the product's folders keep, measured: per folder the longest
# function (ctags' start and end lines, lambdas counted in the function
# around them) and the longest source file, then the tests' share of the
# code (non-blank lines that are not // comments; bench/ counted in
# neither). Exits 1 when a limit is passed.
#   scripts/code-measures.sh [max function lines] [max file lines] [max main lines]
set -euo pipefail
cd "$(dirname "$0")/.."
maxFunction=${1:-60}
maxFile=${2:-450}
maxMain=${3:-40}
folders=(platform data/image data/files data/set data/manager qml controls cipher convert cli app)
status=0

printf '%-14s %-52s %5s   %-34s %5s\n' folder "longest function" lines "longest file" lines
for folder in "${folders[@]}"; do
  files=$(git ls-files "$folder" | grep -E '\.(cpp|h)$' || true)
  [ -n "$files" ] || continue
  # name, file, start, end of every function with a body
  longest=$(ctags --fields=+ne --c++-kinds=f --extras=-q -o - $files |
    awk -F'\t' '$1 !~ /^__anon/ { s = ""; e = "";
                   for (i = 4; i <= NF; ++i) { if ($i ~ /^line:/) s = substr($i, 6); if ($i ~ /^end:/) e = substr($i, 5) }
                   if (s != "" && e != "") print e - s + 1 "\t" $2 ":" s " " $1 }' |
    sort -n | tail -1)
  fileLines=$(wc -l $files | grep -v ' total$' | sort -n | tail -1 | awk '{print $1 "\t" $2}')
  fnLines=${longest%%$'\t'*}
  printf '%-14s %-52s %5s   %-34s %5s\n' "$folder" "${longest#*$'\t'}" "$fnLines" "${fileLines#*$'\t'}" \
    "${fileLines%%$'\t'*}"
  if [ "${fnLines:-0}" -gt "$maxFunction" ] || [ "${fileLines%%$'\t'*}" -gt "$maxFile" ]; then status=1; fi
done

mainLines=$(ctags --fields=+ne --c++-kinds=f -o - app/main.cpp |
  awk -F'\t' '$1 == "main" { for (i = 4; i <= NF; ++i) { if ($i ~ /^line:/) s = substr($i, 6); if ($i ~ /^end:/) e = substr($i, 5) }
                            print e - s + 1 }')
echo "main: $mainLines lines"
[ "$mainLines" -le "$maxMain" ] || status=1

count() { grep -hv -e '^[[:space:]]*$' -e '^[[:space:]]*//' "$@" | wc -l; }
tests=$(count $(git ls-files 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h'))
code=$(count $(git ls-files '*.cpp' '*.h' | grep -v -e '^tests/' -e '^fuzz/' -e '^bench/'))
echo "tests: $tests lines, code: $code lines, share $(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.1f %%", 100 * t / c }')"
awk -v t="$tests" -v c="$code" 'BEGIN { exit !(t >= 0.25 * c && t <= 0.35 * c) }' || status=1
exit $status
