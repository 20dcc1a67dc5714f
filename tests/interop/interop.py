#!/usr/bin/env python3
"""Interoperability check: do other programs read our files as we meant them, and we theirs?

For every sequence, alignment, chromatogram and FASTQ sample in tests/data:
  1. read it with modelfactory (`open --json --all`, and `trace --json` for chromatograms) and with
     a reference reader (Biopython; EMBOSS seqret for GCG and Staden files; io_lib's trace_dump for
     SCF, ZTR, experiment and plain files), and compare the entries;
  2. convert it with `modelfactory convert` into every format the tool writes and have a reference
     read each result back, comparing with what modelfactory read from the original.
One summary line per family; exit status 1 on any disagreement that tests/interop/allow-list does
not name.

How entries are compared:
  - the number of entries, then each entry's name and residues, in order;
  - residues ignore case (GenBank and EMBL write lower case, the other formats upper case);
  - the gap characters '-', '.' and '~' are one gap (MSF writes '.', readers turn it into '-'), and
    gaps at the end of a row are ignored (MSF pads rows to the longest, other formats need not);
  - a '*' is a residue like any other: a final one (a stop) must survive, and NBRF's terminating
    '*' is the format's own, which every NBRF reader drops;
  - an entry with no name in the reference's reading (a plain sequence file) is compared by
    residues only; in NEXUS an unquoted '_' is a blank (Biopython keeps the '_');
  - after a conversion a name is expected as modelfactory read it, with white space turned into
    '_' (every writer makes names single tokens);
  - chromatograms: the called bases (io_lib's '-' is its N call) and the number of samples;
  - FASTQ: the Phred qualities too, wherever both sides have them (Solexa scores are compared as
    the Phred values they convert to); the malformed samples (error_*) must be refused by both;
    FASTQ output of a sequence without qualities is written with --default-quality 40.
Feature sequences are checked too: `modelfactory features` against Biopython's feature.extract() on
every GenBank, GenPept and EMBL sample (tests/interop/features_check.py).
The formats that hold only aligned rows (Clustal, MSF alignment, NEXUS, PHYLIP) are not written
from samples whose entries differ in length; RSF is not written, since no reference reads it.

Usage: interop.py TOOL [--data DIR] [--allow FILE] [--verbose]
"""

import argparse
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import warnings

from Bio import BiopythonWarning, SeqIO

warnings.simplefilter("ignore", BiopythonWarning)

HERE = os.path.dirname(os.path.abspath(__file__))

# --- reference readers --------------------------------------------------------------------------
# Each returns a list of (name, residues); chromatogram readers return (bases, samples).

# Formats whose Biopython record carries the entry name in .name (.id is the accession there).
NAMED_BY_NAME = {"genbank", "embl", "swiss"}


def residues_of(record):
    """The residues, or "" for a record that declares a length but holds none (a master or
    contig record, whose sequence Biopython leaves undefined)."""
    return str(record.seq) if getattr(record.seq, "defined", True) else ""


def declared_length(record):
    """The length a record without residues declares, else None."""
    return None if getattr(record.seq, "defined", True) else len(record.seq)


def biopython(fmt):
    def read(path):
        return [(r.name if fmt in NAMED_BY_NAME else r.id, residues_of(r), None, declared_length(r))
                for r in SeqIO.parse(path, fmt)]
    read.label = "Biopython " + fmt
    return read


def open_text(path):
    """Biopython reads text: compressed samples are inflated for it."""
    with open(path, "rb") as head:
        compressed = head.read(2) == b"\x1f\x8b"
    return gzip.open(path, "rt") if compressed else open(path)


def phred_of(record):
    from Bio.SeqIO.QualityIO import phred_quality_from_solexa
    qualities = record.letter_annotations
    if "solexa_quality" in qualities:
        return [round(phred_quality_from_solexa(q)) for q in qualities["solexa_quality"]]
    return list(qualities["phred_quality"])


