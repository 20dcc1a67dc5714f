#!/usr/bin/env bash
# Runs a fuzz target once over every regular file in the given folders (missing folders are
# skipped), without mutating anything. Usage: replay.sh <target binary> <folder>...
# Fails when any input makes the target fail.
set -euo pipefail
target=$1; shift
files=()
for folder in "$@"; do
  [ -d "$folder" ] || continue
  while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$folder" -type f -print0 | sort -z)
done
if [ ${#files[@]} -eq 0 ]; then
  echo "replay: no inputs for $(basename "$target")"
  exit 0
fi
echo "replay: $(basename "$target"): ${#files[@]} inputs"
# libFuzzer runs each file given by name once; the replay main does the same (and ignores options).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 200 "$target" -rss_limit_mb=2560 -timeout=60 >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  cat "$log"
  echo "replay: $(basename "$target") FAILED (status $status)"
  exit 1
fi
echo "replay: $(basename "$target"): all passed"
