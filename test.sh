#!/usr/bin/env bash
# Sets up, builds everything once (warnings are errors) and runs every test with CTest, the Qt
# parts on the offscreen platform. Exits non-zero when the build or a test fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
source scripts/build_dir.sh
configure_build_dir -DICTALSCOPE_WERROR=ON
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --no-tests=error --timeout 600
