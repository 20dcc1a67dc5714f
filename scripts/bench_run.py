#!/usr/bin/env python3
"""Runs every benchmark workload for this library and for the peer programs in one go, and prints
one table: workload, our figure, each peer's figure, the ratio, and peak memory.

Usage: bench_run.py BUILD_DIR DATA_DIR [OUT.md]

Each command runs MF_BENCH_REPS times (default 3) under GNU time (for the peak resident memory)
and the median is kept; the programs of one workload take turns, one run each a round. Times are
whole-process wall times, except:
  * Biopython: the loop alone (interpreter start and imports are left out, to the peer's advantage);
  * chromatograms and getType: the loop alone, for both sides (the file list is made beforehand);
    these short runs get at least 7 rounds.
Ratios are speed ratios, ours / peer: above 1 means this library is faster. MF_BENCH_ONLY=TEXT runs
only the workloads whose name holds TEXT (TEXT,TEXT: either).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
DATA = os.path.abspath(sys.argv[2])
OUT = sys.argv[3] if len(sys.argv) > 3 else None
REPS = int(os.environ.get("MF_BENCH_REPS", "3"))
INTERLEAVED_REPS = max(REPS, 7)
# MF_BENCH_ONLY="text,text": only the workloads whose names hold one of these texts.
ONLY = [part for part in os.environ.get("MF_BENCH_ONLY", "").split(",") if part]
DRIVER = os.path.join(BUILD, "bench", "mf_bench_driver")
TOOL = os.path.join(BUILD, "tools", "modelfactory")
INFLATE = os.path.join(BUILD, "bench", "mf_bench_inflate")
DEFLATE = os.path.join(BUILD, "bench", "mf_bench_deflate")
PY = "/usr/bin/python3"  # the interpreter python3-biopython is installed for
SCRATCH = tempfile.mkdtemp(prefix="mf-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)

LONG = os.path.join(DATA, "long.fa")
GENOME = os.path.join(DATA, "genome.fa")
READS = os.path.join(DATA, "reads.fa")
FASTQ = os.path.join(DATA, "reads.fq")
FASTQ_GZ = FASTQ + ".gz"
READS_GZ = os.path.join(DATA, "reads.fa.gz")
GB = os.path.join(DATA, "records.gb")
EMBL = os.path.join(DATA, "records.embl")
TRACES = [os.path.join(DATA, "traces", d) for d in ("abi", "scf", "ztr")]
MIXED = os.path.join(DATA, "mixed")


def log(text):
    print(text, file=sys.stderr, flush=True)


def parse_pairs(text):
    out = {}
    for line in text.splitlines():
        for item in line.split():
            if "=" in item:
                k, v = item.split("=", 1)
                out[k] = v
    return out


def run_once(cmd, stdout_file=None):
    """Runs cmd once; returns (seconds, peak MiB, key=value output). The seconds are the
    program's own figure when it prints one, else the wall time."""
    with tempfile.NamedTemporaryFile("r", dir=SCRATCH, delete=False) as tf:
        timefile = tf.name
    out = open(stdout_file, "w") if stdout_file else subprocess.PIPE
    start = time.perf_counter()
    # In the scratch folder: seqret -feature leaves a feature file in its working folder.
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", timefile] + cmd, cwd=SCRATCH,
                          stdout=out, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    if stdout_file:
        out.close()
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(cmd), proc.returncode, proc.stderr[-2000:]))
    with open(timefile) as f:
        peak = int(f.read().split()[-1]) / 1024.0
    os.unlink(timefile)
    pairs = parse_pairs(proc.stdout or "")
    return (float(pairs["seconds"]) if "seconds" in pairs else wall), peak, pairs


def py(code):
    return [PY, "-c", "import time, os\nfrom Bio import SeqIO\n" + code]


RSS = ("def rss():\n"
       "    for l in open('/proc/self/status'):\n"
       "        if l.startswith('VmRSS:'): return int(l.split()[1]) * 1024\n")

BIO_PARSE = ("t = time.perf_counter(); n = 0; f = 0\n"
             "for r in SeqIO.parse(%r, %r):\n    n += len(r.seq); f += len(r.features)\n"
             "print('seconds=%%f residues=%%d features=%%d' %% (time.perf_counter() - t, n, f))\n")
BIO_LOAD = (RSS + "b = rss(); t = time.perf_counter()\n"
            "d = SeqIO.to_dict(SeqIO.parse(%r, 'fasta'))\n"
            "s = time.perf_counter() - t; n = sum(len(r.seq) for r in d.values())\n"
            "print('seconds=%%f residues=%%d ratio=%%f' %% (s, n, (rss() - b) / n))\n")
