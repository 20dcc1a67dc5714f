import pathlib

import modelfactory as mf


def test_every_ab1_sample_iterates_as_its_one_chromatogram(testdata: pathlib.Path) -> None:
    samples = sorted((testdata / "traces").glob("*.ab1"))
    assert len(samples) >= 5
    for path in samples:
        models = list(mf.iterate(path))
        assert len(models) == 1, path
        (sequence,) = models[0]
        # The same calls the chromatogram reader gives.
        assert sequence.residues == mf.TraceFile.read(path).bases, path


def test_a_chromatogram_under_a_name_without_a_trace_extension_iterates(testdata: pathlib.Path,
                                                                        tmp_path: pathlib.Path) -> None:
    renamed = tmp_path / "read.dat"
    renamed.write_bytes((testdata / "traces" / "310.ab1").read_bytes())
    (model,) = list(mf.iterate(renamed))
    assert len(model) == 1 and len(model[0]) == 868
