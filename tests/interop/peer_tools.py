"""Interoperability with the field's command-line tools, run by interop.py:

  * stats: `modelfactory stats --all --tabular` against `seqkit stats -a -T` on every FASTA and
    FASTQ sample (plain and compressed) and on generated files, column by column under the
    column names both print. seqkit releases before 2.4 report Q1 and Q3 wrongly whenever the
    lower or upper half is made of one length (their Q3 then falls below Q2): on such rows the
    quartiles are not compared. Lengths count every residue on both sides; seqkit also counts
    spaces inside sequence lines, which our readers drop, so samples with such lines are left out.

Each check returns a list of problem texts (empty when everything agrees).
"""
import gzip
import os
import random
import shutil
import subprocess

SEQKIT = shutil.which("seqkit")


def run(command):
    return subprocess.run(command, capture_output=True, text=True)


def tsv_rows(text):
    lines = [line.split("\t") for line in text.splitlines() if line]
    header = lines[0]
    return [dict(zip(header, row)) for row in lines[1:]]


def generated_samples(work):
    """Files whose figures exercise every column: many lengths, gaps, lower case, qualities."""
    rng = random.Random(7)
    samples = []
    fasta = os.path.join(work, "stats-lengths.fa")
    with open(fasta, "w") as out:
        for i in range(500):
            n = rng.choice((rng.randrange(1, 200), rng.randrange(1000, 80000)))
            residues = "".join(rng.choice("ACGTacgtN-") for _ in range(n))
            out.write(">s%d\n" % i)
            for j in range(0, n, 60):
                out.write(residues[j:j + 60] + "\n")
    samples.append(fasta)
    fastq = os.path.join(work, "stats-reads.fq.gz")
    with gzip.open(fastq, "wt") as out:
        for i in range(2000):
            n = rng.randrange(30, 151)
            out.write("@r%d\n%s\n+\n%s\n" % (i, "".join(rng.choice("ACGTN") for _ in range(n)),
                                             "".join(chr(33 + rng.randrange(0, 42)) for _ in range(n))))
    samples.append(fastq)
    return samples


def has_inner_spaces(path):
    opener = gzip.open if path.endswith((".gz", ".bgz")) else open
    with opener(path, "rt", errors="replace") as f:
        for line in f:
            if not line.startswith((">", "@", "+")) and " " in line.strip():
                return True
    return False


def stats_problems(tool, data, work):
    if not SEQKIT:
        return ["seqkit is not installed (it is one of the check's packages)"]
    samples = []
    for folder in ("sequences", "fastq"):
        for name in sorted(os.listdir(os.path.join(data, folder))):
            if name.startswith("error_") or not name.endswith(
                    (".fa", ".fasta", ".fna", ".faa", ".fastq", ".fastq.gz", ".fastq.bgz")):
                continue
            path = os.path.join(data, folder, name)
            if not has_inner_spaces(path):
                samples.append(path)
    samples += generated_samples(work)
    problems = []
    for path in samples:
        ours = run([tool, "stats", "--all", "--tabular", path])
        theirs = run([SEQKIT, "stats", "-a", "-T", "-j", "1", path])
        if ours.returncode != 0 or theirs.returncode != 0:
            problems.append("%s: stats exit %d, seqkit exit %d" % (path, ours.returncode,
                                                                  theirs.returncode))
            continue
        mine, peer = tsv_rows(ours.stdout)[0], tsv_rows(theirs.stdout)[0]
        skip = {"file"}
        if float(peer["Q3"]) < float(peer["Q2"]):
            skip |= {"Q1", "Q3"}
        for column, value in peer.items():
            if column in skip or column not in mine:
                continue
            if mine[column] != value:
                problems.append("%s: %s is %s here, %s in seqkit" % (os.path.basename(path), column,
                                                                    mine[column], value))
    if not problems:
        print("stats: seqkit agrees on %d files" % len(samples))
    return problems


def run_all(tool, data, work):
    return stats_problems(tool, data, work)