# FASTQ loaded whole through the binding: the model's growth over its residues and qualities (the text it holds).
MF_LOAD_FASTQ = (RSS + "import modelfactory as mf\n"
                 "b = rss(); t = time.perf_counter()\n"
                 "m = mf.open(%r)\n"
                 "s = time.perf_counter() - t; n = sum(len(x) for x in m)\n"
                 "print('seconds=%%f residues=%%d text_ratio=%%f' %% (s, n, (rss() - b) / (2 * n)))\n")
BIO_CONVERT = ("t = time.perf_counter()\n"
               "SeqIO.convert(%r, %r, %r, 'fasta')\n"
               "print('seconds=%%f' %% (time.perf_counter() - t))\n")
# Every feature's residues as FASTA, as `modelfactory features` writes them (named by /locus_tag).
BIO_EXTRACT = ("t = time.perf_counter(); n = 0\n"
               "with open(%r, 'w') as out:\n"
               "    for r in SeqIO.parse(%r, %r):\n"
               "        for f in r.features:\n"
               "            out.write('>%%s\\n%%s\\n' %% (f.qualifiers.get('locus_tag', [r.name])[0], f.extract(r.seq)))\n"
               "            n += 1\n"
               "print('seconds=%%f features=%%d' %% (time.perf_counter() - t, n))\n")
BIO_ABI = ("import glob\nfiles = sorted(glob.glob(%r + '/*'))\nt = time.perf_counter()\n"
           "for p in files:\n    SeqIO.read(p, 'abi')\n"
           "print('seconds=%%f files=%%d' %% (time.perf_counter() - t, len(files)))\n")


# The binding's loops touch what Biopython's parse builds: each sequence (its length, as the
# Biopython loop asks of Seq) and, for FASTQ, its qualities.
MF_ITERATE = ("import modelfactory as mf\n"
              "t = time.perf_counter(); n = 0; q = 0\n"
              "for m in mf.iterate(%r):\n"
              "    for s in m:\n"
              "        n += len(s)\n"
              "        if %r: q += len(s.qualities)\n"
              "print('seconds=%%f residues=%%d qualities=%%d' %% (time.perf_counter() - t, n, q))\n")
MF_TRACES = ("import glob, modelfactory as mf\nfiles = sorted(glob.glob(%r + '/*'))\n"
             "t = time.perf_counter()\n"
             "for p in files:\n    mf.TraceFile.read(p)\n"
             "print('seconds=%%f files=%%d' %% (time.perf_counter() - t, len(files)))\n")


def pymf(code):
    """The binding from the bench build's package folder, timed inside the interpreter as Biopython is."""
    return ["env", "PYTHONPATH=" + os.path.join(BUILD, "python"), PY, "-c", "import time\n" + code]


# Reads by name, residues and (FASTQ) qualities, each loop touching all three of every read, as the
# Python readers of the field give them; timed inside the interpreter, after the imports.
READ_LOOPS = {
    "ours (modelfactory.records)": (
        "import modelfactory as mf\nit = mf.records(%(path)r)",
        "for r in it:\n    n += len(r.name) + len(r.residues)%(q)s",
        " + len(r.qualities)"),
    "dnaio": (
        "import dnaio\nit = dnaio.open(%(path)r)",
        "for r in it:\n    n += len(r.name) + len(r.sequence)%(q)s",
        " + len(r.qualities)"),
    "pyfastx Fastx": (
        "import pyfastx\nit = pyfastx.Fastx(%(path)r)",
        "for r in it:\n    n += len(r[0]) + len(r[1])%(q)s",
        " + len(r[2])"),
    "pysam FastxFile": (
        "import pysam\nit = pysam.FastxFile(%(path)r)",
        "for r in it:\n    n += len(r.name) + len(r.sequence)%(q)s",
        " + len(r.quality)"),
    "Biopython plain-string parser": (
        "import gzip\nfrom Bio.SeqIO.QualityIO import FastqGeneralIterator\n"
        "from Bio.SeqIO.FastaIO import SimpleFastaParser\n"
        "h = gzip.open(%(path)r, 'rt') if %(path)r.endswith('.gz') else open(%(path)r)\n"
        "it = FastqGeneralIterator(h) if %(fastq)r else SimpleFastaParser(h)",
        "for r in it:\n    n += len(r[0]) + len(r[1])%(q)s",
        " + len(r[2])"),
}