def biopython_fastq(variant):
    def read(path):
        with open_text(path) as handle:
            return [(r.id, str(r.seq), phred_of(r)) for r in SeqIO.parse(handle, variant)]
    read.label = "Biopython " + variant
    return read


def fastq_reader(file_name):
    """The Biopython variant a sample's name says it holds (old Illumina and Solexa files)."""
    if "original_illumina" in file_name:
        return biopython_fastq("fastq-illumina")
    if "original_solexa" in file_name:
        return biopython_fastq("fastq-solexa")
    return biopython_fastq("fastq")


def seqret(fmt):
    def read(path):
        out = run(["seqret", "-sequence", fmt + "::" + path, "-outseq", "fasta::stdout", "-auto"])
        return [(name.split()[0], "".join(seq.split()))
                for name, seq in re.findall(r"^>(.*)\n([^>]*)", out, re.M)]
    read.label = "seqret " + fmt
    return read


def io_lib_read(path):
    """io_lib's own reading: the called bases as it spells them, and the number of samples."""
    out = run(["trace_dump", path])
    samples = int(re.search(r"^(\d+)\s+# NPoints", out, re.M).group(1))
    bases = "".join(re.findall(r"^(\S) \d+ ", out.split("[Bases]", 1)[1], re.M))
    return bases, samples


def io_lib_trace(path):
    bases, samples = io_lib_read(path)
    return bases.replace("-", "N"), samples  # io_lib spells its N call '-'


def io_lib_sequence(path):
    """A plain sequence file as io_lib reads it; such a file names no entry."""
    return [("", io_lib_read(path)[0])]


def biopython_abi(path):
    record = SeqIO.read(path, "abi")
    return str(record.seq), len(record.annotations["abif_raw"]["DATA9"])


io_lib_trace.label = io_lib_sequence.label = "io_lib trace_dump"
biopython_abi.label = "Biopython abi"

# The reference for reading each sample, by extension; files whose layout the extension does not
# tell (PHYLIP comes strict or relaxed, sequential or interleaved) are named on their own.
READ_BY_EXTENSION = {
    "fa": biopython("fasta"), "fasta": biopython("fasta"), "fna": biopython("fasta"),
    "faa": biopython("fasta"), "gb": biopython("genbank"), "gbk": biopython("genbank"),
    "gp": biopython("genbank"), "embl": biopython("embl"), "emb": biopython("embl"),
    "swl": biopython("swiss"), "swiss": biopython("swiss"), "spt": biopython("swiss"),
    "pir": biopython("pir"), "msf": biopython("msf"), "aln": biopython("clustal"),
    "nex": biopython("nexus"), "nexus": biopython("nexus"), "gcg": seqret("gcg"),
    "ssf": seqret("gcg"), "sta": seqret("staden"), "pln": io_lib_sequence,
}
READ_BY_NAME = {
    "sequential.phy": biopython("phylip-sequential"),
    "interlaced.phy": biopython("phylip"),
    "testaln.phylip": biopython("phylip"),
}
TRACE_BY_EXTENSION = {"ab1": biopython_abi, "scf": io_lib_trace, "ztr": io_lib_trace,
                      "exp": io_lib_trace}

# Every format the tool writes: (name given to --to, extension, reference that reads it back,
# whether the format holds only aligned rows). XML is left out: it is the model document, which no
# other program reads; so is RSF, which no reference reads.
TARGETS = [
    ("FASTA", "fa", biopython("fasta"), False),
    ("GenBank", "gb", biopython("genbank"), False),
    ("EMBL", "embl", biopython("embl"), False),
    ("Swiss", "swl", biopython("swiss"), False),
    ("TrEMBL", "spt", biopython("swiss"), False),
    ("NBRF", "pir", biopython("pir"), False),
    ("GCG", "ssf", seqret("gcg"), False),
    ("MSF", "msf", biopython("msf"), False),
    ("CLUSTAL", "aln", biopython("clustal"), True),
    ("MSF-ALN", "msf", biopython("msf"), True),
    ("NEXUS", "nex", biopython("nexus"), True),
    ("PHYLIP", "phy", biopython("phylip-relaxed"), True),
    ("FASTQ", "fq", biopython_fastq("fastq"), False),
]
DEFAULT_QUALITY = 40

