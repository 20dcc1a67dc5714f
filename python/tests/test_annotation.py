import pathlib
import re
import warnings

import pytest

import modelfactory as mf

# Positions 1..20 of a made-up entry.
ENTRY = "AACCGGTTACGTRYKMBVDH"

LOCATIONS = [
    # text, strand, partial start, partial end, residues extracted from ENTRY
    ("3..6", "+", False, False, "CCGG"),
    ("5", "+", False, False, "G"),
    ("<1..4", "+", True, False, "AACC"),
    ("1..>4", "+", False, True, "AACC"),
    ("2^3", "+", False, False, ""),
    ("complement(1..4)", "-", False, False, "GGTT"),
    ("complement(<1..4)", "-", False, True, "GGTT"),
    ("complement(1..>4)", "-", True, False, "GGTT"),
    ("join(1..2,5..6)", "+", False, False, "AAGG"),
    ("order(5..6,1..2)", "+", False, False, "GGAA"),
    ("complement(join(1..2,5..6))", "-", False, False, "CCTT"),
    ("join(complement(5..6),complement(1..2))", "-", False, False, "CCTT"),
    ("join(1..2,complement(5..6))", "mixed", False, False, "AACC"),
    ("join(<1..2,complement(join(3..4,7..8)))", "mixed", True, False, "AAAAGG"),
    ("complement(13..20)", "-", False, False, "DHBVKMRY"),
]


@pytest.mark.parametrize("text,strand,partial_start,partial_end,residues", LOCATIONS)
def test_location_forms(text: str, strand: str, partial_start: bool, partial_end: bool, residues: str) -> None:
    location = mf.Location(text)
    assert str(location) == location.text == text
    assert location == text and location == mf.Location(text) and hash(location) == hash(mf.Location(text))
    assert (location.strand, location.partial_start, location.partial_end) == (strand, partial_start, partial_end)
    assert location.extract(ENTRY) == residues
    assert not location.is_remote and location.remote_accessions == []
    # The same feature on the reverse complement of the entry reads the same residues.
    turned = location.reverse_complemented(len(ENTRY))
    other_strand = mf.Sequence("e", ENTRY, "DNA").reverse_complement().residues
    assert turned.extract(other_strand) == residues
    assert (turned.partial_start, turned.partial_end) == (partial_start, partial_end)


def test_location_parts() -> None:
    parts = mf.Location("join(<10..20,complement(AB123.1:5..>9),30^31,40.45)").parts
    assert [(p.kind, p.start, p.end, p.accession, p.strand) for p in parts] == [
        ("range", 10, 20, None, "+"), ("range", 5, 9, "AB123.1", "-"),
        ("between", 30, 31, None, "+"), ("within", 40, 45, None, "+")]
    assert parts[0].partial_start and not parts[0].partial_end
    assert parts[1].partial_end and [len(p) for p in parts] == [11, 5, 0, 6]
    location = mf.Location("join(<10..20,complement(AB123.1:5..>9),30^31,40.45)")
    assert location.is_remote and location.remote_accessions == ["AB123.1"]
    assert (location.start, location.end) == (10, 45) and location.strand == "mixed"


@pytest.mark.parametrize("text,message", [
    ("", "empty location"),
    ("1..", "a position expected"),
    ("5..3", "range ends before it starts"),
    ("join(1..2", "',' or ')' expected"),
    ("complement(1..2,3..4)", "complement() takes one location"),
    ("1..2x", "unexpected text after the location"),
])
def test_bad_locations_raise_location_error(text: str, message: str) -> None:
    with pytest.raises(mf.LocationError, match=re.escape(message)) as caught:
        mf.Location(text)
    assert isinstance(caught.value, ValueError) and isinstance(caught.value, mf.Error)


@pytest.mark.parametrize("text,message", [
    ("join(1..2,AB123.1:5..9)", "reaches into another entry (AB123.1)"),
    ("3.8", "has an uncertain base"),
    ("15..25", "goes past the end of the entry (20 residues)"),
])
def test_locations_that_cannot_be_extracted(text: str, message: str) -> None:
    with pytest.raises(mf.LocationError, match=re.escape(message)):
        mf.Location(text).extract(ENTRY)


def test_feature_location_is_parsed_and_its_text_kept() -> None:
    feature = mf.Feature("CDS", "complement(join(1..3,7..9))", [("gene", "g")])
    assert isinstance(feature.location, mf.Location)
    assert feature.location == "complement(join(1..3,7..9))" and feature.location.strand == "-"
    feature.location = mf.Location("4..6")
    assert feature.location_text == "4..6"
    # Text is taken too (setattr: mypy reads a property's setter type as its getter's).
    setattr(feature, "location", "<1..>3")
    assert feature.location.partial_start and feature.location.partial_end
    with pytest.raises(mf.LocationError):
        setattr(feature, "location", "nonsense")
    assert feature.location_text == "<1..>3"  # left as it was
    # A text set as it is need not parse; reading it as a location then says why.
    feature.location_text = "?"
    with pytest.raises(mf.LocationError):
        feature.location
    assert mf.Feature("gene", mf.Location("1..9")) == mf.Feature("gene", "1..9")