def read_loop(tool, path, fastq):
    setup, loop, quals = READ_LOOPS[tool]
    values = {"path": path, "fastq": fastq, "q": quals if fastq else ""}
    code = (setup % values + "\nt = time.perf_counter(); n = 0\n" + loop % values +
            "\nprint('seconds=%f characters=%d' % (time.perf_counter() - t, n))\n")
    return [PY, "-c", "import time\n" + code]


def python_rows():
    """The Python package against Biopython, and against the C++ it wraps (the binding's overhead)."""
    inputs = [("200 MB FASTA (long)", LONG, "fasta", False), ("1M FASTQ reads", FASTQ, "fastq", True),
              ("1M short reads (FASTA)", READS, "fasta", False)]
    for name, path, fmt, quals in inputs:
        measure("Python: iterate " + name, [
            Program("ours (modelfactory.iterate)", pymf(MF_ITERATE % (path, quals)), mb(path)),
            Program("Biopython SeqIO.parse", py(BIO_PARSE % (path, fmt)), mb(path)),
            Program("C++ iterator (modelfactory iterate)", [TOOL, "iterate", path], mb(path), os.devnull)])
    abi = TRACES[0]
    measure("Python: %d ABI chromatograms" % len(os.listdir(abi)), [
        Program("ours (modelfactory.TraceFile.read)", pymf(MF_TRACES % abi)),
        Program("Biopython SeqIO.read(.., 'abi')", py(BIO_ABI % abi)),
        Program("C++ TraceFile::read", [DRIVER, "traces", abi])], INTERLEAVED_REPS)


def read_rows():
    """records() against the field's Python readers: 1M FASTQ reads plain and gzip, 1M FASTA reads,
    and the long-entry FASTA."""
    for name, path, size, fastq in (("1M FASTQ reads", FASTQ, mb(FASTQ), True),
                                    ("1M FASTQ reads, gzip", FASTQ_GZ, mb(FASTQ), True),
                                    ("1M short reads (FASTA)", READS, mb(READS), False),
                                    ("200 MB FASTA (long)", LONG, mb(LONG), False)):
        programs = []
        for tool in READ_LOOPS:
            cmd = read_loop(tool, path, fastq)
            if tool.startswith("ours"):
                cmd = ["env", "PYTHONPATH=" + os.path.join(BUILD, "python")] + cmd
            programs.append(Program(tool, cmd, size))
        measure("Python: name, residues, qualities of every entry: " + name, programs)


def index_rows():
    """The .fai index of a 1 GB FASTA: building it, then 1,000 random 1 kb regions read through it,
    each side with its own index file in place (the two files are byte for byte the same)."""
    import random
    ours_copy, theirs_copy = out("genome-ours.fa"), out("genome-samtools.fa")
    for copy in (ours_copy, theirs_copy):
        if not os.path.exists(copy):
            os.symlink(GENOME, copy)
    measure("index of a 1 GB FASTA, built", [
        Program("ours (modelfactory index)", [TOOL, "index", ours_copy], mb(GENOME), nul_out()),
        Program("samtools faidx", ["samtools", "faidx", theirs_copy], mb(GENOME), nul_out())])
    rng = random.Random(26)
    entries = [line.split("\t")[:2] for line in open(ours_copy + ".fai")]
    regions = []
    for _ in range(1000):
        name, length = rng.choice(entries)
        start = rng.randrange(1, int(length) - 1000)
        regions.append("%s:%d-%d" % (name, start, start + 999))
    listing = out("regions.txt")
    with open(listing, "w") as f:
        f.write("\n".join(regions) + "\n")
    measure("1,000 random 1 kb regions of a 1 GB FASTA, index built", [
        Program("ours (modelfactory get --names-from)", [TOOL, "get", ours_copy, "--names-from", listing],
                stdout_file=nul_out(), count=len(regions)),
        Program("samtools faidx -r", ["samtools", "faidx", "-r", listing, theirs_copy],
                stdout_file=nul_out(), count=len(regions))], INTERLEAVED_REPS)


