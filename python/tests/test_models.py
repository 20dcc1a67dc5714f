import os
import pathlib
import threading
import warnings
from typing import Any, Callable, Dict, List, Tuple, Union

import numpy as np
import pytest

import modelfactory as mf

FASTA = ">s1 first entry\nACGTACGTAC\n>s2\nGGGTTTAAAC\n>s3 third\nMKVLAAGIVG\n"


@pytest.fixture
def fasta(tmp_path: pathlib.Path) -> pathlib.Path:
    path = tmp_path / "three.fa"
    path.write_text(FASTA)
    return path


def test_open_reads_every_entry_in_order(fasta: pathlib.Path) -> None:
    model = mf.open(fasta)
    assert model.class_name == "SeqModel" and isinstance(model, mf.SeqModel)
    assert model.url == str(fasta)
    assert [(s.name, s.residues, s.description) for s in model] == [
        ("s1", "ACGTACGTAC", "first entry"), ("s2", "GGGTTTAAAC", ""), ("s3", "MKVLAAGIVG", "third")]
    assert [s.molecule for s in model.sequences] == ["DNA", "DNA", "protein"]
    assert model[-1].name == "s3" and len(model) == 3
    with pytest.raises(IndexError):
        model[3]


def test_paths_may_be_pathlike_str_bytes_or_format_qualified(fasta: pathlib.Path) -> None:
    paths: List[Union[str, bytes, pathlib.Path]] = [fasta, str(fasta), os.fsencode(fasta), "FASTA@@" + str(fasta)]
    for path in paths:
        assert mf.get_type(path) == "SeqModel"
        assert len(mf.open(path)) == 3
    with pytest.raises(TypeError):
        mf.open(42)  # type: ignore[call-overload]


def test_iterate_yields_one_model_per_entry_and_closes_early(fasta: pathlib.Path) -> None:
    assert [m[0].name for m in mf.iterate(fasta)] == ["s1", "s2", "s3"]
    with mf.iterate(fasta) as it:
        assert next(it)[0].name == "s1"
    assert it.closed
    with pytest.raises(StopIteration):
        next(it)


def test_built_sequences_save_and_read_back(tmp_path: pathlib.Path) -> None:
    model = mf.SeqModel()
    read = mf.Sequence("r1", "ACGTN", accession="AB000001", description="built here")
    read.features = [mf.Feature("CDS", "1..3", [("gene", "abc")])]
    read.annotations = [("KEYWORDS", "built")]
    model.append(read)
    model.append(mf.Sequence("p1", "MKV", "protein"))
    out = tmp_path / "built.gb"
    mf.save(model, out)
    assert model.url == str(out)
    back = mf.open(out)
    assert [(s.name, s.residues, s.molecule) for s in back] == [("r1", "ACGTN", "DNA"), ("p1", "MKV", "protein")]
    assert back[0].features == [mf.Feature("CDS", "1..3", [("gene", "abc")])]
    assert back[0].annotation("KEYWORDS") == "built"
    mf.save(back, tmp_path / "built.txt", "FASTA")
    assert (tmp_path / "built.txt").read_text().startswith(">r1")


def test_qualities_are_checked_and_copied() -> None:
    read = mf.Sequence("r", "ACGT", qualities=[30, 31, 32, 40])
    values = read.qualities
    assert values is not None and values.dtype == np.uint8 and list(values) == [30, 31, 32, 40]
    values[0] = 0  # a copy: the sequence keeps its values
    assert read.qualities is not None and read.qualities[0] == 30
    # Any integer sequence is taken (setattr: mypy reads a property's setter type as its getter's).
    with pytest.raises(ValueError, match="one value per residue"):
        setattr(read, "qualities", [1, 2])
    for wrong in ([1, 2, 3, 256], [-1, 0, 0, 0]):  # refused, not wrapped into another quality
        with pytest.raises(ValueError, match="0..255"):
            setattr(read, "qualities", wrong)
    assert list(read.qualities) == [30, 31, 32, 40]
    with pytest.raises(ValueError, match="protein"):
        mf.Sequence("p", "MKV", "protein", qualities=[1, 2, 3])
    with pytest.raises(ValueError, match="molecule"):
        read.molecule = "sugar"
    read.qualities = None
    assert read.qualities is None