FAMILIES = [("sequences", "sequences"), ("alignments", "alignments"), ("chromatograms", "traces"),
            ("reads", "fastq")]


# --- our reading -------------------------------------------------------------------------------

def run(command):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(" ".join(command[:2]) + " failed: " + last_line(done.stderr))
    return done.stdout


def last_line(text):
    lines = [line for line in text.strip().splitlines() if line.strip()]
    return lines[-1] if lines else "(no message)"


def tool_json(tool, *args):
    done = subprocess.run([tool, *args, "--json"], capture_output=True, text=True)
    result = json.loads(done.stdout) if done.stdout.strip() else {}
    if done.returncode != 0 or not result.get("ok"):
        errors = [m["text"] for m in result.get("messages", []) if m.get("severity") == "error"]
        raise RuntimeError((errors[-1] if errors else last_line(done.stderr)))
    return result


def named_input(path):
    """Old Illumina and Solexa samples are read under their encoding's name: FASTQ is Phred+33
    unless the caller says otherwise."""
    name = os.path.basename(path)
    for marker, variant in (("original_illumina", "fastq-illumina"),
                            ("original_solexa", "fastq-solexa")):
        if marker in name:
            return variant + "@@" + path
    return path


def our_entries(tool, path):
    model = tool_json(tool, "open", named_input(path), "--all")
    return [(s["name"], s["residues"], s.get("qualities"),
             s["length"] if s.get("residuesAbsent") else None) for s in model["sequences"]]


def our_trace(tool, path):
    trace = tool_json(tool, "trace", path)
    return trace["bases"], trace["samples"]


# --- comparison --------------------------------------------------------------------------------

def residues_key(residues):
    return re.sub(r"[.~]", "-", residues.upper()).rstrip("-")


def gcg_residues(residues):
    """The residues a GCG-family file (GCG, MSF, RSF) holds of ours: our writers leave out the PIR
    marks that are not residues (uncertain-order groups "(V,Q.K)", breaks '/', frame marks '!')
    and say so in a warning, since no GCG reader takes them."""
    out, depth = [], 0
    for c in residues:
        mark = c in "(),/!" or (c == "." and depth > 0)
        if c == "(":
            depth += 1
        elif c == ")" and depth > 0:
            depth -= 1
        if not mark and c > " ":
            out.append(c)
    return "".join(out)


def differences(ours, theirs, reader, rename=lambda name: name):
    """What differs between two entry lists, as short texts (empty when they agree)."""
    if len(ours) != len(theirs):
        return ["%d entries, reference %d" % (len(ours), len(theirs))]
    found = []
    same_name = lambda a, b: a == b
    if reader.label.endswith("nexus"):
        # NEXUS reads an unquoted '_' as a blank; Biopython keeps the '_'.
        same_name = lambda a, b: a.replace("_", " ") == b.replace("_", " ")
    for index, (entry, their_entry) in enumerate(zip(ours, theirs), 1):
        name, residues = entry[:2]
        their_name, their_residues = their_entry[:2]
        qualities = entry[2] if len(entry) > 2 else None
        their_qualities = their_entry[2] if len(their_entry) > 2 else None
        if qualities is not None and their_qualities is not None and qualities != their_qualities:
            found.append("entry %d (%s): qualities differ %s" % (
                index, name, first_difference(qualities, their_qualities)))
        declared = entry[3] if len(entry) > 3 else None
        their_declared = their_entry[3] if len(their_entry) > 3 else None
        if len(their_entry) > 3 and declared != their_declared:
            found.append("entry %d (%s): residues absent from a record of %s, reference %s" % (
                index, name, declared, their_declared))
        if their_name and not same_name(rename(name), their_name):
            found.append("entry %d: name %r, reference %r" % (index, rename(name), their_name))
        if residues_key(residues) != residues_key(their_residues):
            found.append("entry %d (%s): residues differ %s"
                         % (index, name, first_difference(residues_key(residues),
                                                          residues_key(their_residues))))
    return found


