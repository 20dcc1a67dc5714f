import io
import os
import pathlib
from typing import Any, Dict, Iterable, Tuple

import numpy as np
import pytest
from Bio import SeqIO

import modelfactory as mf


def test_genbank_reads_the_same_as_biopython(testdata: pathlib.Path) -> None:
    path = testdata / "sequences" / "NC_005816.gb"
    ours = [s for m in mf.iterate(path) for s in m]
    theirs = list(SeqIO.parse(str(path), "genbank"))
    assert [(s.name, s.residues.upper()) for s in ours] == [(r.name, str(r.seq).upper()) for r in theirs]
    record = ours[0].to_seqrecord()
    assert [f.type for f in record.features] == [f.type for f in theirs[0].features]
    assert [f.location for f in record.features] == [f.location for f in theirs[0].features]
    assert record.annotations["molecule_type"] == "DNA"


def test_round_trip_keeps_name_qualities_features_annotations() -> None:
    read = mf.Sequence("r1", "ACGTACGTAA", accession="X1", description="a read", qualities=range(10, 20))
    read.features = [mf.Feature("CDS", "complement(join(1..3,6..9))", [("gene", "g"), ("note", "n")]),
                     mf.Feature("misc", "4", [])]
    read.annotations = [("KEYWORDS", "k1"), ("KEYWORDS", "k2"), ("SOURCE", "s")]
    record = read.to_seqrecord()
    assert record.id == "X1" and record.name == "r1" and record.description == "a read"
    assert record.letter_annotations["phred_quality"] == list(range(10, 20))
    assert record.annotations["keywords"] == ["k1", "k2"] and record.annotations["source"] == "s"
    back = mf.from_seqrecord(record)
    assert (back.name, back.accession, back.description, back.residues, back.molecule) == \
        ("r1", "X1", "a read", "ACGTACGTAA", "DNA")
    assert back.qualities is not None and np.array_equal(back.qualities, np.arange(10, 20))
    assert back.features == read.features
    # GenBank's layout: a full stop closes the SOURCE line.
    assert back.annotations == [("KEYWORDS", "k1; k2."), ("SOURCE", "s.")]


def test_from_fastq_record_saves_as_fastq_when_available(tmp_path: pathlib.Path) -> None:
    from io import StringIO
    record = next(SeqIO.parse(StringIO("@q1\nACGT\n+\nIIII\n"), "fastq"))
    sequence = mf.from_seqrecord(record)
    assert sequence.qualities is not None and list(sequence.qualities) == [40] * 4
    model = mf.SeqModel()
    model.append(sequence)
    mf.save(model, tmp_path / "one.fa")
    assert (tmp_path / "one.fa").read_text().split() == [">q1", "ACGT"]


# Every GenBank, GenPept and EMBL sample: Biopython's own reading of the file is the reference.
SAMPLES = pathlib.Path(os.environ.get("MODELFACTORY_TESTDATA",
                                      pathlib.Path(__file__).resolve().parents[2] / "tests" / "data")) / "sequences"
FORMS = {".gb": "genbank", ".gbk": "genbank", ".gp": "genbank", ".embl": "embl", ".emb": "embl"}
FLAT_FILES = sorted((p.name, FORMS[p.suffix]) for p in SAMPLES.glob("*") if p.suffix in FORMS)


def test_the_flat_file_samples_are_there() -> None:
    assert len(FLAT_FILES) >= 10, "sample files missing: %s" % SAMPLES


def reference_view(reference: Any) -> Tuple[Any, ...]:
    return (tuple((int(loc.start), int(loc.end)) for loc in reference.location), reference.authors,
            reference.consrtm, reference.title, reference.journal, reference.medline_id, reference.pubmed_id)


def record_view(record: Any, keys: Iterable[str]) -> Dict[str, Any]:
    view: Dict[str, Any] = {"id": record.id, "name": record.name}
    for key in keys:
        value = record.annotations.get(key)
        view[key] = [reference_view(r) for r in value] if key == "references" else value
    view["features"] = [(f.type, str(f.location), dict(f.qualifiers)) for f in record.features]
    return view


# What Biopython's readers give that each check compares; its writers keep these of a record.
KEYS = ["molecule_type", "topology", "data_file_division", "date", "accessions", "sequence_version",
        "keywords", "source", "organism", "taxonomy", "references", "comment"]
KEPT_BY_WRITERS = {"genbank": ["data_file_division", "accessions", "sequence_version", "source", "organism",
                               "taxonomy", "references"],
                   "embl": ["data_file_division", "accessions", "sequence_version", "organism", "taxonomy",
                            "references"]}
# Biopython's EMBL writer writes the first accession only.
KEPT_BY_BIOPYTHON = {"genbank": KEPT_BY_WRITERS["genbank"],
                     "embl": [k for k in KEPT_BY_WRITERS["embl"] if k != "accessions"]}


def writable(record: Any, form: str) -> bool:
    try:
        SeqIO.write(record, io.StringIO(), form)
    except ValueError:
        return False
    return True


def written(record: Any, form: str) -> Any:
    text = io.StringIO()
    assert SeqIO.write(record, text, form) == 1
    return SeqIO.read(io.StringIO(text.getvalue()), form)


@pytest.mark.parametrize("name, form", FLAT_FILES)
def test_flat_file_entries_convert_as_biopython_reads_them_and_survive_its_writers(
        testdata: pathlib.Path, name: str, form: str) -> None:
    path = testdata / "sequences" / name
    theirs = list(SeqIO.parse(str(path), form))
    ours = [record.sequence() for record in mf.records(path)]
    assert len(ours) == len(theirs) > 0
    for sequence, reference in zip(ours, theirs):
        keys = [k for k in KEYS if k in reference.annotations]
        record = sequence.to_seqrecord()
        assert record_view(record, keys) == record_view(reference, keys)
        assert record.dbxrefs == reference.dbxrefs and record.description == reference.description
        assert record.annotations.get("source") == reference.annotations.get("source",
                                                                              reference.annotations.get("organism"))
        # Biopython's writer of the file's own layout keeps id with version, division, source,
        # organism, taxonomy, references, features and qualifiers.
        kept = [k for k in KEPT_BY_BIOPYTHON[form] if k in reference.annotations]
        if writable(reference, form):  # Biopython cannot write every record it reads ("unspecified")
            assert record_view(written(record, form), kept) == record_view(reference, kept)
        kept = [k for k in KEPT_BY_WRITERS[form] if k in reference.annotations]
        # Back into a Sequence, nothing of that is lost either: to_seqrecord() gives it again, and the
        # library's writer of that layout writes it as Biopython reads it.
        back = mf.from_seqrecord(record)
        assert record_view(back.to_seqrecord(), keys) == record_view(reference, keys)
        assert back.accession == sequence.accession and back.molecule == sequence.molecule
        model = mf.SeqModel()
        model.append(back)
        out = io.BytesIO()
        mf.save(model, out, "GenBank" if form == "genbank" else "EMBL")
        reread = SeqIO.read(io.StringIO(out.getvalue().decode()), form)
        if "sequence_version" not in reference.annotations and form == "embl":
            # The new-style ID line the library writes always has a version: 1 when none is known.
            assert reread.id == reference.id + ".1"
            reread.id = reference.id
        assert record_view(reread, kept) == record_view(reference, kept)
