#!/usr/bin/env bash
# Builds the Python module `ictalscope` for Debian's Python 3 (/usr/bin/python3) and installs it
# where that Python finds it, offline: every package comes from Debian (scripts/setup.sh).
#
#   scripts/install_python_module.sh              as root: /usr/local/lib/python3.X/dist-packages
#                                                 otherwise: the user's site-packages (~/.local)
#   scripts/install_python_module.sh --venv DIR   a virtual environment DIR that also sees the
#                                                 system's packages (NumPy, pandas, matplotlib)
#   scripts/install_python_module.sh --target DIR any folder; put it on PYTHONPATH
#
# The build folder is build-python/ (BUILD_DIR=... to choose another). Run again after an update
# of the sources: it rebuilds what changed and installs over the earlier copy.
set -euo pipefail
cd "$(dirname "$0")/.."
python=/usr/bin/python3
build=${BUILD_DIR:-build-python}

usage() {
  sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

mode=site target=""
case "${1:-}" in
  "") ;;
  --venv | --target)
    [[ $# -eq 2 ]] || usage
    mode=${1#--} target=$2
    ;;
  *) usage ;;
esac

scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DICTALSCOPE_TESTS=OFF -DICTALSCOPE_BENCH=OFF \
  -DICTALSCOPE_PYTHON=ON -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build" --target ictalscope_python -j2

case "$mode" in
  site)
    if (( EUID == 0 )); then
      target=$("$python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
    else
      target=$("$python" -m site --user-site)
    fi
    ;;
  venv)
    # Without pip: Debian keeps ensurepip in python3-venv, and nothing here needs pip.
    [[ -x "$target/bin/python" ]] || "$python" -m venv --without-pip --system-site-packages "$target"
    target=$("$target/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
    ;;
esac
mkdir -p "$target"
target=$(cd "$target" && pwd)
cmake --install "$build" --component python --prefix "$target" >/dev/null

interpreter=$python
[[ "$mode" == venv ]] && interpreter=$(cd "$2" && pwd)/bin/python
check=(env -u PYTHONPATH)
[[ "$mode" == target ]] && check=(env PYTHONPATH="$target")
(cd / && "${check[@]}" "$interpreter" -c 'import ictalscope, numpy') || {
  echo "install_python_module: $interpreter cannot import ictalscope from $target" >&2
  exit 1
}
echo "installed the module ictalscope into $target/ictalscope"
case "$mode" in
  site) echo "use it with: $python -c 'import ictalscope'" ;;
  venv) echo "use it with: $interpreter (or: source $(cd "$2" && pwd)/bin/activate)" ;;
  target) echo "use it with: PYTHONPATH=$target $python" ;;
esac
