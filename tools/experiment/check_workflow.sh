#!/usr/bin/env bash
# Runs the Snakemake workflow and --recordings on the same recordings of the demo experiment and
# fails unless they write the same tables and summary byte for byte, and the same provenance
# but for the date and the command line. Exit status 77 (skipped) without snakemake.
#   check_workflow.sh BATCH SNAKEFILE EXPERIMENT WORK
set -euo pipefail
batch=$1 snakefile=$2 experiment=$3 work=$4

if ! command -v snakemake >/dev/null; then
  echo "snakemake is not installed (scripts/setup.sh installs it): workflow test skipped"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"
ln -s "$experiment" exp
actions=(load each-record stat)

"$batch" --quiet --recordings 'exp/**/*.wcp' 'exp/**/*.abf' --out by-recordings -j 2 \
  "${actions[@]}"
snakemake --snakefile "$snakefile" --directory "$work" --cores 2 --quiet \
  --config batch="$batch" out=by-workflow recordings='exp/**/*.wcp exp/**/*.abf' \
  actions="${actions[*]}"

diff -r --exclude=provenance.json by-recordings by-workflow
count=$(find by-recordings -name provenance.json | wc -l)
[[ $count -eq 4 ]] || { echo "expected 4 provenance files, found $count"; exit 1; }
python3 - by-recordings by-workflow <<'PY'
import json, pathlib, sys
a, b = (pathlib.Path(p) for p in sys.argv[1:3])
for left in sorted(a.rglob("provenance.json")):
    right = b / left.relative_to(a)
    x, y = (json.loads(p.read_text()) for p in (left, right))
    for p in (x, y):
        del p["date"], p["commandLine"]
    if x != y:
        sys.exit(f"provenance differs: {left} {right}")
print("workflow and --recordings agree on", len(list(a.rglob("provenance.json"))), "recordings")
PY
rm -rf "$work"
