"""Interoperability with the field's command-line tools, run by interop.py:

  * stats: `modelfactory stats --all --tabular` against `seqkit stats -a -T` on every FASTA and
    FASTQ sample (plain and compressed) and on generated files, column by column under the
    column names both print. seqkit releases before 2.4 report Q1 and Q3 wrongly whenever the
    lower or upper half is made of one length (their Q3 then falls below Q2): on such rows the
    quartiles are not compared. Lengths count every residue on both sides; seqkit also counts
    spaces inside sequence lines, which our readers drop, so samples with such lines are left out.

  * index: `modelfactory index` against `samtools faidx` on every FASTA and FASTQ sample and on
    generated files (wrapped, CRLF, BGZF-compressed with Biopython's BGZF writer, wrapped FASTQ,
    and files both must refuse): the .fai and .gzi files must be byte-identical, or both tools
    must refuse the file;
  * get: regions and whole entries through samtools' index (we read its files) and through ours
    (samtools reads ours), compared with `samtools faidx FILE REGION...` by name and residues.
    The index samples include BGZF that `modelfactory convert` wrote;
  * gzip output: what `modelfactory convert` writes to .gz (at the default level and the extremes)
    passes `gzip -t` and `bgzip -t`, and gzip, Biopython's BGZF reader and SeqIO read it as the
    plain text.

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


SAMTOOLS = shutil.which("samtools")


def index_samples(tool, data, work):
    """(name, bytes) of every file to index: the samples, then generated layouts."""
    samples = []
    for folder in ("sequences", "fastq"):
        for name in sorted(os.listdir(os.path.join(data, folder))):
            if name.endswith((".fa", ".fasta", ".fna", ".faa", ".fastq", ".bgz")):
                with open(os.path.join(data, folder, name), "rb") as f:
                    samples.append((name, f.read()))
    rng = random.Random(11)

    def genome(entries, width, eol):
        out = []
        for e in range(entries):
            n = rng.randrange(1, 200000)
            seq = "".join(rng.choice("ACGTNacgt") for _ in range(n))
            out.append(">chr%d generated %d\n" % (e + 1, n))
            out.extend(seq[i:i + width] + eol for i in range(0, n, width))
        return "".join(out).replace("\n", eol).encode()

    wrapped = genome(6, 60, "\n")
    samples.append(("wrapped.fa", wrapped))
    samples.append(("crlf.fa", genome(3, 70, "\r\n")))
    reads = "".join("@r%d desc\n%s\n+\n%s\n" % (i, "ACGT" * (i % 7 + 1), "I5?#" * (i % 7 + 1))
                    for i in range(300)).encode()
    samples.append(("reads.fq", reads))
    samples.append(("wrapped.fq", b"@w\nACG\nTA\n+\nIII\nII\n@v\nA\n+\n@\n"))
    for bad in (b">a\nACGT\nACGTA\n", b">a\nACGT\nAC\nACGT\n", b">a\nACGT\n>b\n",
                b"@r\nACGT\n+\nII\n", b"x\n>a\nAC\n", b">a\nACGT\n>b\n>c\nAC\n"):
        samples.append(("edge%d.fa" % len(samples), bad))
    try:
        from Bio import bgzf
        for name, content in (("wrapped.fa.gz", wrapped), ("reads.fq.gz", reads)):
            path = os.path.join(work, name)
            with bgzf.BgzfWriter(path, "wb") as out:
                out.write(content)
            with open(path, "rb") as f:
                samples.append((name, f.read()))
    except ImportError:
        samples.append(("(BGZF samples)", None))
    # Our own gzip output, which is BGZF.
    for name, content in (("ours-wrapped.fa", wrapped), ("ours-reads.fq", reads)):
        plain, packed = os.path.join(work, name), os.path.join(work, name + ".gz")
        with open(plain, "wb") as f:
            f.write(content)
        if run([tool, "convert", plain, packed]).returncode == 0:
            with open(packed, "rb") as f:
                samples.append((name + ".gz", f.read()))
        else:
            samples.append(("(%s.gz written by convert)" % name, None))
    return samples


def fasta_records(text):
    records, name = [], None
    for line in text.splitlines():
        if line.startswith(">"):
            name = line[1:].split()[0] if line[1:].split() else ""
            records.append([name, ""])
        elif records:
            records[-1][1] += line.strip()
    return [tuple(r) for r in records]


def regions_of(fai_text, rng):
    regions = []
    for line in fai_text.splitlines():
        name, length = line.split("\t")[:2]
        length = int(length)
        regions.append(name)
        for _ in range(3):
            begin = rng.randrange(1, length + 1)
            regions.append("%s:%d-%d" % (name, begin, min(length, begin + rng.randrange(0, 1500))))
    return regions[:60]


def index_problems(tool, data, work):
    if not SAMTOOLS:
        return ["samtools is not installed (it is one of the check's packages)"]
    problems = []
    rng = random.Random(5)
    identical = fetched = 0
    for name, content in index_samples(tool, data, work):
        if content is None:
            problems.append("no BGZF sample %s (Biopython's BGZF writer missing, or convert failed)" % name)
            continue
        paths = []
        for side in ("samtools", "ours"):
            folder = os.path.join(work, side)
            os.makedirs(folder, exist_ok=True)
            path = os.path.join(folder, name)
            for stale in (path + ".fai", path + ".gzi"):
                if os.path.exists(stale):
                    os.unlink(stale)
            with open(path, "wb") as f:
                f.write(content)
            paths.append(path)
        theirs = run([SAMTOOLS, "faidx", paths[0]])
        ours = run([tool, "index", paths[1]])
        if (theirs.returncode == 0) != (ours.returncode == 0):
            problems.append("%s: samtools faidx exit %d, index exit %d (%s)" % (
                name, theirs.returncode, ours.returncode, (ours.stderr or theirs.stderr).strip()[:200]))
            continue
        if theirs.returncode != 0:
            identical += 1
            continue
        for ext in (".fai", ".gzi"):
            a, b = paths[0] + ext, paths[1] + ext
            if os.path.exists(a) != os.path.exists(b):
                problems.append("%s: %s written by only one side" % (name, ext))
            elif os.path.exists(a) and open(a, "rb").read() != open(b, "rb").read():
                problems.append("%s: %s differs from samtools'" % (name, ext))
        identical += 1
        with open(paths[0] + ".fai") as f:
            regions = regions_of(f.read(), rng)
        # Each side's index read by the other: ours answers from samtools' files, samtools from ours.
        for path, label in ((paths[0], "through samtools' index"), (paths[1], "samtools through ours")):
            expected = fasta_records(run([SAMTOOLS, "faidx", path] + regions).stdout)
            got = run([tool, "get", path] + regions)
            if got.returncode != 0:
                problems.append("%s: get %s exit %d: %s" % (name, label, got.returncode, got.stderr[:200]))
                continue
            if fasta_records(got.stdout) != expected:
                problems.append("%s: get %s differs from samtools faidx" % (name, label))
            fetched += len(regions)
    if not problems:
        print("index: samtools faidx agrees on %d files (.fai/.gzi byte for byte); "
              "get agrees on %d regions, each tool reading the other's index" % (identical, fetched))
    return problems


def gzip_output_problems(tool, work):
    from Bio import SeqIO, bgzf
    rng = random.Random(29)
    reads = "".join("@r%d\n%s\n+\n%s\n" % (i, "".join(rng.choice("ACGT") for _ in range(90)),
                                             "".join(rng.choice("#+5?FI") for _ in range(90)))
                    for i in range(3000))
    plain = os.path.join(work, "gz-reads.fq")
    with open(plain, "w") as f:
        f.write(reads)
    bgzip = shutil.which("bgzip")
    problems = [] if bgzip else ["bgzip is not installed (Debian's tabix is one of the check's packages)"]
    checked = 0
    for level in (None, "0", "12"):
        packed = os.path.join(work, "gz-reads-%s.fq.gz" % (level or "default"))
        label = "convert to .gz, level %s" % (level or "default")
        made = run([tool, "convert", plain, packed] + (["--compress-level", level] if level else []))
        if made.returncode != 0:
            problems.append("%s: exit %d: %s" % (label, made.returncode, made.stderr[:200]))
            continue
        for test in (["gzip", "-t", packed], [bgzip, "-t", packed] if bgzip else None):
            if test and run(test).returncode != 0:
                problems.append("%s: %s fails: %s" % (label, test[0], run(test).stderr[:200]))
        with gzip.open(packed, "rt") as f:
            if f.read() != reads:
                problems.append("%s: Python's gzip reads other text" % label)
        with bgzf.BgzfReader(packed, "r") as f:
            pieces = []
            while True:  # read() wants a size
                piece = f.read(1 << 16)
                if not piece:
                    break
                pieces.append(piece)
            if "".join(pieces) != reads:
                problems.append("%s: Biopython's BGZF reader reads other text" % label)
        with gzip.open(packed, "rt") as f:
            if [str(r.seq) for r in SeqIO.parse(f, "fastq")] != reads.split("\n")[1::4]:
                problems.append("%s: Biopython's SeqIO reads other reads" % label)
        checked += 1
    if not problems:
        print("gzip output: %d files written by convert pass gzip -t and bgzip -t and read back "
              "through gzip, Biopython's BGZF reader and SeqIO" % checked)
    return problems


def run_all(tool, data, work):
    return (stats_problems(tool, data, work) + index_problems(tool, data, work) +
            gzip_output_problems(tool, work))
