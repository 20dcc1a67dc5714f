import gzip

import numpy as np
import pytest

import modelfactory as mf

READS = [("r%d" % i, "ACGTN"[i % 5] * 10 + "ACGT" * i, [min(40, 2 + i + j) for j in range(10 + 4 * i)])
         for i in range(50)]


def fastq_text():
    return "".join("@%s lane=1\n%s\n+\n%s\n" % (name, bases, "".join(chr(33 + q) for q in quals))
                   for name, bases, quals in READS)


@pytest.fixture
def needs_fastq():
    if "FASTQ" not in [name for name, _ in mf.formats()]:
        pytest.skip("this build reads no FASTQ")


def check_reads(models):
    got = [(s.name, s.residues, list(s.qualities)) for m in models for s in m]
    assert got == READS


@pytest.mark.parametrize("name, write", [
    ("reads.fastq", lambda path, text: path.write_text(text)),
    ("reads.fastq.gz", lambda path, text: path.write_bytes(gzip.compress(text.encode()))),
])
def test_iterate_fastq_plain_and_gzipped_keeps_every_quality(tmp_path, needs_fastq, name, write):
    path = tmp_path / name
    write(path, fastq_text())
    assert mf.get_type(path) == "SeqModel"
    check_reads(mf.iterate(path))
    check_reads([mf.open(path)])


def test_built_reads_save_as_fastq_and_read_back(tmp_path, needs_fastq):
    model = mf.SeqModel()
    for name, bases, quals in READS:
        model.append(mf.Sequence(name, bases, qualities=np.array(quals, dtype=np.uint8)))
    mf.save(model, tmp_path / "out.fq", "FASTQ")
    check_reads(mf.iterate(tmp_path / "out.fq"))
