#!/usr/bin/env bash
# Pastes the README's tour line by line, as a newcomer would after ./run.sh, in
# a scratch layout (build/bin and examples/ linked) with a home of its own.
# Each line must succeed; one showing a status (`...; echo "diff: $?"`) may
# show only 0 or 1; the re-run after the edit must reuse the other screens.
#   tour.sh <source folder> <folder of the built programs>
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/repo/build" "$scratch/home"
ln -s "$2" "$scratch/repo/build/bin"
ln -s "$1/examples" "$scratch/repo/examples"
tour=$(awk '/^## /{on = ($0 == "## A five-minute tour")} on' "$1/README.md" | awk '/^```/{b = !b; next} b')
[ -n "$tour" ] || { echo "README.md has no tour"; exit 1; }
cd "$scratch/repo"
while IFS= read -r line; do
  echo "\$ $line"
  HOME=$scratch/home bash -c "$line" >"$scratch/log" 2>&1 || { cat "$scratch/log"; echo "tour: failed"; exit 1; }
  if [[ "$line" =~ echo\ \"[a-z]+:\ \$\?\"$ ]] && ! tail -n1 "$scratch/log" | grep -qE '^[a-z]+: [01]$'; then
    cat "$scratch/log"; echo "tour: trouble"; exit 1
  fi
  cat "$scratch/log" >> "$scratch/all"
done <<< "$tour"
grep -q '1 document compiled, 6 reused from the last run' "$scratch/all" || { cat "$scratch/all"; exit 1; }
