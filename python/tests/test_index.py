"""modelfactory.Index: regions and entries of FASTA and FASTQ files by seeking through the .fai
index (samtools' format), built in memory when the file has none."""
import gzip
import random
import warnings
from pathlib import Path
from typing import Dict, Tuple

import pytest

import modelfactory as mf


def write_genome(path: Path, width: int = 60, seed: int = 3) -> Dict[str, str]:
    rng = random.Random(seed)
    entries: Dict[str, str] = {}
    with open(path, "w") as out:
        for i in range(4):
            seq = "".join(rng.choice("ACGTN") for _ in range(rng.randrange(1, 20000)))
            entries["chr%d" % (i + 1)] = seq
            out.write(">chr%d entry %d\n" % (i + 1, i + 1))
            for j in range(0, len(seq), width):
                out.write(seq[j:j + width] + "\n")
    return entries


@pytest.fixture
def genome(tmp_path: Path) -> Tuple[Path, Dict[str, str]]:
    path = tmp_path / "g.fa"
    return path, write_genome(path)


def test_fetch_matches_python_slices(genome: Tuple[Path, Dict[str, str]]) -> None:
    path, entries = genome
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        index = mf.Index(path)
    assert any("built in memory" in str(w.message) for w in caught)
    assert index.names == list(entries)
    assert len(index) == 4 and "chr2" in index and "chr9" not in index
    rng = random.Random(1)
    for _ in range(200):
        name = rng.choice(index.names)
        start = rng.randrange(0, len(entries[name]) + 10)
        end = start + rng.randrange(0, 2000)
        assert index.fetch(name, start, end) == entries[name][start:end]
    assert index.fetch("chr1") == entries["chr1"]
    assert index.length("chr3") == len(entries["chr3"])


def test_entries_are_sequences_and_unknown_names_are_key_errors(genome: Tuple[Path, Dict[str, str]]) -> None:
    path, entries = genome
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        index = mf.Index(path)
    seq = index["chr2"]
    assert isinstance(seq, mf.Sequence)
    assert (seq.name, seq.description, seq.residues) == ("chr2", "entry 2", entries["chr2"])
    with pytest.raises(KeyError):
        index["nosuch"]
    with pytest.raises(KeyError):
        index.fetch("nosuch", 0, 5)
    with pytest.raises(ValueError):
        index.fetch("chr1", -1, 5)


def test_reads_an_index_on_disk_and_fastq_qualities(tmp_path: Path) -> None:
    fq = tmp_path / "r.fq"
    fq.write_text("@r1 one\nACGTAC\n+\n!+5?IJ\n@r2\nGG\n+\nII\n")
    (tmp_path / "r.fq.fai").write_text("r1\t6\t8\t6\t7\t17\nr2\t2\t28\t2\t3\t33\n")
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # an index on disk needs no warning
        index = mf.Index(str(fq))
    assert index.fastq
    read = index["r1"]
    assert read.qualities is not None
    assert list(read.qualities) == [0, 10, 20, 30, 40, 41]
    assert index.fetch("r2", 0, 2) == "GG"


def test_refusals_are_the_packages_errors(tmp_path: Path) -> None:
    with pytest.raises(mf.FileError):
        mf.Index(tmp_path / "nosuch.fa")
    ragged = tmp_path / "ragged.fa"
    ragged.write_text(">a\nACGT\nACGTA\n")
    with pytest.raises(mf.FormatError, match="different line length"):
        mf.Index(ragged)
    gz = tmp_path / "g.fa.gz"
    gz.write_bytes(gzip.compress(b">a\nACGT\n"))
    with pytest.raises(mf.FormatError, match="bgzip"):
        mf.Index(gz)
