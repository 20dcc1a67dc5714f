import gc
import pathlib
import threading
from typing import Dict

import numpy as np
import pytest

import modelfactory as mf

SAMPLES = ["310.ab1", "310.scf", "310.ztr", "GBKAK82TF.scf", "3730.ab1"]


@pytest.mark.parametrize("name", SAMPLES)
def test_read_gives_the_records_arrays_without_copies(testdata: pathlib.Path, name: str) -> None:
    path = testdata / "traces" / name
    trace = mf.TraceFile.read(path)
    found = mf.TraceFile.get_format(path)
    assert found is not None and trace.format.upper().startswith(found[:3])
    channels = (trace.a, trace.c, trace.g, trace.t)
    for channel in channels:
        assert channel.dtype == np.uint16 and len(channel) == trace.num_points
        assert channel.base is trace and not channel.flags.writeable
    assert trace.base_positions.dtype == np.uint16 and len(trace.base_positions) == trace.num_bases
    assert np.all(np.diff(trace.base_positions.astype(int)) >= 0)
    assert len(trace.bases) == trace.num_bases == len(trace.confidences)
    assert max(int(c.max()) for c in channels) > 0
    # The sequence the factory opens from the same file carries the same calls and confidences.
    sequence = mf.open(path)[0]
    assert sequence.residues == trace.bases
    assert sequence.qualities is not None and np.array_equal(sequence.qualities, trace.confidences)
    assert sequence.trace is not None and sequence.trace.num_points == trace.num_points


def test_arrays_outlive_the_trace_object(testdata: pathlib.Path) -> None:
    a = mf.TraceFile.read(testdata / "traces" / "310.scf").a
    expected = int(a.sum())
    gc.collect()  # nothing but the array holds the record now
    assert int(a.sum()) == expected


def test_format_codes_and_refusals(testdata: pathlib.Path, tmp_path: pathlib.Path) -> None:
    names = [name for name, _ in mf.TraceFile.formats()]
    assert names[:3] == ["SCF", "ABI", "ALF"] and len(names) == 11
    assert (mf.TraceFile.get_format(testdata / "traces" / "310.ztr") or "").startswith("ZTR")
    text = tmp_path / "plain.txt"
    text.write_text("ACGT\n")
    assert mf.TraceFile.get_format(text) is None
    assert mf.get_type(testdata / "traces" / "310.ab1") == "TraceModel"


def test_threads_share_the_reader(testdata: pathlib.Path) -> None:
    paths = [testdata / "traces" / n for n in SAMPLES] * 4
    expected = {str(p): mf.TraceFile.read(p).num_bases for p in paths}
    got: Dict[str, int] = {}
    threads = [threading.Thread(target=lambda p=p: got.__setitem__(str(p), mf.TraceFile.read(p).num_bases))
               for p in paths]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == expected


def test_plot_draws_channels_letters_and_clips(testdata: pathlib.Path) -> None:
    pytest.importorskip("matplotlib")
    import matplotlib  # type: ignore[import]
    matplotlib.use("Agg")
    trace = mf.TraceFile.read(testdata / "traces" / "310.scf")
    ax = trace.plot()
    lines = ax.get_lines()
    assert [l.get_label() for l in lines] == ["A", "C", "G", "T"]
    assert [l.get_color() for l in lines] == ["#14a02c", "#1f49d6", "#111111", "#d7191c"]
    assert np.array_equal(lines[0].get_ydata(), trace.a)
    assert [t.get_text() for t in ax.texts] == list(trace.bases)
    shaded = [p for p in ax.patches if p.get_alpha() == 0.2]
    assert len(shaded) == (trace.left_cutoff > 0) + (0 < trace.right_cutoff <= trace.num_bases)
