"""The package as Python sees it: version, documentation and signatures."""
import inspect
import pathlib
import re
from typing import Any, Iterator, Tuple

import modelfactory as mf

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_version_is_the_libraries() -> None:
    found = re.search(r"project\(ModelFactory VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())
    assert found and mf.__version__ == found.group(1)


def public_members() -> Iterator[Tuple[str, Any]]:
    for name in mf.__all__:
        value = getattr(mf, name)
        yield name, value
        if inspect.isclass(value) and not issubclass(value, BaseException):
            for member, attribute in vars(value).items():
                if not member.startswith("_") or member in ("__init__", "__getitem__", "__contains__",
                                                            "__len__", "__next__"):
                    yield "%s.%s" % (name, member), attribute


def test_every_public_member_is_documented() -> None:
    undocumented = [name for name, value in public_members()
                    if name != "__version__" and not (getattr(value, "__doc__", None) or "").strip()]
    assert undocumented == []


def test_signatures_show_python_types_not_cpp_ones() -> None:
    texts = [getattr(value, "__doc__", "") or "" for _, value in public_members()]
    cpp = [text.splitlines()[0] for text in texts if re.search(r"::|\bhandle\b|std::", text.split("\n\n")[0])]
    assert cpp == []
    read = mf.TraceFile.read.__doc__ or ""
    assert "path: Union[str, bytes, os.PathLike[str]]) -> modelfactory._core.Trace" in read
    assert inspect.signature(mf.iterate).return_annotation is mf.ModelIterator
