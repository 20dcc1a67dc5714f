#!/usr/bin/env bash
# The demo: runs the modelfactory tool on sample files it writes into <build dir>/demo/ (a
# chromatogram written with io_lib, a multi-record GenBank file, a Nexus alignment and a
# multi-FASTA file) and shows detection, opening, iteration, conversion, the format list and a
# chromatogram picture. Builds nothing itself: `make demo` builds first.
#
# usage: scripts/demo.sh [build dir]
set -euo pipefail

build=${1:-build}
tool="$build/tools/modelfactory"
writer="$build/tools/mf_demo_data"
demo="$build/demo"

for program in "$tool" "$writer"; do
    if [[ ! -x $program ]]; then
        echo "demo: $program is not built; run 'make demo' (or 'make build') first." >&2
        exit 1
    fi
done

if [[ -t 1 ]]; then
    bold=$'\e[1m'; dim=$'\e[2m'; plain=$'\e[0m'
else
    bold=''; dim=''; plain=''
fi

step() { printf '\n%s== %s ==%s\n' "$bold" "$1" "$plain"; }
# Shows the command as a user would type it, then runs it.
run() {
    printf '%s$ modelfactory %s%s\n' "$dim" "$*" "$plain"
    "$tool" "$@"
}

rm -rf "$demo"
mkdir -p "$demo"

# --- Sample files ---------------------------------------------------------------------------------
"$writer" "$demo/read1.scf" scf

cat > "$demo/records.gb" <<'EOF'
LOCUS       DEMO0001                 150 bp    DNA     linear   SYN 01-JAN-2024
DEFINITION  Demo organism alpha gene for hypothetical protein, complete cds.
ACCESSION   DEMO0001
VERSION     DEMO0001.1
KEYWORDS    .
SOURCE      synthetic construct
  ORGANISM  synthetic construct
            other sequences; artificial sequences.
FEATURES             Location/Qualifiers
     source          1..150
                     /organism="synthetic construct"
                     /mol_type="genomic DNA"
     CDS             10..139
                     /product="demo protein 1"
ORIGIN
        1 gctaaagaca attacataac atacacgtca gcacgaaact tgttggccca gtgtgaatcg
       61 cttaagggtt aagtaagtgt gatgcatacg cctttacttg ctgtgtccac cccatcggac
      121 tggcattttt attacactca gaaacagaac
//
LOCUS       DEMO0002                 126 bp    mRNA    linear   SYN 01-JAN-2024
DEFINITION  Demo organism beta mRNA, partial sequence.
ACCESSION   DEMO0002
VERSION     DEMO0002.1
KEYWORDS    .
SOURCE      synthetic construct
  ORGANISM  synthetic construct
            other sequences; artificial sequences.
FEATURES             Location/Qualifiers
     source          1..126
                     /organism="synthetic construct"
                     /mol_type="mRNA"
     CDS             10..115
                     /product="demo protein 2"
ORIGIN
        1 tcgggtaatt ttgacaggtc acgcagaggc gcgccctcct gaagtgcgtg gacactcgct
       61 atgaatctct gatttaccca ctctgccaaa ctccagcgcg gtcagttcca tcaccctaag
      121 taaccg
//
LOCUS       DEMO0003                 180 bp    DNA     linear   SYN 01-JAN-2024
DEFINITION  Demo organism gamma gene for hypothetical protein, partial cds.
ACCESSION   DEMO0003
VERSION     DEMO0003.1
KEYWORDS    .
SOURCE      synthetic construct
  ORGANISM  synthetic construct
            other sequences; artificial sequences.
FEATURES             Location/Qualifiers
     source          1..180
                     /organism="synthetic construct"
                     /mol_type="genomic DNA"
     CDS             10..169
                     /product="demo protein 3"
ORIGIN
        1 aataatgcgt tcgctctatt gactacgacg cgctcattcc cttgtcggag agttatggaa
       61 caaggacgct gtctgagact agaagacaga tagtgcacac gaccggcgtc ggagaaactc
      121 tatttgccgc ctgacaagtc aatgcgatcc gtaggggcag cgcagtatgc caagactata
//
EOF

cat > "$demo/globins.nex" <<'EOF'
#NEXUS
[ A small made-up alignment of four taxa. ]
BEGIN DATA;
    DIMENSIONS NTAX=4 NCHAR=40;
    FORMAT DATATYPE=DNA MISSING=? GAP=-;
    MATRIX
        alpha    ATGGTGCTGTCTCCTGCCGACAAGACCAACGTCAAGGCCG
        beta     ATGGTGCATCTGACTCCTGAGGAGAAGTCTGCCGTTACTG
        gamma    ATGGGTCATTTCACAGAGGAGGACAAGGCTACTATCACAA
        delta    ATGGTGCATCTGACTCCTGAGGAGAAGACTGCTGTCAATG
    ;
END;
EOF

cat > "$demo/primers.fa" <<'EOF'
>fwd_1 forward primer, exon 1
ACGTTGCATGCCTAGGATCC
>rev_1 reverse primer, exon 1
GGATCCTAGGCATGCAACGT
>fwd_2 forward primer, exon 2
TTGACCGGTACGATCGATCGAAGCT
>probe_1 hydrolysis probe
CCATGGTACCTTGACCAGTTGCAAGG
EOF

# --- The tour -------------------------------------------------------------------------------------
printf '%sThe modelfactory tool, on sample files written into %s/%s\n' "$bold" "$demo" "$plain"

step "1. Detection: which kind of model each file holds"
run type "$demo/records.gb" "$demo/globins.nex" "$demo/primers.fa" "$demo/read1.scf"

step "2. Opening: a multi-record GenBank file as a sequence model"
run open "$demo/records.gb"

step "3. Opening: a Nexus alignment"
run open "$demo/globins.nex"

step "4. Opening: a chromatogram (detection calls it a trace; it opens as one sequence)"
run open "$demo/read1.scf"

step "5. Iteration: one model per entry, in constant memory"
run iterate "$demo/primers.fa"
run iterate "$demo/records.gb"

step "6. Conversion"
run convert "$demo/records.gb" "$demo/records.fa"
printf '%s(first lines of %s)%s\n' "$dim" "$demo/records.fa" "$plain"
head -n 4 "$demo/records.fa"
run convert "$demo/globins.nex" "$demo/globins.phy" --to PHYLIP
printf '%s(%s)%s\n' "$dim" "$demo/globins.phy" "$plain"
cat "$demo/globins.phy"
run convert "GenBank@@$demo/records.gb" "$demo/records.emb"
# A chromatogram's calls with their confidences as FASTQ, compressed by the target's name, and read
# back through a pipe.
run convert "$demo/read1.scf" "$demo/read1.fastq.gz"
printf '%s$ zcat %s | modelfactory iterate -%s\n' "$dim" "$demo/read1.fastq.gz" "$plain"
zcat "$demo/read1.fastq.gz" | "$tool" iterate -

step "7. Machine-readable output: any command with --json"
run type --json "$demo/globins.nex"

step "8. Every format the library knows"
run formats

step "9. The chromatogram, and a picture of it"
run trace "$demo/read1.scf" --svg "$demo/read1.svg"

step "10. Mistakes say what they are (exit status 1 for a failed file, 2 for a usage error)"
run iterate "$demo/primers.fa" "$demo/no-such-file.fa" || true
run convert "$demo/records.gb" "$demo/records.txt" --to fatsa || true

printf '\n%sDone.%s Open %s in a web browser to see the chromatogram;\n' "$bold" "$plain" "$demo/read1.svg"
printf 'the sample and converted files are in %s/. Try: %s --help\n' "$demo" "$tool"