def first_difference(a, b):
    at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return "at %d (%d vs %d residues): %r vs %r" % (at + 1, len(a), len(b), a[at:at + 12],
                                                    b[at:at + 12])


def single_token(name):
    return re.sub(r"\s", "_", name)


# --- the allow-list ----------------------------------------------------------------------------

def load_allow_list(path):
    """Lines `FILE FORMAT reason...`: FORMAT is `read` for reading the sample, else a --to name."""
    allowed = {}
    with open(path) as lines:
        for line in lines:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3:
                sys.exit("allow-list: every entry needs a file, a format and the reason: " + line)
            allowed[(parts[0], parts[1])] = parts[2]
    return allowed


# --- the check ---------------------------------------------------------------------------------

def read_problems(tool, path, reader, trace_reader):
    """Reads a sample both ways: (what modelfactory read or None, the disagreements)."""
    try:
        ours = our_entries(tool, path)
    except RuntimeError as error:
        return None, ["modelfactory: %s" % error]
    try:
        if not trace_reader:
            return ours, [p + " (" + reader.label + ")"
                          for p in differences(ours, reader(path), reader)]
        bases, samples = our_trace(tool, path)
        their_bases, their_samples = trace_reader(path)
    except Exception as error:  # a reference that rejects the file, or our trace reading
        return ours, ["%s: %s" % (type(error).__name__, error)]
    problems = []
    if bases != their_bases:
        problems.append("called bases differ %s (%s)"
                        % (first_difference(bases, their_bases), trace_reader.label))
    if samples != their_samples:
        problems.append("%d samples, %s %d" % (samples, trace_reader.label, their_samples))
    return ours, problems


def refusal_problems(tool, path, reader):
    """A malformed sample: both sides must refuse it."""
    problems = []
    try:
        our_entries(tool, path)
        problems.append("modelfactory read it")
    except RuntimeError:
        pass
    try:
        reader(path)
        problems.append(reader.label + " read it")
    except ValueError:
        pass
    return problems


def round_trip_problems(tool, path, ours, target, out, back):
    """Converts a sample with modelfactory and has the reference read the result back."""
    absent = [entry[0] for entry in ours if entry[3] is not None]
    if absent and target not in ("GenBank", "EMBL"):
        # Only GenBank and EMBL can say that a record's residues are absent; formats whose readers
        # reject an entry without residues must refuse it, the others write it empty.
        ours = [(name, residues, qualities) for name, residues, qualities, _ in ours]
    if absent and target in ("GCG", "MSF", "MSF-ALN", "RSF"):
        try:
            tool_json(tool, "convert", named_input(path), out, "--to", target)
            return ["%s written although %s holds no residues" % (target, absent[0])]
        except RuntimeError as error:
            return [] if "holds no residues" in str(error) else ["refused: %s" % error]
    if target in ("GCG", "MSF", "RSF"):
        ours = [(name, gcg_residues(residues)) for name, residues, *_ in ours]
    options = []
    if target == "FASTQ":
        ours = [(name, residues, qualities or [DEFAULT_QUALITY] * len(residues))
                for name, residues, qualities, *_ in ours]
        options = ["--default-quality", str(DEFAULT_QUALITY)]
    try:
        tool_json(tool, "convert", named_input(path), out, "--to", target, *options)
        return [p + " (" + back.label + ")"
                for p in differences(ours, back(out), back, single_token)]
    except Exception as error:  # the conversion failed, or the reference rejects the file
        return ["%s: %s" % (type(error).__name__, error)]


