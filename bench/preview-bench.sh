#!/usr/bin/env bash
# preview-bench: times qml-preview on prt-bench's synthetic projects, against
# another build of it (the tree before a change) in the same invocation.
# Usage: bench/preview-bench.sh <build bin folder> <other qml-preview or its bin folder> [screens...]
# For each screen count (default 400 3200): full draws of every document
# on one worker by both builds, PREVIEW_BENCH_ROUNDS (5) of each, their
# medians compared (order swapped every count; one untimed draw by each
# first), then with this build full draws on two workers, redraws with
# nothing changed and redraws with one control renamed (the medians of as
# many rounds, twice as many for the last), each checked byte for byte
# (diff -r) against a full draw of the same documents; the two builds'
# pictures compared pixel for pixel (python3).
# Wall and processor time (all processes) from /usr/bin/time.
set -euo pipefail
bin=$(realpath "$1"); other=$(realpath "$2"); shift 2
[ -d "$other" ] && other=$other/qml-preview  # the other build's bin folder
counts=("${@:-400}")
rounds=${PREVIEW_BENCH_ROUNDS:-5}
[ $# -gt 0 ] || counts=(400 3200)
work=/dev/shm/preview-bench.$$
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"

timed() {  # label, then the command; prints "label wall cpu"
  local label=$1; shift
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err"; exit 1; }
  read -r wall user sys <"$work/time"
  printf '%-28s %8.2f s wall %8.2f s cpu\n' "$label" "$wall" "$(echo "$user + $sys" | bc)"
  echo "$wall $(echo "$user + $sys" | bc)" >"$work/last"
}
same() {  # two pictures folders, the record aside
  diff -r -x .qml-preview-record "$1" "$2" >/dev/null && echo "  byte-identical: yes" || echo "  byte-identical: NO"
}
# Two builds' pictures folders: every picture the same size and rows (both
# write rows unfiltered, so the inflated data are the rows), every thumbnail
# the same size and within 2 of each other in every channel (they are
# shrunk by different code since c98ad22), the screens' pages the same
# bytes; the contact sheets and index.html aside, whose layout may differ
# between builds.
same_pixels() {
  python3 - "$1" "$2" <<'PY' && echo "  pictures and pages the same pixels and bytes, thumbnails within 2: yes" || echo "  pictures and pages the same pixels and bytes, thumbnails within 2: NO"
import os, struct, sys, zlib
def rows(path):
    data, pos, head, idat = open(path, 'rb').read(), 8, None, b''
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        if kind == b'IHDR': head = data[pos + 8:pos + 8 + n]
        if kind == b'IDAT': idat += data[pos + 8:pos + 8 + n]
        pos += 12 + n
    return head, zlib.decompress(idat)
a, b = sys.argv[1], sys.argv[2]
names = {os.path.relpath(os.path.join(r, f), a) for r, _, fs in os.walk(a) for f in fs}
other = {os.path.relpath(os.path.join(r, f), b) for r, _, fs in os.walk(b) for f in fs}
mine = {n for n in names | other if not n.startswith(('index', '.qml-preview'))}
def near(x, y):
    return x[0] == y[0] and len(x[1]) == len(y[1]) and all(abs(p - q) <= 2 for p, q in zip(x[1], y[1]))
def same(n):
    if not n.endswith('.png'):
        return open(os.path.join(a, n), 'rb').read() == open(os.path.join(b, n), 'rb').read()
    x, y = rows(os.path.join(a, n)), rows(os.path.join(b, n))
    return near(x, y) if n.startswith('thumbs/') else x == y
bad = [n for n in sorted(mine) if n not in names or n not in other or not same(n)]
print(f"  {len(mine)} files compared, {len(bad)} differ {bad[:3]}")
sys.exit(1 if bad else 0)
PY
}
sizes() {  # bytes of the .png files of two folders
  echo "  PNG bytes, after / before: $(find "$1" -name '*.png' -printf '%s\n' | awk '{s+=$1} END {print s}') / $(find "$2" -name '*.png' -printf '%s\n' | awk '{s+=$1} END {print s}')"
}

round=0
for n in "${counts[@]}"; do
  p=$work/p$n
  "$bin/prt-bench" --runs 1 --screens "$n" --plain --work "$p" >/dev/null 2>&1
  (cd "$p/project" && "$bin/prt2qml" bench.prt >/dev/null 2>&1)
  q=$p/project/qmls; d=$p/project/bench.prt
  docs=$(ls "$q"/*.qml | wc -l)
  echo "== $n screens ($docs documents), load average $(cut -d' ' -f1 /proc/loadavg)"
  builds=("$other" "$bin/qml-preview"); names=(before after)
  [ $((round % 2)) -eq 0 ] || { builds=("$bin/qml-preview" "$other"); names=(after before); }
  round=$((round + 1))
  # Rounds of one full draw by each build, the order kept within a count;
  # each build's median processor time counts, as one slow moment of a
  # shared machine moves a single draw by a tenth. An untimed draw by each
  # comes first: a machine's first draws after a while are the slowest.
  declare -A cpu
  for i in 0 1; do
    : >"$work/cpu-${names[$i]}"
    "${builds[$i]}" "$q" -o "$p/warm" --prt "$d" -q -j 1 >/dev/null 2>&1
    rm -rf "$p/warm"
  done
  for ((r = 1; r <= rounds; r++)); do
    for i in 0 1; do
      rm -rf "$p/${names[$i]}"
      timed "full, -j 1, ${names[$i]} ($r)" "${builds[$i]}" "$q" -o "$p/${names[$i]}" --prt "$d" -q -j 1
      read -r wall c <"$work/last"; echo "$c" >>"$work/cpu-${names[$i]}"
    done
  done
  for i in 0 1; do
    c=$(sort -n "$work/cpu-${names[$i]}" | sed -n "$(((rounds + 1) / 2))p"); cpu[${names[$i]}]=$c
    echo "  ${names[$i]}: median $c s cpu, per document $(echo "scale=2; $c * 1000 / $docs" | bc) ms of processor time"
  done
  same_pixels "$p/before" "$p/after"
  sizes "$p/after" "$p/before"
  echo "  after / before, processor time per document: $(echo "scale=3; ${cpu[after]} / ${cpu[before]}" | bc)"
  # The redraws against a full draw on two workers, each the median of
  # `rounds` runs: nothing changed, then one control renamed, the runs
  # alternating between the renamed and the original page so that each
  # redraws one screen.
  median() { sort -n "$1" | sed -n "$((($(wc -l <"$1") + 1) / 2))p"; }
  : >"$work/walls"
  for ((r = 1; r <= rounds; r++)); do
    rm -rf "$p/full"
    timed "full, -j 2, after ($r)" "$bin/qml-preview" "$q" -o "$p/full" --prt "$d" -q -j 2
    read -r wall _ <"$work/last"; echo "$wall" >>"$work/walls"
  done
  full=$(median "$work/walls")
  echo "  full, -j 2: median $full s wall"
  : >"$work/walls"
  for ((r = 1; r <= rounds; r++)); do
    timed "nothing changed, -j 2 ($r)" "$bin/qml-preview" "$q" -o "$p/full" --prt "$d" -q -j 2
    read -r wall _ <"$work/last"; echo "$wall" >>"$work/walls"
  done
  echo "  median $(median "$work/walls") s, of the full draw: $(echo "scale=1; 100 * $(median "$work/walls") / $full" | bc) %"
  same "$p/full" "$p/after"
  cp -a "$q" "$p/qmls2"
  page=$(ls "$p/qmls2"/page*.qml | sed -n 15p)
  awk '/^controlName: "/ && ++n == 2 { sub(/"$/, " renamed\"") } 1' "$page" >"$work/page" && cp "$work/page" "$page"
  cmp -s "$page" "$q/$(basename "$page")" && { echo "no control renamed in $page"; exit 1; }
  : >"$work/walls"
  for ((r = 1; r <= 2 * rounds; r++)); do
    from=$q; [ $((r % 2)) -eq 1 ] && from=$p/qmls2
    timed "one changed, -j 2 ($r)" "$bin/qml-preview" "$from" -o "$p/full" --prt "$d" -q -j 2
    read -r wall _ <"$work/last"; echo "$wall" >>"$work/walls"
  done
  one=$(median "$work/walls")
  echo "  median $one s, of the full draw: $(echo "scale=1; 100 * $one / $full" | bc) %"
  "$bin/qml-preview" "$q" -o "$p/fresh" --prt "$d" -q -j 2 --full
  same "$p/full" "$p/fresh"
  rm -rf "$p"
done
