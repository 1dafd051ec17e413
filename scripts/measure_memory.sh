#!/usr/bin/env bash
# Peak memory of the batch tool on record 1 (10,000,001 samples) of two recordings:
#   ictalscope-batch name=big load state:brief          big.wcp, the classic record (40 MB)
#   ictalscope-batch name=big load spikes state:brief   the same, and "Spikes" (300 spikes)
#   ictalscope-batch name=BIG load state:brief          BIG.abf, a 1-GB gap-free ABF file
# Builds what it needs in build/, writes each file into a temporary folder with make_demo --big
# or --big-abf (removed at the end), and reports the peak RSS (with /usr/bin/time -v when it is
# there, and always with tools/peak_rss). Exits non-zero when a run fails or exceeds its limit:
# LIMIT_MB (default 300) for the classic load, SPIKES_LIMIT_MB (default 100) for the load with
# "Spikes", ABF_LIMIT_MB (default 150) for the ABF file.
set -euo pipefail
cd "$(dirname "$0")/.."
limit_mb=${LIMIT_MB:-300}
spikes_limit_mb=${SPIKES_LIMIT_MB:-100}
abf_limit_mb=${ABF_LIMIT_MB:-150}
source scripts/build_dir.sh
configure_build_dir
cmake --build "$BUILD_DIR" -j2 --target make_demo peak_rss ictalscope-batch >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# measure FLAG NAME LIMIT_MB ACTION...: writes the recording, runs the actions after
# name=NAME, then removes it.
measure() {
  local flag=$1 name=$2 limit=$3
  shift 3
  "$BUILD_DIR/tools/make_demo" "$flag" "$work"
  local batch=("$BUILD_DIR/src/ictalscope-batch" --dir "$work" "name=$name" "$@")
  echo "name=$name $* (make_demo $flag):"
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -v "${batch[@]}" 2>&1 >/dev/null | grep -E 'Maximum resident|Elapsed'
  fi
  "$BUILD_DIR/tools/peak_rss" "$limit" "${batch[@]}" >/dev/null
  rm -f "$work"/*
}

measure --big big "$limit_mb" load state:brief
measure --big big "$spikes_limit_mb" load spikes state:brief
measure --big-abf BIG "$abf_limit_mb" load state:brief