class Tally:
    """The disagreements found, against the allow-list."""

    def __init__(self, allowed, verbose):
        self.allowed, self.verbose = allowed, verbose
        self.used, self.failures = set(), []

    def agrees(self, sample, fmt, problems):
        if not problems:
            return True
        key = (sample, fmt)
        if key in self.allowed:
            self.used.add(key)
        else:
            self.failures.append(key)
        if key not in self.allowed or self.verbose:
            print("%s %s %s: %s" % ("allowed" if key in self.allowed else "DISAGREE", sample, fmt,
                                    "; ".join(problems)))
        return False


def check(args):
    tally = Tally(load_allow_list(args.allow), args.verbose)
    summary = []
    work = tempfile.mkdtemp(prefix="mf-interop-")
    try:
        for family, folder in FAMILIES:
            files = read_ok = conversions = round_trips = 0
            for file_name in sorted(os.listdir(os.path.join(args.data, folder))):
                sample = folder + "/" + file_name
                path = os.path.join(args.data, sample)
                extension = re.sub(r"\.b?gz$", "", file_name).rsplit(".", 1)[-1].lower()
                trace_reader = TRACE_BY_EXTENSION.get(extension) if folder == "traces" else None
                reader = READ_BY_NAME.get(file_name) or READ_BY_EXTENSION.get(extension)
                if folder == "fastq":
                    reader = fastq_reader(file_name)
                files += 1
                if file_name.startswith("error_"):
                    read_ok += tally.agrees(sample, "read", refusal_problems(args.tool, path, reader))
                    continue
                if not trace_reader and not reader:
                    tally.agrees(sample, "read", ["no reference reader for ." + extension])
                    continue
                ours, problems = read_problems(args.tool, path, reader, trace_reader)
                read_ok += tally.agrees(sample, "read", problems)
                if ours is None:
                    continue
                # The formats that hold only aligned rows are written from aligned samples alone.
                aligned = (len({len(entry[1]) for entry in ours}) == 1
                           and all(entry[3] is None for entry in ours))
                for target, target_extension, back, needs_alignment in TARGETS:
                    if needs_alignment and not aligned:
                        continue
                    out = os.path.join(work, "%s-%s.%s" % (file_name.replace(".", "_"), target,
                                                           target_extension))
                    conversions += 1
                    round_trips += tally.agrees(sample, target, round_trip_problems(
                        args.tool, path, ours, target, out, back))
            summary.append("%s: read agreement: %d of %d files" % (family, read_ok, files))
            summary.append("%s: round trips: %d of %d conversions"
                           % (family, round_trips, conversions))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("\n".join(summary))
    stale = sorted(set(tally.allowed) - tally.used)
    for sample, fmt in stale:
        print("allow-list entry that no longer matches a disagreement: %s %s" % (sample, fmt))
    if tally.failures:
        print("%d disagreement(s) not in the allow-list" % len(tally.failures))
    return 1 if tally.failures or stale else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tool", help="the modelfactory executable")
    parser.add_argument("--data", default=os.path.join(HERE, "..", "data"))
    parser.add_argument("--allow", default=os.path.join(HERE, "allow-list"))
    parser.add_argument("--verbose", action="store_true", help="also show allowed disagreements")
    args = parser.parse_args()
    status = check(args)
    status = features_check(args) or status
    return peer_tools_check(args) or status


def features_check(args):
    """Feature sequences against Biopython's extract() (tests/interop/features_check.py)."""
    sys.path.insert(0, HERE)
    import features_check as features
    summary, problems = features.run_all(args.tool, args.data)
    print("\n".join(summary))
    for problem in problems:
        print("DISAGREE features " + problem)
    return 1 if problems else 0


def peer_tools_check(args):
    """The checks against the field's command-line tools (tests/interop/peer_tools.py)."""
    sys.path.insert(0, HERE)
    import peer_tools
    work = tempfile.mkdtemp(prefix="mf-interop-peers-")
    try:
        problems = peer_tools.run_all(args.tool, args.data, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for problem in problems:
        print("peer tools: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
