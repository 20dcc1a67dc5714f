"""save() to compressed paths: gzip is BGZF, and the level keyword is checked and taken."""
import gzip
import io
import pathlib
import random
from typing import Any

import pytest

import modelfactory as mf


def _reads(tmp_path: pathlib.Path) -> mf.BioModel:
    rng = random.Random(4)
    text = "".join(">r%d\n%s\n" % (i, "".join(rng.choice("ACGT") for _ in range(300)))
                   for i in range(1500))  # about 470 KB: several BGZF blocks
    path = tmp_path / "reads.fa"
    path.write_text(text)
    return mf.open(path)


def _blocks(data: bytes) -> int:
    """Walks the BGZF members (each naming its size in the BC field); their number."""
    at = count = 0
    while at < len(data):
        assert data[at:at + 4] == b"\x1f\x8b\x08\x04" and data[at + 12:at + 16] == b"BC\x02\x00"
        at += int.from_bytes(data[at + 16:at + 18], "little") + 1
        count += 1
    assert at == len(data)
    return count


def test_gzip_is_bgzf_at_every_level(tmp_path: pathlib.Path) -> None:
    model = _reads(tmp_path)
    plain = tmp_path / "plain.fa"
    mf.save(model, plain)
    sizes = {}
    for level in (None, 0, 1, 12):
        out = tmp_path / ("reads-%s.fa.gz" % level)
        mf.save(model, out, level=level)
        data = out.read_bytes()
        assert data.endswith(b"\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0BC\x02\0\x1b\0\x03\0\0\0\0\0\0\0\0\0")
        assert _blocks(data) > 5
        assert gzip.decompress(data) == plain.read_bytes(), level
        assert [s.residues for s in mf.open(out)] == [s.residues for s in model]
        sizes[level] = len(data)
    assert sizes[0] > plain.stat().st_size > sizes[1] >= sizes[None] > sizes[12]
    # The other compressions take their own ranges.
    mf.save(model, tmp_path / "reads.fa.bz2", level=1)
    mf.save(model, tmp_path / "reads.fa.zst", "FASTA", level=19)
    assert [s.name for s in mf.open(tmp_path / "reads.fa.zst")] == [s.name for s in model]


@pytest.mark.parametrize("target, level, error, text", [
    ("x.fa.gz", 13, ValueError, "level takes 0 to 12 for gzip output, not 13"),
    ("x.fa.gz", -1, ValueError, "not -1"),
    ("x.fa.bz2", 0, ValueError, "level takes 1 to 9 for bzip2 output"),
    ("x.fa", 3, ValueError, "level is for compressed output"),
    ("x.fa.gz", 2.0, TypeError, "level must be an int, not float"),
    ("x.fa.gz", True, TypeError, "level must be an int, not bool"),
    ("x.fa.gz", "2", TypeError, "level must be an int, not str"),
])
def test_a_level_is_refused_before_anything_is_written(tmp_path: pathlib.Path, target: str, level: Any,
                                                       error: type, text: str) -> None:
    model = _reads(tmp_path)
    with pytest.raises(error, match=text):
        mf.save(model, tmp_path / target, level=level)
    assert not (tmp_path / target).exists()


def test_a_file_object_takes_no_level(tmp_path: pathlib.Path) -> None:
    with pytest.raises(ValueError, match="level is for compressed output"):
        mf.save(_reads(tmp_path), io.BytesIO(), "FASTA", level=1)
