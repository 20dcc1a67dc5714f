import numpy as np
import pytest

import modelfactory as mf

Bio = pytest.importorskip("Bio")
from Bio import SeqIO  # noqa: E402


def test_genbank_reads_the_same_as_biopython(testdata):
    path = testdata / "sequences" / "NC_005816.gb"
    ours = [s for m in mf.iterate(path) for s in m]
    theirs = list(SeqIO.parse(str(path), "genbank"))
    assert [(s.name, s.residues.upper()) for s in ours] == [(r.name, str(r.seq).upper()) for r in theirs]
    record = ours[0].to_seqrecord()
    assert [f.type for f in record.features] == [f.type for f in theirs[0].features]
    assert [f.location for f in record.features] == [f.location for f in theirs[0].features]
    assert record.annotations["molecule_type"] == "DNA"


def test_round_trip_keeps_name_qualities_features_annotations():
    read = mf.Sequence("r1", "ACGTACGTAA", accession="X1", description="a read", qualities=range(10, 20))
    read.features = [mf.Feature("CDS", "complement(join(1..3,6..9))", [("gene", "g"), ("note", "n")]),
                     mf.Feature("misc", "4", [])]
    read.annotations = [("KEYWORDS", "k1"), ("KEYWORDS", "k2"), ("SOURCE", "s")]
    record = read.to_seqrecord()
    assert record.id == "X1" and record.name == "r1" and record.description == "a read"
    assert record.letter_annotations["phred_quality"] == list(range(10, 20))
    assert record.annotations["KEYWORDS"] == ["k1", "k2"]
    back = mf.from_seqrecord(record)
    assert (back.name, back.accession, back.description, back.residues, back.molecule) == \
        ("r1", "X1", "a read", "ACGTACGTAA", "DNA")
    assert np.array_equal(back.qualities, np.arange(10, 20))
    assert back.features == read.features
    assert back.annotations == read.annotations


def test_from_fastq_record_saves_as_fastq_when_available(tmp_path):
    from io import StringIO
    record = next(SeqIO.parse(StringIO("@q1\nACGT\n+\nIIII\n"), "fastq"))
    sequence = mf.from_seqrecord(record)
    assert list(sequence.qualities) == [40] * 4
    model = mf.SeqModel()
    model.append(sequence)
    mf.save(model, tmp_path / "one.fa")
    assert (tmp_path / "one.fa").read_text().split() == [">q1", "ACGT"]
