#!/usr/bin/env bash
# Runs the command-line tool's main jobs on sample files the project writes itself.
set -euo pipefail
build=${1:-build}
echo "demo: the command-line tool is not built yet; the libraries in $build are."
ls "$build"/factory/libmodelfactory.so* "$build"/platform/*/libmf-*.so* 2>/dev/null