def chromatogram_batch_rows():
    """300 ABI files in one call of the tool (trace; convert into a folder, and into one file)
    against io_lib's extract_seq over the same files, in one call and one process per file, as a
    script over a run's files would do it. Whole processes, wall time."""
    folder = TRACES[0]
    files = sorted(os.path.join(folder, n) for n in os.listdir(folder))[:300]
    n = len(files)
    each = ["sh", "-c", 'for f in "$@"; do $0 "$f" > /dev/null || exit 1; done']
    fasta_dir = out("batch-fasta")
    os.makedirs(fasta_dir, exist_ok=True)
    measure("%d ABI chromatograms, trace in one call" % n, [
        Program("ours (modelfactory trace FILE...)", [TOOL, "trace"] + files, stdout_file=nul_out(), count=n,
                unit="files/s"),
        Program("extract_seq FILE...", ["extract_seq"] + files, stdout_file=nul_out(), count=n, unit="files/s"),
        Program("extract_seq, one process per file", each[:3] + ["extract_seq"] + files, count=n,
                unit="files/s"),
        Program("ours, one process per file", each[:3] + [TOOL + " trace"] + files, count=n,
                unit="files/s")], INTERLEAVED_REPS)
    measure("%d ABI chromatograms -> FASTA in one call" % n, [
        Program("ours (modelfactory convert FILE... --output-dir)",
                [TOOL, "convert"] + files + ["--to", "FASTA", "--output-dir", fasta_dir], stdout_file=nul_out(),
                count=n, unit="files/s"),
        Program("ours (modelfactory convert FILE... --output one.fa)",
                [TOOL, "convert"] + files + ["--output", out("batch.fa")], stdout_file=nul_out(), count=n,
                unit="files/s"),
        Program("extract_seq -fasta_out FILE...", ["extract_seq", "-fasta_out"] + files, stdout_file=nul_out(),
                count=n, unit="files/s"),
        Program("extract_seq -fasta_out, one process per file", each[:3] + ["extract_seq -fasta_out"] + files,
                count=n, unit="files/s")], INTERLEAVED_REPS)


def startup_rows():
    """Start-up: 100 runs of a command that reads no file, one after the other in one shell, against
    seqtk's start-up (on an empty input). The loop's own cost is the same on both sides."""
    runs = 100
    loop = ["sh", "-c", 'i=0; while [ $i -lt %d ]; do $0 > /dev/null || exit 1; i=$((i+1)); done' % runs]
    measure("start-up, %d runs" % runs, [
        Program("ours (modelfactory formats)", loop + [TOOL + " formats"], count=runs, unit="runs/s"),
        Program("ours (modelfactory --version)", loop + [TOOL + " --version"], count=runs, unit="runs/s"),
        Program("seqtk seq /dev/null", loop + ["seqtk seq /dev/null"], count=runs, unit="runs/s")],
        INTERLEAVED_REPS)


def nul_out():
    return os.devnull


def mb(path):
    # A file of a workload MF_BENCH_ONLY leaves out need not be there.
    return os.path.getsize(path) / 1e6 if not ONLY or os.path.exists(path) else 0.0


def speed_text(value, unit):
    if unit == "MB/s":
        return "%.2f GB/s" % (value / 1000) if value >= 1000 else "%.0f MB/s" % value
    return "{:,.0f} {}".format(value, unit)


rows = []  # (workload, tool, figure, unit, peak MiB, note)


def add(workload, tool, figure, unit, peak, note=""):
    rows.append((workload, tool, figure, unit, peak, note))
    log("  %-34s %-30s %12s  %7.0f MiB  %s" % (workload, tool, speed_text(figure, unit), peak, note))


class Program:
    """One program of a workload: its row name, its command, and how its figure is made (the input's
    size in MB for a throughput; None for a files-per-second rate from the files=N it prints)."""

    def __init__(self, tool, cmd, size_mb=None, stdout_file=None, note_key=None, count=None, output=None,
                 unit="regions/s"):
        self.tool, self.cmd, self.size_mb = tool, cmd, size_mb
        self.stdout_file, self.note_key = stdout_file, note_key
        self.count = count  # a fixed number of requests: the figure is requests a second
        self.output = output  # a file the program writes: its size is noted
        self.unit = unit


