#!/usr/bin/env bash
# Builds and runs the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   fuzz/run.sh build [BUILD]                 configure and build every target
#   fuzz/run.sh ci [BUILD]                    build, replay the regression inputs, then run each
#                                             target for FUZZ_SECONDS (default 5) seconds
#   fuzz/run.sh run BUILD SECONDS TARGET...   fuzz the named targets (fuzz_...) one after the
#                                             other, SECONDS each; findings go to BUILD/artifacts
#
# BUILD defaults to build-fuzz. Working corpora live in BUILD/corpus/<target>: seeded from
# fuzz/seeds, the generated chromatograms and the third-party samples when present (copied, never
# committed). A finding stops the run with a non-zero status; keep its input in
# fuzz/regressions/<target name without fuzz_>/ once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-ci}
build=${2:-build-fuzz}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {
  "$root/scripts/bootstrap.sh" clang-14 libclang-rt-14-dev
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 \
    -DMF_SANITIZE="address;undefined;fuzzer-no-link" \
    -DMF_BUILD_FUZZ=ON -DMF_BUILD_TESTS=OFF -DMF_BUILD_TOOLS=OFF -DMF_INSTALL=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target fuzz_all fuzz_trace_seeds
  mkdir -p "$build/fuzz/generated/trace"
  "$build/fuzz/fuzz_trace_seeds" "$build/fuzz/generated/trace"
}

targets() {
  (cd "$build/fuzz" && ls fuzz_*.seeds | sed 's/\.seeds$//')
}

# Copies the seed folders of a target (listed by CMake in <target>.seeds) into its corpus.
prepare_corpus() {
  local target=$1 corpus="$build/corpus/$1" folder
  mkdir -p "$corpus"
  IFS=';' read -r -a folders < "$build/fuzz/$target.seeds"
  for folder in "${folders[@]}" "$root/fuzz/regressions/${target#fuzz_}"; do
    [ -d "$folder" ] || continue
    find "$folder" -maxdepth 1 -type f -size -1024k -exec cp -n -t "$corpus" {} + 2>/dev/null || true
  done
}

fuzz_one() {
  local target=$1 seconds=$2
  shift 2
  local artifacts="$build/artifacts/$target/"
  prepare_corpus "$target"
  mkdir -p "$artifacts" "$build/logs"
  echo "fuzz: $target for ${seconds}s"
  # One process at a time; the machine is shared. io_lib's own global state is not reported as
  # leaked (the suppressions the test suite uses); leaks on our side and per-input leaks are.
  # io_lib is built without frame pointers: allocation stacks through it need the slow unwinder to
  # reach its frames, which the suppressions match.
  local asan=""
  case "$target" in fuzz_trace|fuzz_gettype_content) asan="fast_unwind_on_malloc=0" ;; esac
  if ! ASAN_OPTIONS="$asan" LSAN_OPTIONS="suppressions=$root/fuzz/lsan-fuzz.supp:print_suppressions=0" \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$build/fuzz/$target" "$build/corpus/$target" -max_total_time="$seconds" -timeout=20 \
       -rss_limit_mb=2560 -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts" "$@" \
       >"$build/logs/$target.log" 2>&1; then
    tail -n 60 "$build/logs/$target.log"
    echo "fuzz: $target found a problem; the input is in $artifacts"
    return 1
  fi
  grep -E '^#[0-9]+.*(DONE|cov:)' "$build/logs/$target.log" | tail -n 1
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$build/logs/$target.log" | tr '\n' ' '
  echo
}

case "$mode" in
  build)
    configure_and_build
    ;;
  ci)
    configure_and_build
    ctest --test-dir "$build/fuzz" --output-on-failure -j "$jobs" -L fuzz
    status=0
    for target in $(targets); do
      # A fixed seed: CI explores the same inputs on every run, so its verdict is repeatable.
      fuzz_one "$target" "${FUZZ_SECONDS:-5}" -seed=1 || status=1
    done
    exit $status
    ;;
  run)
    seconds=${3:?seconds}
    shift 3
    status=0
    for target in "$@"; do
      fuzz_one "$target" "$seconds" || status=1
    done
    exit $status
    ;;
  *)
    echo "usage: fuzz/run.sh build|ci|run ..." >&2
    exit 2
    ;;
esac
