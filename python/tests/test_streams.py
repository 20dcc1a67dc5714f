"""File objects and "-" where paths go: iterate(), records(), open() and save()."""
import gzip
import io
import os
import pathlib
import subprocess
import sys
import threading
from typing import Any, BinaryIO, Callable, Iterable, List, Union

import pytest

import modelfactory as mf

FASTQ = b"@r1 one\nACGT\n+\nIIII\n@r2\nGGCA\n+\n!!+5\n"
FASTA = b">s1 first\nACGTACGT\n>s2\nTTTT\n"
CLUSTAL = b"CLUSTAL W (1.83) multiple sequence alignment\n\nseqA   ACGT-ACGT\nseqB   ACGTTACGT\n\n"


def names(iterator: Iterable[Union[mf.Sequence, mf.Record]]) -> List[str]:
    return [s.name for s in iterator]


@pytest.mark.parametrize("make", [
    lambda path: open(path, "rb"),
    lambda path: io.BytesIO(path.read_bytes()),
    lambda path: io.BytesIO(gzip.compress(path.read_bytes())),   # unpacked by its magic bytes
    lambda path: gzip.open(io.BytesIO(gzip.compress(path.read_bytes()))),
], ids=["file", "bytesio", "gzip-bytes", "gzip.open"])
def test_records_and_iterate_read_binary_file_objects_with_the_format_sniffed(
        tmp_path: pathlib.Path, make: Callable[[pathlib.Path], BinaryIO]) -> None:
    path = tmp_path / "reads.fq"
    path.write_bytes(FASTQ)
    with make(path) as handle:
        reads = list(mf.records(handle))
    assert [(r.name, r.residues, (list(r.qualities) if r.qualities is not None else [])) for r in reads] == [
        ("r1", "ACGT", [40] * 4), ("r2", "GGCA", [0, 0, 10, 20])]
    with make(path) as handle:
        models = list(mf.iterate(handle, "FASTQ"))
    assert [m.class_name for m in models] == ["SeqModel", "SeqModel"]
    assert [m[0].name for m in models] == ["r1", "r2"]


def test_a_named_format_is_used_and_whole_file_formats_go_through_a_file(tmp_path: pathlib.Path) -> None:
    assert names(mf.records(io.BytesIO(FASTA), "FASTA")) == ["s1", "s2"]
    path = tmp_path / "aln.txt"
    path.write_bytes(CLUSTAL)
    # As from the file itself: what a stream gives is what its content gives under a path.
    from_path = [(m.class_name, names(m)) for m in mf.iterate(path)]
    models = list(mf.iterate(io.BytesIO(CLUSTAL)))
    assert [(m.class_name, names(m)) for m in models] == from_path and from_path[0][1] == ["seqA", "seqB"]
    assert models[0].url == "<BytesIO>"
    with path.open("rb") as handle:
        opened = mf.open(handle)
    assert (opened.class_name, opened.url, names(opened)) == ("AlignModel", str(path), ["seqA", "seqB"])


def test_failures_of_the_stream_and_of_its_content_are_raised() -> None:
    class Failing(io.RawIOBase):
        def readable(self) -> bool:
            return True

        def readinto(self, buffer: Any) -> int:
            raise OSError(5, "device gone")

    with pytest.raises(OSError, match="device gone"):
        list(mf.records(Failing()))  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="binary"):
        mf.records(io.StringIO(">s\nACGT\n"))  # type: ignore[arg-type]
    reads = mf.records(io.BytesIO(b"@r1\nACGT\n+\nIIII\n@r2\nACGT\n+\nII\n"))
    assert next(reads).name == "r1"
    with pytest.raises(mf.FormatError):
        next(reads)


def test_closing_early_stops_the_feeding_thread() -> None:
    big = b"".join(b"@r%d\nACGT\n+\nIIII\n" % i for i in range(200000))   # more than a pipe holds
    with mf.records(io.BytesIO(big)) as reads:
        assert next(reads).name == "r0"
    assert reads.closed
    assert not [t for t in threading.enumerate() if t.name == "modelfactory-stream"]


def test_save_writes_to_file_objects_and_needs_a_format(tmp_path: pathlib.Path) -> None:
    model = mf.open(io.BytesIO(FASTQ), format="FASTQ")
    model.url = "kept"
    out = io.BytesIO()
    mf.save(model, out, "FASTQ")
    assert out.getvalue() == FASTQ
    assert model.url == "kept"
    with gzip.open(tmp_path / "out.fa.gz", "wb") as packed:
        mf.save(model, packed, "FASTA")
    assert gzip.decompress((tmp_path / "out.fa.gz").read_bytes()) == b">r1 one\nACGT\n>r2\nGGCA\n"
    with pytest.raises(ValueError, match="format"):
        mf.save(model, io.BytesIO())
    with pytest.raises(TypeError, match="binary"):
        mf.save(model, io.StringIO(), "FASTA")  # type: ignore[arg-type]


def test_dash_is_standard_input_and_output(tmp_path: pathlib.Path) -> None:
    script = ("import modelfactory as mf\n"
              "m = mf.SeqModel()\n"
              "for read in mf.records('-'):\n"
              "    m.append(read.sequence())\n"
              "mf.save(m, '-', 'FASTA')\n")
    done = subprocess.run([sys.executable, "-c", script], input=FASTQ, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, cwd=tmp_path, check=True, env=os.environ)
    assert done.stdout == b">r1 one\nACGT\n>r2\nGGCA\n"
    assert not (tmp_path / "-").exists()
