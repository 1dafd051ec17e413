#!/usr/bin/env bash
# Sets up, builds and starts ictalscope in examples/, the folder of the demo recording 1.wcp.
#   ./run.sh             the window when it is built and a display is available; otherwise the
#                        batch tool loads the demo: ictalscope-batch name=1 load state:brief
#   ./run.sh ACTION...   the batch tool with these actions in examples/
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
source scripts/build_dir.sh
configure_build_dir

targets=(ictalscope-batch)
if cmake --build "$BUILD_DIR" --target help | grep -qx '\.\.\. ictalscope'; then
  targets+=(ictalscope)
fi
cmake --build "$BUILD_DIR" -j2 --target "${targets[@]}"

program() { find "$BUILD_DIR" -path '*/CMakeFiles' -prune -o -type f -name "$1" -perm -u+x -print -quit; }

window=$(program ictalscope)
if (( $# == 0 )) && [[ -n "$window" && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  cd examples
  exec "../$window"
fi
(( $# > 0 )) || set -- name=1 load state:brief
batch=$(program ictalscope-batch)
echo "ictalscope-batch --dir examples $*" >&2
exec "$batch" --dir examples "$@"
