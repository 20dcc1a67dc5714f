#!/usr/bin/env bash
# The Python package as users get it: builds the wheel (setuptools driving the project's CMake),
# installs it into a fresh virtual environment that sees Debian's numpy, pytest and Biopython, and
# runs the Python tests against that installed copy, away from the source and build trees.
# Usage: test_wheel.sh BUILD_FOLDER
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
work=$build/wheel-test
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$source_dir"
# The CMake tree of the package build is kept between runs; the compiler cache does the rest.
MF_PACKAGE_BUILD=$build/package /usr/bin/python3 -m build --no-isolation --wheel --outdir "$work/dist" .
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-deps --quiet "$work"/dist/modelfactory-*.whl
cd "$work"
"$work/venv/bin/python" - <<'PY'
import sys
import modelfactory
assert modelfactory.__file__.startswith(sys.prefix), modelfactory.__file__
print("installed", modelfactory.__version__, "at", modelfactory.__file__)
PY
MODELFACTORY_TESTDATA=$source_dir/tests/data MPLBACKEND=Agg \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/python/tests"
