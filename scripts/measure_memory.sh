#!/usr/bin/env bash
# Peak memory of loading the 10,000,001-sample record with the batch tool:
#   ictalscope-batch name=big load state:brief
# Builds what it needs in build/, writes big.wcp (40 MB) into a temporary folder with
# make_demo --big, and reports the peak RSS (with /usr/bin/time -v when it is there, and always
# with tools/peak_rss). Exits non-zero above LIMIT_MB (default 300).
set -euo pipefail
cd "$(dirname "$0")/.."
limit_mb=${LIMIT_MB:-300}
source scripts/build_dir.sh
configure_build_dir
cmake --build "$BUILD_DIR" -j2 --target make_demo peak_rss ictalscope-batch >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$BUILD_DIR/tools/make_demo" --big "$work"
batch=("$BUILD_DIR/src/ictalscope-batch" --dir "$work" name=big load state:brief)
if [[ -x /usr/bin/time ]]; then
  /usr/bin/time -v "${batch[@]}" 2>&1 >/dev/null | grep -E 'Maximum resident|Elapsed'
fi
"$BUILD_DIR/tools/peak_rss" "$limit_mb" "${batch[@]}" >/dev/null
