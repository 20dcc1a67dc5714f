# Bytes that are not UTF-8, paths that are not either, FORMAT@@FILE for saving, and iterators
# across os.fork().
import os
import pathlib
from typing import Union

import pytest

import modelfactory as mf


def write(path: Union[str, bytes, os.PathLike[str]], data: bytes) -> Union[str, bytes, os.PathLike[str]]:
    with open(path, "wb") as f:
        f.write(data)
    return path


def test_names_and_descriptions_keep_their_bytes(tmp_path: pathlib.Path) -> None:
    src = write(tmp_path / "in.fa", b">n\xb6x d\xb6sc\nACGT\n")
    seq = mf.open(src).sequences[0]
    assert seq.name == "n\udcb6x"
    assert seq.description == "d\udcb6sc"
    assert "\\xb6" in repr(seq)
    model = mf.open(src)
    out = tmp_path / "out.fa"
    mf.save(model, out)
    assert out.read_bytes() == b">n\xb6x d\xb6sc\nACGT\n"
    # Set from Python, a surrogate goes back to its byte.
    seq.name = "r\udcff"
    assert seq.name == "r\udcff"


@pytest.mark.parametrize("data, where", [
    (b"@r1\nACGT\n+other\xb6\nIIII\n", "'+' line"),
    (b">s\nAC\xb6GT\n", "0xB6"),
    (b"@s\nAC\xb6GT\n+\nIIIII\n", "0xB6"),
])
def test_messages_with_undecodable_bytes_reach_python(tmp_path: pathlib.Path, data: bytes, where: str) -> None:
    suffix = ".fq" if data.startswith(b"@") else ".fa"
    src = write(tmp_path / ("in" + suffix), data)
    with pytest.raises(mf.FormatError) as opened:
        mf.open(src)
    with pytest.raises(mf.FormatError) as iterated:
        list(mf.iterate(src))
    for caught in (opened, iterated):
        assert where in str(caught.value)
        assert str(src) in str(caught.value)


def test_bytes_paths_that_are_not_utf8(tmp_path: pathlib.Path) -> None:
    folder = os.fsencode(tmp_path)
    src = folder + b"/r\xb6.fa"
    write(src, b">s\nACGT\n")
    assert mf.get_type(src) == "SeqModel"
    model = mf.open(src)
    assert model.url == os.fsdecode(src)
    assert [m.sequences[0].name for m in mf.iterate(src)] == ["s"]
    out = folder + b"/o\xb6.fa"
    mf.save(model, out)
    assert open(out, "rb").read() == b">s\nACGT\n"
    with pytest.raises(mf.FileError) as caught:
        mf.open(folder + b"/missing\xb6.fa")
    assert caught.value.filename == os.fsdecode(folder + b"/missing\xb6.fa")


def test_save_takes_format_at_file(tmp_path: pathlib.Path) -> None:
    model = mf.open(write(tmp_path / "in.fa", b">s\nACGT\n"))
    out = tmp_path / "out.txt"
    mf.save(model, "EMBL@@" + str(out))
    assert out.read_text().startswith("ID   s")
    assert not (tmp_path / "EMBL@@out.txt").exists()


def many_reads(path: pathlib.Path, count: int) -> pathlib.Path:
    with open(path, "w") as f:
        for i in range(count):
            f.write(">s%d\n%s\n" % (i, "ACGT" * 10))
    return path


def test_an_iterator_is_refused_in_a_forked_child(tmp_path: pathlib.Path) -> None:
    src = many_reads(tmp_path / "in.fa", 5000)
    it = mf.iterate(src)
    first = next(it)
    assert first.sequences[0].name == "s0"
    pid = os.fork()
    if pid == 0:
        code = 3
        try:
            next(it)
        except RuntimeError as e:
            code = 0 if "os.fork()" in str(e) else 4
        except BaseException:
            code = 5
        os._exit(code)
    _, status = os.waitpid(pid, 0)
    assert os.WEXITSTATUS(status) == 0
    # The parent's iteration goes on whole.
    names = [m.sequences[0].name for m in it]
    assert names == ["s%d" % i for i in range(1, 5000)]


def test_a_fork_pool_that_leaves_the_iterators_alone_works(tmp_path: pathlib.Path) -> None:
    import multiprocessing
    src = many_reads(tmp_path / "in.fa", 300)
    it = mf.iterate(src)
    next(it)
    with multiprocessing.get_context("fork").Pool(2) as pool:
        counts = pool.map(count_models, [str(src)] * 4)
    assert counts == [300] * 4
    assert sum(1 for _ in it) == 299


def count_models(path: str) -> int:
    return sum(1 for _ in mf.iterate(path))
