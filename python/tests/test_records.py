"""records(): the sequences of a file as light Records, the same values iterate() gives."""
import gc
import pathlib

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
