#!/usr/bin/env python3
"""Writes the benchmark data set, deterministically (fixed seeds, no downloads).

Usage: gen_bench_data.py OUTDIR [TESTDATA]

  long.fa        200 MB multi-FASTA, entries of 1 to 5 Mbp, 60 residues a line
  genome.fa      1 GB genome-like FASTA, 20 to 60 Mbp chromosomes, 60 residues a line (for the
                 index rows: regions by seeking, building the index)
  reads.fa       1,000,000 short reads (60-110 bp, one line each), about 100 MB
  reads.fq       1,000,000 reads of 150 bases with Phred+33 qualities, about 320 MB
  reads.fa.gz    reads.fa compressed by gzip -6 (single member), about 30 MB
  reads.fq.gz    reads.fq compressed the same way
  records.gb     100 MB multi-record GenBank, every record with a feature table
  records.embl   50 MB multi-record EMBL, every entry with a feature table
  traces/{abi,scf,ztr}/   2,000 chromatograms: copies of the real ABI, SCF and ZTR samples
  mixed/         10,000 files of every kind (sequences, alignments, chromatograms), a quarter of
                 them under an extension that no table knows, so that detection reads them

A file that is already there with its final name is kept (the files are written under a temporary
name and renamed when complete). MF_BENCH_SCALE (default 1.0) scales the sizes, for quick trials.
"""
import os
import random
import shutil
import sys

SCALE = float(os.environ.get("MF_BENCH_SCALE", "1.0"))
MB = 1000 * 1000


class Bases:
    """Random residues cut from a fixed pool: fast and the same on every run."""

    def __init__(self, seed, alphabet="ACGT"):
        self.rng = random.Random(seed)
        self.pool = "".join(self.rng.choices(alphabet, k=1 << 21))
        # A few runs of N, as assemblies have.
        n = "n" if alphabet.islower() else "N"
        self.pool = self.pool[:5000] + n * 40 + self.pool[5040:]

    def take(self, n):
        out = []
        while n > 0:
            start = self.rng.randrange(0, len(self.pool) - 1)
            piece = self.pool[start:start + n]
            out.append(piece)
            n -= len(piece)
        return "".join(out)


def done(path):
    return os.path.exists(path)


def write_atomic(path, writer):
    tmp = path + ".part"
    with open(tmp, "w", buffering=1 << 20) as out:
        writer(out)
    os.replace(tmp, path)


def gen_long_fasta(path):
    target = int(200 * MB * SCALE)
    bases = Bases(11)
    rng = random.Random(12)

    def writer(out):
        size = 0
        entry = 0
        while size < target:
            length = rng.randrange(1_000_000, 5_000_000)
            length = min(length, max(1000, int((target - size) * 60 / 61)))
            entry += 1
            head = ">chr%03d generated long entry %d bp\n" % (entry, length)
            seq = bases.take(length)
            body = "\n".join(seq[i:i + 60] for i in range(0, length, 60)) + "\n"
            out.write(head)
            out.write(body)
            size += len(head) + len(body)

    write_atomic(path, writer)


def gen_genome_fasta(path):
    target = int(1000 * MB * SCALE)
    bases = Bases(13)
    rng = random.Random(14)

    def writer(out):
        size = 0
        chrom = 0
        while size < target:
            length = min(rng.randrange(20_000_000, 60_000_000), max(1000, int((target - size) * 60 / 61)))
            chrom += 1
            head = ">chr%d generated chromosome\n" % chrom
            out.write(head)
            size += len(head)
            # A line at a time from pool pieces: a chromosome is never held whole.
            done_bases = 0
            while done_bases < length:
                piece = bases.take(min(600000, length - done_bases))
                out.write("\n".join(piece[i:i + 60] for i in range(0, len(piece), 60)) + "\n")
                size += len(piece) + (len(piece) + 59) // 60
                done_bases += len(piece)

    write_atomic(path, writer)


def write_chunked(out, records):
    """Writes the records' texts in chunks of 10,000: one write call each."""
    chunk = []
    for record in records:
        chunk.append(record)
        if len(chunk) == 10000:
            out.write("".join(chunk))
            chunk = []
    out.write("".join(chunk))


def gen_reads(path):
    count = int(1_000_000 * SCALE)
    bases = Bases(21)
    rng = random.Random(22)
    write_atomic(path, lambda out: write_chunked(
        out, (">read%07d/1 lane=%d\n%s\n" % (i, i % 8 + 1, bases.take(rng.randrange(60, 111)))
              for i in range(count))))


