# Sourced by run.sh and test.sh: configures build/ once, and again only when a requested option
# differs from what its cache holds (so the two scripts share one build without rebuilding).
# Usage: configure_build_dir [-DNAME=VALUE ...]
BUILD_DIR=build

configure_build_dir() {
  local cache="$BUILD_DIR/CMakeCache.txt" option needed=0
  [[ -f "$cache" && -f "$BUILD_DIR/Makefile" ]] || needed=1
  for option in "$@"; do
    option=${option#-D}
    grep -q "^${option%%=*}:[A-Z]*=${option#*=}\$" "$cache" 2>/dev/null || needed=1
  done
  if (( needed )); then
    cmake -S . -B "$BUILD_DIR" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
}
