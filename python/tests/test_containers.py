"""Models and sequences as containers: by name, by slice, len and in."""
import numpy as np
import pytest

import modelfactory as mf


@pytest.fixture
def model() -> mf.SeqModel:
    model = mf.SeqModel()
    read = mf.Sequence("r1", "ACGTACGTAACCGGTT", accession="X1.2", description="d", qualities=range(16))
    read.features = [mf.Feature("CDS", "3..8", [("gene", "a")]),
                     mf.Feature("misc", "complement(join(11..12,14..15))", []),
                     mf.Feature("gap", "join(4..5,gap(20),7..9)", []),
                     mf.Feature("across", "8..12", []),
                     mf.Feature("remote", "AB1.1:3..5", [])]
    model.append(read)
    model.append(mf.Sequence("r2", "GGGG"))
    return model


def test_models_find_sequences_by_name_index_and_slice(model: mf.SeqModel) -> None:
    assert model["r2"].residues == "GGGG" and model["r1"] is model[0]
    assert [s.name for s in model[::-1]] == ["r2", "r1"] and model[5:] == []
    with pytest.raises(KeyError):
        model["r3"]
    assert "r1" in model and "r3" not in model and model[1] in model
    assert mf.Sequence("r1", "ACGT") not in model and 42 not in model
    assert len(model) == 2


@pytest.mark.parametrize("count", [0, 3, 16, 17, 1000])
def test_iterating_a_model_gives_every_sequence_in_order(count: int) -> None:
    # Small models and models loaded whole are iterated differently: both in order, to the end.
    model = mf.SeqModel()
    for i in range(count):
        model.append(mf.Sequence("s%d" % i, "ACGT"))
    assert [s.name for s in model] == ["s%d" % i for i in range(count)]
    it = iter(model)
    assert [s.name for s in it] == ["s%d" % i for i in range(count)]
    assert list(it) == []  # an ended iterator stays ended
    if count > 16:
        # As with a list, what is appended during the loop is reached too.
        seen = []
        for s in model:
            seen.append(s.name)
            if len(seen) == count:
                model.append(mf.Sequence("late", "A"))
        assert seen[-1] == "late" and len(seen) == count + 1


def test_sequence_slices(model: mf.SeqModel) -> None:
    read = model["r1"]
    part = read[2:12]
    assert (part.name, part.accession, part.description, part.residues) == ("r1", "X1.2", "d", "GTACGTAACC")
    assert part.qualities is not None and np.array_equal(part.qualities, np.arange(2, 12))
    assert [(f.key, f.location_text, f.qualifiers) for f in part.features] == [
        ("CDS", "1..6", [("gene", "a")]), ("gap", "join(2..3,gap(20),5..7)", []), ("across", "6..10", [])]
    assert [f.location_text for f in read[10:].features] == ["complement(join(1..2,4..5))"]
    assert read[3] == "T" and read[-1] == "T" and "AACC" in read and "AAAA" not in read
    assert len(read[50:60]) == 0 and read[50:60].qualities is None
    with pytest.raises(ValueError):
        read[::2]
    with pytest.raises(IndexError):
        read[16]
    protein = mf.Sequence("p", "MKVL", "protein")[1:3]
    assert (protein.residues, protein.molecule, protein.qualities) == ("KV", "protein", None)