def measure(workload, programs, reps=None):
    """Runs the programs of one workload in turns, one run each a round, for `reps` rounds
    (MF_BENCH_REPS), and adds a row per program with its median time and peak memory. Taking
    turns keeps the machine's drift from falling between the two sides of a ratio."""
    if ONLY and not any(part in workload for part in ONLY):
        return
    log(workload)
    results = [[] for _ in programs]
    for _ in range(reps or REPS):
        for program, runs in zip(programs, results):
            runs.append(run_once(program.cmd, program.stdout_file))
    for program, runs in zip(programs, results):
        seconds = statistics.median(r[0] for r in runs)
        peak = statistics.median(r[1] for r in runs)
        pairs = runs[-1][2]
        note = ""
        if program.note_key and program.note_key in pairs:
            note = "%.2fx residues%s" % (float(pairs[program.note_key]),
                                         "+qualities" if program.note_key == "text_ratio" else "")
        if program.output:
            note = "%.1f MB out" % (os.path.getsize(program.output) / 1e6)
        elif program.note_key == "bytes" and "bytes" in pairs:
            note = "%.1f MB out" % (int(pairs["bytes"]) / 1e6)
        if program.count is not None:
            add(workload, program.tool, program.count / seconds, program.unit, peak, note)
        elif program.size_mb is None:
            add(workload, program.tool, int(pairs["files"]) / seconds, "files/s", peak, note)
        else:
            add(workload, program.tool, program.size_mb / seconds, "MB/s", peak, note)


def out(name):
    return os.path.join(SCRATCH, name)


