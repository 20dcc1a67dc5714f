import gzip
import pathlib
import threading
from typing import Callable, Iterable, List, Optional

import numpy as np
import pytest

import modelfactory as mf

READS = [("r%d" % i, "ACGTN"[i % 5] * 10 + "ACGT" * i, [min(40, 2 + i + j) for j in range(10 + 4 * i)])
         for i in range(50)]


def fastq_text() -> str:
    return "".join("@%s lane=1\n%s\n+\n%s\n" % (name, bases, "".join(chr(33 + q) for q in quals))
                   for name, bases, quals in READS)


def check_reads(models: Iterable[mf.BioModel]) -> None:
    sequences = [s for m in models for s in m]
    qualities = [s.qualities for s in sequences]
    assert all(q is not None and q.dtype == np.uint8 and q.ndim == 1 for q in qualities)
    assert [(s.name, s.residues, (list(q) if q is not None else [])) for s, q in zip(sequences, qualities)] == READS


def test_formats_list_fastq() -> None:
    described = dict(mf.formats())
    assert "FASTQ" in described and "qualities" in described["FASTQ"]


@pytest.mark.parametrize("name, write", [
    ("reads.fastq", lambda path, text: path.write_text(text)),
    ("reads.fastq.gz", lambda path, text: path.write_bytes(gzip.compress(text.encode()))),
])
def test_iterate_fastq_plain_and_gzipped_keeps_every_quality(tmp_path: pathlib.Path, name: str,
                                                             write: Callable[[pathlib.Path, str], object]) -> None:
    path = tmp_path / name
    write(path, fastq_text())
    assert mf.get_type(path) == "SeqModel"
    check_reads(mf.iterate(path))
    check_reads([mf.open(path)])


@pytest.mark.parametrize("name, format", [("out.fq", "FASTQ"), ("out.fastq", None)])
def test_built_reads_save_as_fastq_and_read_back(tmp_path: pathlib.Path, name: str,
                                                  format: Optional[str]) -> None:
    model = mf.SeqModel()
    for read, bases, quals in READS:
        # Any integer sequence is taken; numpy arrays and lists alike.
        model.append(mf.Sequence(read, bases, qualities=np.array(quals, dtype=np.int64)))
    mf.save(model, tmp_path / name, format)
    assert model.encoding == "FASTQ"
    check_reads(mf.iterate(tmp_path / name))


def test_real_samples_keep_every_quality_and_gzip_is_read(testdata: pathlib.Path) -> None:
    full = mf.open(testdata / "fastq" / "sanger_full_range_original_sanger.fastq")
    assert [(list(s.qualities) if s.qualities is not None else []) for s in full] == [list(range(94)), list(range(93, -1, -1))]
    longreads = list(mf.iterate(testdata / "fastq" / "longreads_original_sanger.fastq.gz"))
    assert len(longreads) == 10
    assert all((len(m[0].qualities) if m[0].qualities is not None else 0) == len(m[0]) > 80 for m in longreads)


def test_an_empty_read_has_empty_qualities_and_fasta_has_none(tmp_path: pathlib.Path) -> None:
    path = tmp_path / "empty.fq"
    path.write_text("@empty\n\n+\n\n@one\nA\n+\nI\n")
    empty, one = mf.open(str(path))
    assert len(empty) == 0 and empty.qualities is not None and len(empty.qualities) == 0
    assert one.qualities is not None and list(one.qualities) == [40]
    fasta = tmp_path / "plain.fa"
    fasta.write_text(">a\nACGT\n")
    assert mf.open(str(fasta))[0].qualities is None


def test_reads_before_a_broken_record_come_before_its_error(testdata: pathlib.Path) -> None:
    # Read ahead in batches, the good reads are still handed out first, and the error in order.
    names = []
    with pytest.raises(mf.FormatError, match="record cut short") as caught:
        for model in mf.iterate(testdata / "fastq" / "error_trunc_in_qual.fastq"):
            names.append(model[0].name)
    assert len(names) == 4 and names[0] == "SLXA-B3_649_FC8437_R1_1_1_610_79"
    assert caught.value.filename.endswith("error_trunc_in_qual.fastq")


def test_a_large_file_is_handed_out_whole_once_closable_early_and_shared_by_threads(tmp_path: pathlib.Path) -> None:
    path = tmp_path / "many.fq"
    path.write_text("".join("@m%d\nACGT\n+\nIIII\n" % i for i in range(5000)))
    with mf.iterate(path) as early:
        assert next(early)[0].name == "m0"
    assert early.closed and list(early) == []
    shared = mf.iterate(path)
    seen: List[List[str]] = [[] for _ in range(4)]

    def work(names: List[str]) -> None:
        names.extend(s.name for m in shared for s in m)

    threads = [threading.Thread(target=work, args=(names,)) for names in seen]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sorted(sum(seen, []), key=lambda n: int(n[1:])) == ["m%d" % i for i in range(5000)]
