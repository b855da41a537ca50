#!/usr/bin/env bash
# Pastes the README's five-minute tour line by line, as a newcomer would
# after ./run.sh: in a scratch copy of the repository's layout (build/bin
# and examples/ linked in) with a home of its own. Every line must succeed,
# and the re-run after the one edit must reuse all but the edited screen.
#   tour.sh <source folder> <folder of the built programs>
set -euo pipefail
source=$1
bin=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/repo/build" "$scratch/home"
ln -s "$bin" "$scratch/repo/build/bin"
ln -s "$source/examples" "$scratch/repo/examples"

# The tour: the lines of the code blocks between its heading and the next.
tour=$(awk '/^## /{inTour = ($0 == "## A five-minute tour")} inTour' "$source/README.md" |
       awk '/^```/{block = !block; next} block')
[ -n "$tour" ] || { echo "README.md has no tour"; exit 1; }

cd "$scratch/repo"
log=$scratch/log
while IFS= read -r line; do
  echo "\$ $line"
  if ! HOME=$scratch/home bash -c "$line" >"$log" 2>&1; then
    cat "$log"; echo "tour: this line failed: $line"; exit 1
  fi
  # A line that shows a status (`...; echo "diff: $?"`) may only show 0 or 1:
  # the answers of diff-like programs, never their trouble.
  if [[ "$line" =~ echo\ \"[a-z]+:\ \$\?\"$ ]] && ! tail -n1 "$log" | grep -qE '^[a-z]+: [01]$'; then
    cat "$log"; echo "tour: this line answered trouble: $line"; exit 1
  fi
  cat "$log" >> "$scratch/all"
done <<< "$tour"
grep -q '1 documents compiled, 6 reused from the last run' "$scratch/all" ||
  { cat "$scratch/all"; echo "tour: the re-run did not reuse the unchanged screens"; exit 1; }
