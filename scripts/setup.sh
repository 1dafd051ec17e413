#!/usr/bin/env bash
# Installs the Debian packages that building and testing ictalscope need, when any is missing.
# Quick and silent when everything is there; apt-get runs only when something must be installed.
set -euo pipefail

# libwmf-bin and its fonts convert the exported chart in a test (the fonts are only recommended).
# clang builds the fuzz targets; libclang-rt-14-dev holds libFuzzer and the sanitizer runtimes
# that clang links, llvm the symbolizer that names the frames of a sanitizer's stack trace.
# The Python module builds with pybind11 for Debian's Python 3; its tests use NumPy, pytest and
# pandas, and researchers plot with matplotlib. snakemake runs the experiment workflow.
packages=(cmake g++ make libgtest-dev libbenchmark-dev qt6-base-dev libqcustomplot-dev
          qt6-svg-dev libwmf-bin fonts-urw-base35 clang libclang-rt-14-dev llvm
          pybind11-dev python3-dev python3-numpy python3-pytest python3-pandas python3-matplotlib
          snakemake)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
(( ${#missing[@]} == 0 )) && exit 0

as_root=()
if (( EUID != 0 )); then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
echo "setup: installing ${missing[*]}" >&2
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${missing[@]}" </dev/null
