"""Feature sequences, run by interop.py: `modelfactory features FILE --json` against Biopython's
`feature.extract()` on every GenBank, GenPept and EMBL sample of tests/data.

The features are compared one by one, in file order: the key, then the residues (ignoring case:
Biopython's readers give upper case, ours keep the file's). A feature whose location reaches into
another entry (AB123.1:10..20) has no sequence to take from its own entry: Biopython refuses it
(`extract` needs the other records), and so must we, reporting it and writing the rest; such
features are counted apart, as a reasoned exclusion. tests/data/bad holds files broken by hand and
is left out.

run_all returns (summary lines, problem texts).
"""
import json
import os
import subprocess
import warnings

from Bio import BiopythonWarning, SeqIO

# A master or contig record's features lie on residues its file does not hold: Biopython's extract
# raises on the undefined sequence, and we must refuse them as well.
ABSENT = object()

FORMAT_BY_EXTENSION = {"gb": "genbank", "gbk": "genbank", "gp": "genbank", "embl": "embl", "emb": "embl"}


def samples(data):
    for folder, _, files in sorted(os.walk(data)):
        if os.path.relpath(folder, data).split(os.sep)[0] == "bad":
            continue
        for name in sorted(files):
            fmt = FORMAT_BY_EXTENSION.get(name.rsplit(".", 1)[-1].lower())
            if fmt:
                yield os.path.join(folder, name), fmt


def theirs(path, fmt):
    """(key, residues or None for a part in another entry) per feature, in file order."""
    out = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", BiopythonWarning)
        for record in SeqIO.parse(path, fmt):
            for feature in record.features:
                if any(part.ref for part in feature.location.parts):
                    out.append((feature.type, None))
                elif not getattr(record.seq, "defined", True):
                    out.append((feature.type, ABSENT))
                else:
                    out.append((feature.type, str(feature.extract(record.seq))))
    return out


def ours(tool, path):
    """(features written, error messages) of `features --json`."""
    done = subprocess.run([tool, "features", path, "--json"], capture_output=True, text=True)
    document = json.loads(done.stdout)
    errors = [m["text"] for m in document["messages"] if m["severity"] == "error"]
    if (done.returncode != 0) != bool(errors):
        errors.append("exit status %d with %d error(s)" % (done.returncode, len(errors)))
    return [(f["key"], f["residues"]) for f in document["features"]], errors


def check_file(tool, path, fmt):
    """(agreements, remote exclusions, features, problems) for one file."""
    expected = theirs(path, fmt)
    written, errors = ours(tool, path)
    problems = []
    remote = [key for key, residues in expected if residues is None or residues is ABSENT]
    local = [(key, residues) for key, residues in expected if residues is not None and residues is not ABSENT]
    # Every feature in another entry or on absent residues is reported by us, once, and only those are.
    remote_errors = [e for e in errors if "reaches into another entry" in e or "holds no residues" in e]
    if len(remote_errors) != len(remote) or len(errors) != len(remote_errors):
        problems.append("%d feature(s) in other entries or without residues, but our errors were: %s"
                        % (len(remote), "; ".join(errors) or "none"))
    if len(written) != len(local):
        problems.append("%d features written, Biopython extracts %d" % (len(written), len(local)))
    agreed = 0
    for index, ((key, residues), (our_key, our_residues)) in enumerate(zip(local, written)):
        if key == our_key and residues.upper() == our_residues.upper():
            agreed += 1
        elif len(problems) < 5:
            problems.append("feature %d (%s): ours %s %d residues %r..., Biopython's %s %d residues %r..."
                            % (index + 1, key, our_key, len(our_residues), our_residues[:20], key,
                               len(residues), residues[:20]))
    return agreed, len(remote), len(expected), problems


def run_all(tool, data):
    files = agreed = remote = total = 0
    problems = []
    for path, fmt in samples(data):
        files += 1
        try:
            a, r, t, p = check_file(tool, path, fmt)
        except Exception as error:  # the tool's output did not parse, or Biopython failed
            a, r, t, p = 0, 0, 0, ["%s: %s" % (type(error).__name__, error)]
        agreed, remote, total = agreed + a, remote + r, total + t
        problems += ["%s: %s" % (os.path.relpath(path, data), text) for text in p]
    summary = ["features: extract agreement: %d of %d features in %d files (%d in other entries, "
               "or without residues, refused by both)" % (agreed, total - remote, files, remote)]
    return summary, problems