def main():
    # Workloads picked by MF_BENCH_ONLY may need the tool alone.
    for tool in (TOOL,) if ONLY else (DRIVER, TOOL, INFLATE, DEFLATE):
        if not os.access(tool, os.X_OK):
            sys.exit("bench_run: %s is missing; build it first" % tool)
    started = time.time()
    nul = os.devnull

    def cat(path):
        return Program("cat > /dev/null (I/O floor)", ["cat", path], mb(path), nul)

    measure("200 MB FASTA (long), read", [
        Program("ours", [DRIVER, "read", LONG], mb(LONG)),
        cat(LONG),
        Program("seqtk seq", ["seqtk", "seq", LONG], mb(LONG), nul),
        Program("Biopython SeqIO.parse", py(BIO_PARSE % (LONG, "fasta")), mb(LONG)),
        Program("seqret (to FASTA)", ["seqret", "-auto", "-sequence", "fasta::" + LONG,
                                      "-outseq", "fasta::" + out("seqret.fa")], mb(LONG))])
    measure("200 MB FASTA (long), loaded whole", [
        Program("ours (factory open)", [DRIVER, "load", LONG], mb(LONG), note_key="ratio"),
        Program("Biopython SeqIO.to_dict", py(BIO_LOAD % LONG), mb(LONG), note_key="ratio")])

    measure("1M short reads (100 MB), read", [
        Program("ours", [DRIVER, "read", READS], mb(READS)),
        cat(READS),
        Program("seqtk seq", ["seqtk", "seq", READS], mb(READS), nul),
        Program("Biopython SeqIO.parse", py(BIO_PARSE % (READS, "fasta")), mb(READS))])
    measure("1M short reads (100 MB), loaded whole", [
        Program("ours (factory open)", [DRIVER, "load", READS], mb(READS), note_key="ratio"),
        Program("Biopython SeqIO.to_dict", py(BIO_LOAD % READS), mb(READS), note_key="ratio")])

    measure("1M FASTQ reads, loaded whole", [
        Program("ours (factory open)", [DRIVER, "load", FASTQ], mb(FASTQ), note_key="text_ratio"),
        # (Biopython's to_dict takes two minutes a run here: its figures are in the FASTA row above.)
        Program("ours (Python modelfactory.open)", pymf(MF_LOAD_FASTQ % FASTQ), mb(FASTQ), note_key="text_ratio")])

    # Compressed input: speeds are over the decompressed content (reads.fa), so they compare with
    # the plain rows above.
    measure("1M short reads, gzip (100 MB in 30 MB), read", [
        Program("ours", [DRIVER, "read", READS_GZ], mb(READS)),
        Program("zcat > /dev/null (inflate floor)", ["zcat", READS_GZ], mb(READS), nul),
        Program("seqtk seq", ["seqtk", "seq", READS_GZ], mb(READS), nul)])
    # The gzip library the readers use, against the others Debian offers.
    measure("inflating reads.fa.gz, library alone", [
        Program("ours: ISA-L igzip, streaming", [INFLATE, "isal", READS_GZ], mb(READS)),
        Program("zlib, streaming", [INFLATE, "zlib", READS_GZ], mb(READS)),
        Program("libdeflate, whole file in memory", [INFLATE, "libdeflate", READS_GZ], mb(READS))])
    measure("1M FASTQ reads (%.0f MB), read" % mb(FASTQ), [
        Program("ours", [DRIVER, "read", FASTQ], mb(FASTQ)),
        cat(FASTQ),
        Program("seqtk seq", ["seqtk", "seq", FASTQ], mb(FASTQ), nul),
        Program("seqkit seq -j 1", ["seqkit", "seq", "-j", "1", FASTQ], mb(FASTQ), nul),
        Program("seqkit stats -j 1", ["seqkit", "stats", "-j", "1", FASTQ], mb(FASTQ), nul),
        Program("Biopython SeqIO.parse", py(BIO_PARSE % (FASTQ, "fastq")), mb(FASTQ))])

    for W, path, fmt in (("100 MB GenBank, features kept", GB, "genbank"),
                         ("50 MB EMBL, features kept", EMBL, "embl")):
        measure(W + ": read", [
            Program("ours", [DRIVER, "read", path], mb(path)),
            Program("Biopython SeqIO.parse", py(BIO_PARSE % (path, fmt)), mb(path))])
        measure(W.split(",")[0] + " -> FASTA", [
            Program("ours (modelfactory convert)", [TOOL, "convert", path, out("ours.fasta"), "--to", "FASTA"],
                    mb(path), nul),
            cat(path),
            Program("Biopython SeqIO.convert (drops features)", py(BIO_CONVERT % (path, fmt, out("bio.fa"))),
                    mb(path)),
            Program("seqret -feature", ["seqret", "-auto", "-feature", "-sequence", fmt + "::" + path,
                                        "-outseq", "fasta::" + out("seqret.fa")], mb(path)),
            Program("seqret (drops features)", ["seqret", "-auto", "-sequence", fmt + "::" + path,
                                                "-outseq", "fasta::" + out("seqret.fa")], mb(path))])

    # The sequence of every feature (source, genes, joined CDSs on both strands), as FASTA.
    measure("100 MB GenBank: every feature's sequence", [
        Program("ours (modelfactory features)", [TOOL, "features", GB], mb(GB), nul),
        Program("Biopython feature.extract loop", py(BIO_EXTRACT % (out("bio-features.fa"), GB, "genbank")),
                mb(GB))])

    # The in-process loops below take well under a second each: more rounds.
    measure("2,000 chromatograms (ABI+SCF+ZTR)", [
        Program("ours (TraceFile::read)", [DRIVER, "traces"] + TRACES),
        Program("io_lib read_reading (floor)", [DRIVER, "iolib"] + TRACES)], INTERLEAVED_REPS)
    for sub, folder in zip(("ABI", "SCF", "ZTR"), TRACES):
        programs = [Program("ours (TraceFile::read)", [DRIVER, "traces", folder]),
                    Program("io_lib read_reading (floor)", [DRIVER, "iolib", folder])]
        if sub == "ABI":
            programs.append(Program("Biopython SeqIO abi", py(BIO_ABI % folder)))
        count = len(os.listdir(folder)) if os.path.isdir(folder) or not ONLY else 0
        measure("%d %s chromatograms" % (count, sub), programs, INTERLEAVED_REPS)

    chromatogram_batch_rows()
    startup_rows()

    measure("getType, 10,000 mixed files", [
        Program("ours (ModelFactory::getType)", [DRIVER, "gettype", MIXED]),
        Program("ours, factory layers alone", [DRIVER, "gettype-own", MIXED]),
        Program("stat + open + read 32 KiB (content floor)", [DRIVER, "head", MIXED]),
        Program("stat (floor)", [DRIVER, "stat", MIXED])], INTERLEAVED_REPS)

    for name, path in (("200 MB FASTA", LONG), ("100 MB GenBank", GB), ("50 MB EMBL", EMBL)):
        measure("iterate, " + name, [Program("ours (modelfactory iterate)", [TOOL, "iterate", path], mb(path), nul)])
    measure("iterate, 1M reads, gzip", [
        Program("ours (modelfactory iterate)", [TOOL, "iterate", READS_GZ], mb(READS), nul),
        Program("seqtk seq", ["seqtk", "seq", READS_GZ], mb(READS), nul)])
    # Short reads, one model per read, side by side with the fastest readers of each file.
    # (Speeds over the decompressed content for the .gz file, as for the compressed rows above.)
    for name, path, size in (("iterate, 1M reads (FASTA)", READS, mb(READS)),
                             ("iterate, 1M reads (FASTQ)", FASTQ, mb(FASTQ)),
                             ("iterate, 1M reads (FASTQ, gzip)", FASTQ_GZ, mb(FASTQ))):
        measure(name, [
            Program("ours (modelfactory iterate)", [TOOL, "iterate", path], size, nul),
            Program("seqtk seq", ["seqtk", "seq", path], size, nul),
            Program("seqkit seq -j 1", ["seqkit", "seq", "-j", "1", path], size, nul),
            Program("seqkit stats -j 1", ["seqkit", "stats", "-j", "1", path], size, nul)])

    # FASTQ to FASTQ, each side writing a file (seqtk through its standard output).
    measure("convert reads.fq out.fq", [
        Program("ours (modelfactory convert)", [TOOL, "convert", FASTQ, out("ours.fq")], mb(FASTQ), nul),
        Program("seqtk seq", ["seqtk", "seq", FASTQ], mb(FASTQ), out("seqtk.fq"))])

    # The deflaters gzip output could use, one thread on BGZF-sized blocks, at the levels whose
    # output sizes meet: the speed at a given size chose libdeflate, and the sizes its level 2.
    measure("deflating reads.fq in 64 KiB blocks, library alone (one thread)", [
        Program("ours: libdeflate %s%s" % (level, " (default)" if level == "2" else ""),
                [DEFLATE, "libdeflate", level, FASTQ], mb(FASTQ), note_key="bytes")
        for level in ("2", "1", "3", "6")] + [
        Program("ISA-L igzip %s" % level, [DEFLATE, "isal", level, FASTQ], mb(FASTQ), note_key="bytes")
        for level in ("1", "2", "3")] + [
        Program("zlib %s" % level, [DEFLATE, "zlib", level, FASTQ], mb(FASTQ), note_key="bytes")
        for level in ("1", "2", "5", "6")])

    # gzip output: ours is BGZF deflated on every core; seqkit's and pigz's writers for scale.
    packed = {name: out(name + ".fq.gz") for name in ("ours", "seqkit1", "seqkit2", "pigz")}
    measure("convert 1M FASTQ reads to .fq.gz", [
        Program("ours (modelfactory convert, BGZF)", [TOOL, "convert", FASTQ, packed["ours"]], mb(FASTQ), nul,
                output=packed["ours"]),
        Program("seqkit seq -j 1 -o x.gz", ["seqkit", "seq", "-j", "1", FASTQ, "-o", packed["seqkit1"]],
                mb(FASTQ), output=packed["seqkit1"]),
        Program("seqkit seq -j 2 -o x.gz", ["seqkit", "seq", "-j", "2", FASTQ, "-o", packed["seqkit2"]],
                mb(FASTQ), output=packed["seqkit2"]),
        Program("pigz -p 2 (level 6, for scale)", ["sh", "-c", 'pigz -p 2 -c "$0" > "$1"', FASTQ, packed["pigz"]],
                mb(FASTQ), output=packed["pigz"])])

    # The same figures on both sides: every column of seqkit's -a (quartiles, N50, GC, qualities).
    for name, path in (("stats --all, 1M reads (FASTQ)", FASTQ), ("stats --all, 1M reads (FASTA)", READS),
                       ("stats --all, 200 MB FASTA (long)", LONG)):
        measure(name, [
            Program("ours (modelfactory stats --all --tabular)", [TOOL, "stats", "--all", "--tabular", path],
                    mb(path), nul),
            Program("seqkit stats -a -T -j 1", ["seqkit", "stats", "-a", "-T", "-j", "1", path], mb(path), nul)])

    if not ONLY or any(part in "index of a 1 GB FASTA, built; 1,000 random 1 kb regions of a 1 GB FASTA"
                       for part in ONLY):
        index_rows()

    if os.path.isdir(os.path.join(BUILD, "python", "modelfactory")) and (not ONLY or any("Python" in part for part in ONLY)):
        python_rows()
        read_rows()

    report(time.time() - started)