def gen_fastq(path):
    count = int(1_000_000 * SCALE)
    bases = Bases(23)
    rng = random.Random(24)
    # Qualities from the few binned values that current instruments write.
    pool = "".join(chr(33 + q) for q in (rng.choice((37, 37, 37, 32, 25, 14, 2)) for _ in range(1 << 20)))

    def record(i):
        start = rng.randrange(0, len(pool) - 150)
        return "@read%07d/1 lane=%d\n%s\n+\n%s\n" % (i, i % 8 + 1, bases.take(150), pool[start:start + 150])

    write_atomic(path, lambda out: write_chunked(out, (record(i) for i in range(count))))


PROTEIN = "MKVLAWGHSTREDQNPYFCI"


def gen_gzip(path):
    """The file named without its .gz, compressed at gzip's default level."""
    import gzip
    tmp = path + ".part"
    with open(path[:-3], "rb") as src, open(tmp, "wb") as raw:
        with gzip.GzipFile(fileobj=raw, mode="wb", compresslevel=6, mtime=0) as out:
            shutil.copyfileobj(src, out, 1 << 20)
    os.replace(tmp, path)


def features(rng, length, prefix_key, prefix_cont):
    """A realistic feature table: source, then gene/CDS pairs with joins and long qualifiers."""
    lines = [prefix_key + "source          1..%d" % length,
             prefix_cont + '/organism="synthetic construct"',
             prefix_cont + '/mol_type="genomic DNA"',
             prefix_cont + '/db_xref="taxon:32630"']
    start = 1 + rng.randrange(0, 200)
    n = 0
    while start + 1200 < length:
        n += 1
        span = rng.randrange(600, 1200)
        end = start + span
        cut = start + span // 2
        strand = rng.random() < 0.5
        loc = "%d..%d" % (start, end)
        cds = "join(%d..%d,%d..%d)" % (start, cut, cut + 40, end)
        if strand:
            loc = "complement(%s)" % loc
            cds = "complement(%s)" % cds
        tag = "GEN_%05d" % n
        lines.append(prefix_key + "gene            " + loc)
        lines.append(prefix_cont + '/gene="g%d"' % n)
        lines.append(prefix_cont + '/locus_tag="%s"' % tag)
        lines.append(prefix_key + "CDS             " + cds)
        lines.append(prefix_cont + '/gene="g%d"' % n)
        lines.append(prefix_cont + '/locus_tag="%s"' % tag)
        lines.append(prefix_cont + '/note="a generated coding sequence whose note is long enough')
        lines.append(prefix_cont + 'to continue on a second line"')
        lines.append(prefix_cont + "/codon_start=1")
        lines.append(prefix_cont + "/transl_table=11")
        lines.append(prefix_cont + '/product="hypothetical protein"')
        lines.append(prefix_cont + '/protein_id="PRT%05d.1"' % n)
        aa = (PROTEIN * 40)[rng.randrange(0, 20):][: (end - start) // 3 - 14]
        text = '/translation="' + aa + '"'
        for i in range(0, len(text), 58):
            lines.append(prefix_cont + text[i:i + 58])
        start = end + rng.randrange(20, 300)
    return lines


def gen_genbank(path):
    target = int(100 * MB * SCALE)
    bases = Bases(31, "acgt")
    rng = random.Random(32)

    def writer(out):
        size = 0
        entry = 0
        while size < target:
            entry += 1
            length = rng.randrange(2000, 40000)
            name = "GEN%06d" % entry
            rec = ["LOCUS       %-16s %11d bp    DNA     linear   BCT 01-JAN-2020" % (name, length),
                   "DEFINITION  Synthetic construct %s, generated for the reading benchmark," % name,
                   "            complete sequence.",
                   "ACCESSION   %s" % name,
                   "VERSION     %s.1" % name,
                   "KEYWORDS    .",
                   "SOURCE      synthetic construct",
                   "  ORGANISM  synthetic construct",
                   "            other sequences; artificial sequences.",
                   "REFERENCE   1  (bases 1 to %d)" % length,
                   "  AUTHORS   Generator,A.",
                   "  TITLE     Generated records",
                   "  JOURNAL   Unpublished",
                   "FEATURES             Location/Qualifiers"]
            rec += features(rng, length, "     ", " " * 21)
            rec.append("ORIGIN")
            seq = bases.take(length)
            for pos in range(0, length, 60):
                row = seq[pos:pos + 60]
                rec.append("%9d %s" % (pos + 1, " ".join(row[i:i + 10] for i in range(0, len(row), 10))))
            rec.append("//")
            text = "\n".join(rec) + "\n"
            out.write(text)
            size += len(text)

    write_atomic(path, writer)


def gen_embl(path):
    target = int(50 * MB * SCALE)
    bases = Bases(41, "acgt")
    rng = random.Random(42)

    def writer(out):
        size = 0
        entry = 0
        while size < target:
            entry += 1
            length = rng.randrange(2000, 40000)
            name = "EMB%06d" % entry
            seq = bases.take(length)
            counts = [seq.count(c) for c in "acgt"]
            rec = ["ID   %s; SV 1; linear; genomic DNA; STD; SYN; %d BP." % (name, length),
                   "XX", "AC   %s;" % name, "XX",
                   "DE   Synthetic construct %s, generated for the reading benchmark," % name,
                   "DE   complete sequence.", "XX",
                   "KW   .", "XX",
                   "OS   synthetic construct",
                   "OC   other sequences; artificial sequences.", "XX",
                   "RN   [1]", "RA   Generator A.;", 'RT   "Generated records";', "RL   Unpublished.", "XX",
                   "FH   Key             Location/Qualifiers", "FH"]
            rec += features(rng, length, "FT   ", "FT" + " " * 19)
            rec.append("XX")
            rec.append("SQ   Sequence %d BP; %d A; %d C; %d G; %d T; %d other;"
                       % (length, counts[0], counts[1], counts[2], counts[3], length - sum(counts)))
            for pos in range(0, length, 60):
                row = seq[pos:pos + 60]
                groups = " ".join(row[i:i + 10] for i in range(0, len(row), 10))
                rec.append("     %-66s%9d" % (groups, pos + len(row)))
            rec.append("//")
            text = "\n".join(rec) + "\n"
            out.write(text)
            size += len(text)

    write_atomic(path, writer)


def gen_traces(folder, testdata):
    if done(folder):
        return
    src = os.path.join(testdata, "traces")
    groups = {"abi": (".ab1", 700), "scf": (".scf", 700), "ztr": (".ztr", 600)}
    tmp = folder + ".part"
    shutil.rmtree(tmp, ignore_errors=True)
    for sub, (ext, count) in groups.items():
        names = sorted(n for n in os.listdir(src) if n.endswith(ext))
        os.makedirs(os.path.join(tmp, sub))
        count = max(len(names), int(count * SCALE))
        for i in range(count):
            name = names[i % len(names)]
            shutil.copyfile(os.path.join(src, name), os.path.join(tmp, sub, "t%04d_%s" % (i, name)))
    os.replace(tmp, folder)


def gen_mixed(folder, testdata):
    if done(folder):
        return
    sources = []
    for sub in ("sequences", "alignments", "traces"):
        d = os.path.join(testdata, sub)
        sources += [os.path.join(d, n) for n in sorted(os.listdir(d))]
    tmp = folder + ".part"
    shutil.rmtree(tmp, ignore_errors=True)
    os.makedirs(tmp)
    count = int(10_000 * SCALE)
    for i in range(count):
        src = sources[i % len(sources)]
        base = os.path.basename(src)
        if i % 4 == 3:
            base = os.path.splitext(base)[0] + ".dat"  # unknown extension: content decides
        shutil.copyfile(src, os.path.join(tmp, "f%05d_%s" % (i, base)))
    os.replace(tmp, folder)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    outdir = sys.argv[1]
    testdata = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
    os.makedirs(outdir, exist_ok=True)
    for name, gen in (("long.fa", gen_long_fasta), ("genome.fa", gen_genome_fasta), ("reads.fa", gen_reads), ("reads.fa.gz", gen_gzip),
                      ("reads.fq", gen_fastq), ("reads.fq.gz", gen_gzip), ("records.gb", gen_genbank),
                      ("records.embl", gen_embl)):
        path = os.path.join(outdir, name)
        if not done(path):
            print("gen_bench_data: writing %s" % path, file=sys.stderr)
            gen(path)
    for name, gen in (("traces", gen_traces), ("mixed", gen_mixed)):
        path = os.path.join(outdir, name)
        if not done(path):
            print("gen_bench_data: writing %s" % path, file=sys.stderr)
            gen(path, testdata)


if __name__ == "__main__":
    main()
