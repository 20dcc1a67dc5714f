#!/usr/bin/env bash
# `make bench`: this library side by side with its peers, on generated data, in one table.
#
#   1. installs the peers when missing (seqtk, seqkit, Biopython, EMBOSS seqret, GNU time,
#      libdeflate for the gzip library comparison, and dnaio, pyfastx and pysam for the Python rows);
#   2. builds the benchmarks and the modelfactory tool in a Release build folder;
#   3. writes the data set once (scripts/gen_bench_data.py: seeded, no downloads);
#      (and the Python package, when it is configured there);
#   4. runs every workload for us and for the peers (scripts/bench_run.py) and prints the table,
#      also kept in <build>/bench-results.md.
#
# Environment: MF_BENCH_BUILD (default build-bench), MF_BENCH_DATA (default <build>/data),
# MF_BENCH_REPS (default 3), MODELFACTORY_TESTDATA (the third-party samples the chromatograms are
# copied from; default tests/data), JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MF_BENCH_BUILD:-build-bench}
data=${MF_BENCH_DATA:-$build/data}
testdata=${MODELFACTORY_TESTDATA:-$(pwd)/tests/data}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

scripts/bootstrap.sh seqtk seqkit samtools python3-biopython emboss time libdeflate-dev python3-dnaio python3-pyfastx python3-pysam

# Build output goes to a log, so that the table is all the run prints on stdout.
log=$build/bench-build.log
mkdir -p "$build"
echo "bench: building in $build (log: $log)" >&2
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMF_BUILD_BENCH=ON -DMF_BUILD_TOOLS=ON &&
       cmake --build "$build" -j "$jobs" --target mf_bench_driver mf_bench_seqarchive mf_bench_trace mf_bench_inflate mf_bench_deflate \
             modelfactory-tool &&
       { [ ! -d "$build/python" ] || cmake --build "$build" -j "$jobs" --target mf_python; }; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "bench: the build failed; see $log" >&2
  exit 1
fi

if [ ! -d "$testdata/traces" ]; then
  echo "bench: the sample chromatograms are missing ($testdata/traces); set MODELFACTORY_TESTDATA" >&2
  exit 1
fi
/usr/bin/python3 scripts/gen_bench_data.py "$data" "$testdata"

echo "bench: running the workloads (ours and the peers, medians of ${MF_BENCH_REPS:-3})" >&2
/usr/bin/python3 scripts/bench_run.py "$build" "$data" "$build/bench-results.md"