# Targets: workload -> (peer tool, minimum speed ratio ours/peer)
TARGETS = {
    "200 MB FASTA (long), read": [("seqtk seq", 1.0)],
    "1M short reads (100 MB), read": [("seqtk seq", 1.0)],
    "1M short reads, gzip (100 MB in 30 MB), read": [("seqtk seq", 2.0)],
    "iterate, 1M reads, gzip": [("seqtk seq", 2.0)],
    "100 MB GenBank, features kept: read": [("Biopython SeqIO.parse", 10.0)],
    "50 MB EMBL, features kept: read": [("Biopython SeqIO.parse", 10.0)],
    "100 MB GenBank -> FASTA": [("seqret -feature", 1.0), ("seqret (drops features)", 1.0)],
    "50 MB EMBL -> FASTA": [("seqret -feature", 1.0), ("seqret (drops features)", 1.0)],
    "2,000 chromatograms (ABI+SCF+ZTR)": [("io_lib read_reading (floor)", 1 / 1.10)],
    "300 ABI chromatograms, trace in one call": [("extract_seq FILE...", 1.0)],
    "300 ABI chromatograms -> FASTA in one call": [("extract_seq -fasta_out FILE...", 1.0)],
    "start-up, 100 runs": [("seqtk seq /dev/null", 1 / 3.0)],
    "Python: iterate 200 MB FASTA (long)": [("Biopython SeqIO.parse", 3.0)],
    "Python: iterate 1M FASTQ reads": [("Biopython SeqIO.parse", 3.0)],
    "iterate, 1M reads (FASTA)": [("seqtk seq", 1.0), ("seqkit stats -j 1", 1.0)],
    "iterate, 1M reads (FASTQ)": [("seqtk seq", 1.0), ("seqkit stats -j 1", 1.0)],
    "iterate, 1M reads (FASTQ, gzip)": [("seqtk seq", 2.0)],
    "convert reads.fq out.fq": [("seqtk seq", 1.0)],
    "stats --all, 1M reads (FASTQ)": [("seqkit stats -a -T -j 1", 1.0)],
    "stats --all, 1M reads (FASTA)": [("seqkit stats -a -T -j 1", 1.0)],
    "stats --all, 200 MB FASTA (long)": [("seqkit stats -a -T -j 1", 1.0)],
    "index of a 1 GB FASTA, built": [("samtools faidx", 1.0)],
    "convert 1M FASTQ reads to .fq.gz": [("seqkit seq -j 2 -o x.gz", 1.0)],
    "1,000 random 1 kb regions of a 1 GB FASTA, index built": [("samtools faidx -r", 1.0)],
}


