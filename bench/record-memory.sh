#!/bin/bash
# Peak memory of one huge record: a 1 GiB read, a 1 GiB title and a refused 1 GiB '+' line, each
# a single FASTQ record compressed with zstd, through `iterate` and `convert` (to FASTQ and to
# FASTA). Prints the peak resident size (/usr/bin/time) and the bytes written to stderr.
# usage: bench/record-memory.sh path/to/modelfactory [workdir]   (needs ~3 GiB free disk, zstd)
set -euo pipefail
tool=$1
work=${2:-$(mktemp -d)}
mkdir -p "$work"
G=$((1 << 30))
make_input() { # name, generator
    [ -s "$work/$1" ] || { "${@:2}" | zstd -q -T1 > "$work/$1"; }
}
make_input read.fq.zst bash -c "printf '@r\n'; head -c $G /dev/zero | tr '\\0' A; printf '\n+\n'; head -c $G /dev/zero | tr '\\0' I; echo"
make_input title.fq.zst bash -c "printf '@'; head -c $G /dev/zero | tr '\\0' t; printf '\nACGT\n+\nIIII\n'"
make_input plus.fq.zst bash -c "printf '@r\nACGT\n+'; head -c $G /dev/zero | tr '\\0' p; printf '\nIIII\n'"
printf '%-14s %-22s %12s %14s %6s\n' input command peak_MiB stderr_bytes exit
for input in read title plus; do
    for command in "iterate" "convert-fq" "convert-fa"; do
        case $command in
        iterate) args=(iterate "$work/$input.fq.zst"); out=/dev/null ;;
        convert-fq) args=(convert "$work/$input.fq.zst" "$work/out.fq"); out=/dev/null ;;
        convert-fa) args=(convert "$work/$input.fq.zst" "$work/out.fa"); out=/dev/null ;;
        esac
        status=0
        /usr/bin/time -f '%M' -o "$work/time" "$tool" "${args[@]}" > "$out" 2> "$work/err" || status=$?
        peak=$(( $(tail -1 "$work/time") / 1024 ))
        # time's own line is not the tool's
        printf '%-14s %-22s %12s %14s %6s\n' "$input" "$command" "$peak" "$(stat -c %s "$work/err")" "$status"
        rm -f "$work/out.fq" "$work/out.fa"
    done
done
