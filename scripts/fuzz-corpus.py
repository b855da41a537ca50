#!/usr/bin/env python3
"""Folds a fuzzing campaign's finds into fuzz/corpus within a size budget.

Usage: scripts/fuzz-corpus.py <dataset-fuzzer> <budget in bytes> <folder>...

Runs the fuzzer's set-cover merge over fuzz/corpus and the folders,
counting edges only (not how often each is hit), to learn from its control
file which edges each input reaches (a plain merge records only the edges
an input adds to those before it).
The inputs of fuzz/corpus with a name of their own (the seeds and the
inputs of earlier findings) stay. Then, while the budget lasts, the input
that reaches the most edges not reached yet per byte is added (a file
costs 512 bytes more than its size, so fewer files win a tie). Inputs
named by their hash that are not chosen leave the corpus; chosen ones are
named by the hash of their bytes. A full cover of every edge a campaign
reaches takes whole data sets of some 11 KB each for its last few edges,
hence the budget.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

OVERHEAD = 512


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__.split("\n\n")[1])
    fuzzer, budget, folders = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    corpus = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus"))
    with tempfile.TemporaryDirectory() as tmp:
        control, out = os.path.join(tmp, "control"), os.path.join(tmp, "out")
        os.mkdir(out)
        # Fixed addresses: the sanitizer's type check caches by address.
        subprocess.run(["setarch", "-R", fuzzer, "-set_cover_merge=1", "-use_counters=0",
                        "-merge_control_file=" + control, out, corpus, *folders],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        lines = open(control).read().split("\n")
    count = int(lines[0])
    files = lines[2:2 + count]
    edges = {}
    for fields in (line.split() for line in lines[2 + count:]):
        if fields[:1] == ["FT"]:
            edges[files[int(fields[1])]] = set(fields[2:])
    hashed = re.compile(r"[0-9a-f]{40}")
    own = [f for f in edges if os.path.dirname(f) == corpus and not hashed.fullmatch(os.path.basename(f))]
    # One candidate per content, the same content as a named input none.
    digest = {f: hashlib.sha1(open(f, "rb").read()).hexdigest() for f in edges}
    candidates = {digest[f]: f for f in sorted(edges, reverse=True)}
    for f in own:
        candidates.pop(digest[f], None)
    reached = set().union(*edges.values())
    got = set().union(*(edges[f] for f in own))
    used = sum(os.path.getsize(f) for f in own)
    chosen = []
    while True:
        fits = [d for d, f in sorted(candidates.items()) if edges[f] - got and used + os.path.getsize(f) <= budget]
        if not fits:
            break
        best = max(fits, key=lambda d: len(edges[candidates[d]] - got) / (os.path.getsize(candidates[d]) + OVERHEAD))
        chosen.append(best)
        got |= edges[candidates[best]]
        used += os.path.getsize(candidates[best])
    keep = set()
    for d in chosen:
        name = os.path.join(corpus, d)
        keep.add(name)
        if not os.path.exists(name):
            shutil.copyfile(candidates[d], name)
    for name in os.listdir(corpus):
        path = os.path.join(corpus, name)
        if hashed.fullmatch(name) and path not in keep:
            os.remove(path)
    print(f"{len(own)} named and {len(chosen)} chosen inputs, {used} bytes, reach {len(got)} "
          f"of the {len(reached)} edges reached ({100 * len(got) / len(reached):.1f} %)")


if __name__ == "__main__":
    main()