@pytest.mark.parametrize("call, error, errno_", [
    (lambda d: mf.open(d / "missing.fa"), mf.FileError, 2),
    (lambda d: mf.iterate(d), mf.FileError, 21),
    (lambda d: mf.get_type("FASTA@@" + str(d / "missing.fa")), FileNotFoundError.__base__, 2),
    (lambda d: mf.save(mf.SeqModel(), d / "no" / "x.fa"), mf.FileError, 2),
])
def test_file_errors_are_oserrors(tmp_path: pathlib.Path, call: Callable[[pathlib.Path], object],
                                  error: type, errno_: int) -> None:
    with pytest.raises(mf.FileError) as caught:
        call(tmp_path)
    assert isinstance(caught.value, OSError) and isinstance(caught.value, mf.Error)
    assert caught.value.errno == errno_


def test_format_errors_are_valueerrors_with_the_librarys_message(tmp_path: pathlib.Path,
                                                                 fasta: pathlib.Path) -> None:
    junk = tmp_path / "junk.bin"
    junk.write_bytes(b"\x00\x01\x02 not a sequence file")
    cases: List[Tuple[Callable[[], object], Any]] = [
        (lambda: mf.open(fasta, type="NoSuchModel"), "Unknown model type: NoSuchModel"),
        (lambda: mf.save(mf.open(fasta), tmp_path / "out.unknownext"),
         "unsupported file type: " + str(tmp_path / "out.unknownext")),
        (lambda: mf.TraceFile.read(fasta), "not a readable chromatogram: " + str(fasta)),
        (lambda: mf.open(junk, type="SeqModel"), None),
    ]
    for call, text in cases:
        with pytest.raises(mf.FormatError) as caught:
            call()
        assert isinstance(caught.value, ValueError)
        assert caught.value.messages, "the library's messages are kept"
        if text:
            assert str(caught.value) == text


def test_save_failing_on_disk_raises_fileerror_with_errno(tmp_path: pathlib.Path, fasta: pathlib.Path) -> None:
    target = tmp_path / "taken.fa"
    target.mkdir()  # a folder where the file should go
    with pytest.raises(mf.FileError) as caught:
        mf.save(mf.open(fasta), target)
    assert caught.value.errno == 21 and caught.value.filename == str(target)
    assert str(target) in str(caught.value)


def test_library_warnings_become_python_warnings_and_nothing_is_printed(fasta: pathlib.Path,
                                                                        capfd: pytest.CaptureFixture[str]) -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert mf.get_type(fasta, "NoSuchFormat") == "SeqModel"
    assert [str(w.message) for w in caught] == ["Cannot find the correct data-type of " + str(fasta)]
    assert caught[0].category is mf.Warning
    with warnings.catch_warnings():
        warnings.simplefilter("error", mf.Warning)
        with pytest.raises(mf.Warning):
            mf.get_type(fasta, "NoSuchFormat")
    assert capfd.readouterr() == ("", "")


def test_formats_lists_sources_archives_then_chromatograms() -> None:
    names = [name for name, _ in mf.formats()]
    assert names[-11:] == [name for name, _ in mf.TraceFile.formats()]
    assert "FASTA" in names and names[-11] == "SCF" and names[-1] == "BIO"


def test_threads_read_in_parallel(tmp_path: pathlib.Path) -> None:
    paths = []
    for i in range(8):
        path = tmp_path / ("f%d.fa" % i)
        path.write_text("".join(">e%d_%d\n%s\n" % (i, j, "ACGT" * 50) for j in range(200)))
        paths.append(path)
    counts: Dict[pathlib.Path, int] = {}

    def work(path: pathlib.Path) -> None:
        counts[path] = sum(len(m[0]) for m in mf.iterate(path))

    threads = [threading.Thread(target=work, args=(p,)) for p in paths]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert counts == {p: 200 * 200 for p in paths}
