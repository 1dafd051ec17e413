#!/usr/bin/env bash
# Runs the README's command on the demo experiment and fails unless it succeeds for every
# recording and writes the committed summary.
#   check_demo_experiment.sh BATCH EXPERIMENT EXPECTED_SUMMARY WORK
# The command runs in the folder above examples/, as the README gives it.
set -euo pipefail
batch=$1 experiment=$2 expected=$3 work=$4

rm -rf "$work"
cd "$(dirname "$(dirname "$experiment")")"
"$batch" --quiet --recordings 'examples/experiment/**/*.wcp' 'examples/experiment/**/*.abf' \
  --out "$work" load each-record stat
diff "$expected" "$work/summary.csv"
rm -rf "$work"
