"""records(): the sequences of a file as light Records, the same values iterate() gives."""
import gc
import pathlib
from typing import Any, List, Optional, Tuple

import numpy as np
import pytest

import modelfactory as mf


@pytest.mark.parametrize("folder, name", [("fastq", "sanger_full_range_original_sanger.fastq"),
                                          ("fastq", "longreads_original_sanger.fastq.gz"),
                                          ("sequences", "NC_005816.gb"), ("sequences", "lupine.fasta")])
def test_records_hold_what_iterate_reads(testdata: pathlib.Path, folder: str, name: str) -> None:
    path = testdata / folder / name
    expected = [s for model in mf.iterate(path) for s in model]
    records = list(mf.records(path))
    assert len(records) == len(expected) > 0
    for record, sequence in zip(records, expected):
        assert (record.name, record.description, record.accession, record.residues, len(record)) == (
            sequence.name, sequence.description, sequence.accession, sequence.residues, len(sequence))
        array = record.quality_array()
        if sequence.qualities is None:
            assert record.qualities is None and array is None
        else:
            assert record.qualities == bytes(sequence.qualities)
            assert array is not None and array.dtype == np.uint8 and np.array_equal(array, sequence.qualities)
            assert np.array_equal(np.frombuffer(record.qualities, np.uint8), sequence.qualities)
        full = record.sequence()
        assert isinstance(full, mf.Sequence) and full.features == sequence.features
        assert full.annotations == sequence.annotations


def test_a_record_outlives_its_iterator_and_is_made_by_records_only(tmp_path: pathlib.Path) -> None:
    path = tmp_path / "r.fq"
    path.write_bytes(b"@r\xe91 x\nACGT\n+\nI!I5\n")
    iterator = mf.records(path)
    record = next(iterator)
    del iterator
    gc.collect()
    # Bytes that are not UTF-8 come back as they were.
    assert record.name.encode("utf-8", "surrogateescape") == b"r\xe91"
    assert record.qualities == bytes([40, 0, 40, 20]) and repr(record).startswith("<modelfactory.Record")
    with pytest.raises(TypeError):
        type(record)()
    with pytest.raises(AttributeError):
        setattr(record, "name", "other")
    with pytest.raises(mf.FileError):
        mf.records(tmp_path / "missing.fq")


def full_view(s: mf.Sequence) -> Tuple[Any, ...]:
    q = s.qualities
    return (type(s).__name__, s.name, s.description, s.accession, s.residues, s.molecule, s.source,
            None if q is None else bytes(q), s.features, s.annotations)


@pytest.mark.parametrize("text", [
    b"@r1 first read\nACGU\n+\nII5!\n@empty\n\n+\n\n@r3\nNNNN\n+\n!!!!\n",  # RNA, an empty read
    b">p1 a protein\nMKVLAAGIVWW\n>d1\nACGTACGT\n>e1\n\n",                    # protein, DNA, empty
])
def test_a_reads_full_sequence_is_made_once_from_its_text(tmp_path: pathlib.Path, text: bytes) -> None:
    path = tmp_path / ("r.fq" if text.startswith(b"@") else "r.fa")
    path.write_bytes(text)
    expected = [s for model in mf.iterate(path) for s in model]
    records = list(mf.records(path))
    assert [full_view(r.sequence()) for r in records] == [full_view(s) for s in expected]
    for record, sequence in zip(records, expected):
        q = sequence.qualities
        assert record.qualities == (None if q is None else bytes(q))  # an empty read's are b""
    first = records[0].sequence()
    assert records[0].sequence() is first
    first.name = "changed"
    assert records[0].name == text[1:3].decode() and records[0].sequence().name == "changed"


def test_records_across_many_batches_come_in_order_then_the_error(tmp_path: pathlib.Path) -> None:
    path = tmp_path / "many.fq"
    good = "".join("@m%d d%d\n%s\n+\n%s\n" % (i, i, "ACGT" * (i % 7 + 1), "I5" * (2 * (i % 7) + 2))
                   for i in range(20000))
    path.write_text(good + "@cut\nACGT\n+\nII\n")
    def quality_bytes(s: mf.Sequence) -> Optional[bytes]:
        return None if s.qualities is None else bytes(s.qualities)

    Read = Tuple[str, str, str, Optional[bytes]]
    expected: List[Read] = []
    with pytest.raises(mf.FormatError) as theirs:
        for model in mf.iterate(path):
            expected.extend((s.name, s.description, s.residues, quality_bytes(s)) for s in model)
    got: List[Read] = []
    with pytest.raises(mf.FormatError) as ours:
        for r in mf.records(path):
            got.append((r.name, r.description, r.residues, r.qualities))
    assert len(got) == 20000 and got == expected
    assert str(ours.value) == str(theirs.value)
    assert str(ours.value).endswith("many.fq:80004: record cut short: the file ends in the record that starts at "
                                    "line 80001 (2 of 4 qualities)")
    # Left part way, the reading stops; the iterator then holds nothing.
    with mf.records(path) as early:
        assert [next(early).name for _ in range(3)] == ["m0", "m1", "m2"]
    assert early.closed and list(early) == []


def test_records_pass_the_readers_warnings_on(tmp_path: pathlib.Path) -> None:
    path = tmp_path / "old.fq"
    path.write_text("".join("@o%d\nACGT\n+\nhhhh\n" % i for i in range(10)))
    with pytest.warns(mf.Warning, match="Phred\\+64"):
        names = [r.name for r in mf.records(path)]
    assert names == ["o%d" % i for i in range(10)]
