#!/usr/bin/env bash
# Sets up, builds and starts ictalscope in examples/, the folder of the demo recording 1.wcp
# (which the build writes into build/examples/ and this script copies into examples/).
#   ./run.sh             the window when it is built and a display is available; otherwise the
#                        batch tool loads the demo: ictalscope-batch name=1 load state:brief
#   ./run.sh ACTION...   the batch tool with these actions in examples/
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
source scripts/build_dir.sh
configure_build_dir

targets=(ictalscope-batch)
build_targets=$(cmake --build "$BUILD_DIR" --target help)
for target in ictalscope demo_recording; do
  if grep -qx "\.\.\. $target" <<<"$build_targets"; then
    targets+=("$target")
  fi
done
cmake --build "$BUILD_DIR" -j2 --target "${targets[@]}"

# The demo recording (7.7 MB, not committed) is written by the build into $BUILD_DIR/examples/;
# the window and the batch tool work in examples/, so it is copied there when it differs.
demo="$BUILD_DIR/examples/1.wcp"
mkdir -p examples
if [[ -f "$demo" ]] && ! cmp -s "$demo" examples/1.wcp; then
  cp "$demo" examples/1.wcp.part
  mv examples/1.wcp.part examples/1.wcp
fi
[[ -f examples/1.wcp ]] ||
  echo "run.sh: no demo recording: the build writes it when ICTALSCOPE_TESTS is ON" >&2

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