def test_extract_gives_a_named_sequence_or_residues() -> None:
    entry = mf.Sequence("E1", "ATGAAACCCGGGTTTTAA", "DNA")
    cds = mf.Feature("CDS", "complement(4..9)", [("gene", "abc"), ("note", 'say "hi"')])
    part = cds.extract(entry)
    assert isinstance(part, mf.Sequence)
    assert (part.name, part.residues, part.molecule) == ("abc", "GGGTTT", "DNA")
    assert part.description == 'CDS E1:complement(4..9) /gene="abc" /note="say ""hi"""'
    assert cds.extract(entry.residues) == "GGGTTT"
    assert mf.Feature("misc_feature", "1..3").extract(entry).name == "E1:1..3"
    with pytest.raises(TypeError):
        cds.extract(42)  # type: ignore[call-overload]


def test_sample_cds_translations_equal_their_translation_qualifier(testdata: pathlib.Path) -> None:
    files = ["NC_005816.gb", "cor6_6.gb", "AF032047.gbk", "TRBG361.embl", "U87107.embl"]
    total = agreed = remote = 0
    for name in files:
        for model in mf.iterate(testdata / "sequences" / name):
            entry = model[0]
            for feature in entry.features:
                expected = [v for k, v in feature.qualifiers if k == "translation"]
                if feature.key != "CDS" or not expected:
                    continue
                total += 1
                if feature.location.is_remote:
                    with pytest.raises(mf.LocationError, match="another entry"):
                        feature.translate(entry)
                    remote += 1
                    continue
                with warnings.catch_warnings():
                    warnings.simplefilter("error")
                    protein = feature.translate(entry)
                assert protein == re.sub(r"\s", "", expected[0]), (name, feature)
                agreed += 1
    # AF032047.gbk's one CDS joins two parts of AF032048.1.
    assert (total, agreed, remote) == (23, 22, 1)


def test_sample_features_read_the_same_from_the_other_strand(testdata: pathlib.Path) -> None:
    entry = mf.open(testdata / "sequences" / "NC_005816.gb")[0]
    turned = entry.reverse_complement()
    assert len(turned.features) == len(entry.features) == 41
    assert turned.features[3].location == "complement(8501..9523)"
    for before, after in zip(entry.features, turned.features):
        assert before.extract(entry.residues) == after.extract(turned.residues)
    assert turned.reverse_complement().residues == entry.residues


def test_reverse_complement_with_iupac_codes_case_gaps_and_qualities() -> None:
    read = mf.Sequence("r", "ACGTRYKMBVDHSWN-acgt.", "DNA", description="d", qualities=list(range(21)))
    turned = read.reverse_complement()
    assert turned.residues == ".acgt-NWSDHBVKMRYACGT"
    assert turned.qualities is not None and list(turned.qualities) == list(range(20, -1, -1))
    assert (turned.name, turned.description) == ("r", "d")
    assert read.residues == "ACGTRYKMBVDHSWN-acgt."  # the original stays
    assert mf.Sequence("m", "AUGGCu", "RNA").reverse_complement().residues == "aGCCAU"
    with pytest.raises(ValueError, match="is a protein"):
        mf.Sequence("p", "MKV", "protein").reverse_complement()


def test_translate_with_tables_and_the_cds_rules() -> None:
    coding = mf.Sequence("c", "ATGAGATGATAA", "DNA")
    assert coding.translate().residues == "MR**"
    assert coding.translate(2).residues == "M*W*"  # vertebrate mitochondrial: AGA stops, TGA is W
    assert coding.translate(to_stop=True).residues == "MR"
    protein = mf.Sequence("c", "ATTGCCTAA", "DNA").translate(11)
    assert (protein.name, protein.molecule, protein.residues) == ("c", "protein", "IA*")
    # Alternative start codons read as M under the CDS rules; the final stop is dropped.
    assert mf.Sequence("c", "TTGGCCTAA", "DNA").translate(11, cds=True).residues == "MA"
    for residues, message in [("ATGTGATAA", "internal stop"), ("CCCGCCTAA", "start codon"),
                              ("ATGGCCGCC", "stop codon"), ("ATGGCCTAAG", "multiple of three")]:
        with pytest.raises(mf.TranslationError, match=message):
            mf.Sequence("c", residues, "DNA").translate(cds=True)
    for table in (7, 8, 17, 34):
        with pytest.raises(mf.TranslationError):
            coding.translate(table)
    with pytest.raises(mf.TranslationError, match="is a protein"):
        mf.Sequence("p", "MKV", "protein").translate()


def test_feature_translate_honours_qualifiers_and_warns_of_internal_stops() -> None:
    entry = mf.Sequence("E", "CATGTGATAAGG", "DNA")
    # /codon_start=2 skips one base; a partial start needs no start codon.
    cds = mf.Feature("CDS", "<1..10", [("codon_start", "2")])
    with pytest.warns(mf.Warning, match="internal stop codon TGA at codon 2"):
        assert cds.translate(entry) == "M*"
    assert mf.Feature("CDS", "2..10", [("transl_table", "2")]).translate(entry) == "MW"
    assert mf.Feature("CDS", "2..10").translate(entry, table=2) == "MW"
    with pytest.raises(mf.TranslationError, match="start codon"):
        mf.Feature("CDS", "1..9").translate(mf.Sequence("F", "CCCGCCTAA", "DNA"))
    # Other keys are translated codon after codon, without the coding rules.
    assert mf.Feature("misc_feature", "1..9").translate(mf.Sequence("F", "CCCGCCTAA", "DNA")) == "PA*"