# Output size targets: workload -> (peer tool, largest output ratio ours/peer)
SIZE_TARGETS = {"convert 1M FASTQ reads to .fq.gz": ("seqkit seq -j 2 -o x.gz", 1.10)}


def report(elapsed):
    lines = ["| workload | program | figure | peak RSS | ours / program | target |",
             "|---|---|---:|---:|---:|---|"]
    ours = {}
    for w, tool, fig, unit, peak, note in rows:
        if tool.startswith("ours"):
            ours.setdefault(w, fig)  # the first "ours" row of a workload is the one compared
    last = None
    for w, tool, fig, unit, peak, note in rows:
        ratio, target = "", ""
        if not tool.startswith("ours") and w in ours:
            ratio = "%.2f" % (ours[w] / fig)
            targets = TARGETS.get(w, [])
            if w.startswith("Python:") and w.endswith("ABI chromatograms"):
                targets = [("Biopython SeqIO.read(.., 'abi')", 5.0)]
            for t, minimum in targets:
                if t == tool:
                    target = ("&ge; %.2f: %s" % (minimum, "met" if ours[w] / fig >= minimum else "MISSED"))
        if tool.startswith("ours"):
            if w in SIZE_TARGETS:
                peer, most = SIZE_TARGETS[w]
                theirs = next((r[5] for r in rows if r[0] == w and r[1] == peer), "")
                if note and theirs:
                    size = float(note.split()[0]) / float(theirs.split()[0])
                    target = "output &le; %.2fx %s's: %.2fx, %s" % (most, peer.split(" -o")[0], size,
                                                                     "met" if size <= most else "MISSED")
            if w.startswith(("iterate", "stats")):
                target = "peak < 64 MiB: %s" % ("met" if peak < 64 else "MISSED")
            elif "loaded whole" in w and "long" in w and note:
                r = float(note.split("x")[0])
                target = "&le; 1.10x residues: %s" % ("met" if r <= 1.10 else "MISSED")
            elif "loaded whole" in w and "FASTQ" in w and note:
                r = float(note.split("x")[0])
                target = "&le; 2.00x residues+qualities: %s" % ("met" if r <= 2.00 else "MISSED")
        memory = "%.0f MiB" % peak + (" (%s)" % note if note else "")
        lines.append("| %s | %s | %s | %s | %s | %s |" % (w if w != last else "", tool,
                                                          speed_text(fig, unit), memory, ratio, target))
        last = w
    with open("/proc/cpuinfo") as f:
        cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "?")
    lines.append("")
    lines.append("%d cores (%s), medians of %d runs, warm cache; whole run %.0f s." %
                 (os.cpu_count(), cpu, REPS, elapsed))
    text = "\n".join(lines) + "\n"
    print(text)
    if OUT:
        with open(OUT, "w") as f:
            f.write(text)


if __name__ == "__main__":
    try:
        main()
    finally:
        subprocess.run(["rm", "-rf", SCRATCH])
