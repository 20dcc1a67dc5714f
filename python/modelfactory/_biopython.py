"""Conversion to and from Biopython's SeqRecord; Biopython is imported only when asked for."""

from ._core import Feature, Sequence

_QUALITY_KEY = "phred_quality"


def _location_text(location):
    """A Biopython location as feature-table text ("12..78", "complement(join(1..5,9..20))")."""
    parts = getattr(location, "parts", [location])
    spans = ["%d" % (int(p.start) + 1) if int(p.end) - int(p.start) == 1
             else "%d..%d" % (int(p.start) + 1, int(p.end)) for p in parts]
    strands = {p.strand for p in parts}
    if strands == {-1}:
        # A minus-strand join lists its parts last-first; the complement of the join reads them in order.
        spans.reverse()
        text = spans[0] if len(spans) == 1 else "join(%s)" % ",".join(spans)
        return "complement(%s)" % text
    return spans[0] if len(spans) == 1 else "join(%s)" % ",".join(spans)


def to_seqrecord(self):
    """This sequence as a Bio.SeqRecord.SeqRecord: id and name from the name (the accession when
    there is one for the id), description, molecule type, annotations, features (locations parsed
    where Biopython can; the text kept in a "location" qualifier otherwise) and qualities as
    letter_annotations["phred_quality"]."""
    from Bio.Seq import Seq
    from Bio.SeqFeature import Location, LocationParserError, SeqFeature
    from Bio.SeqRecord import SeqRecord

    record = SeqRecord(Seq(self.residues), id=self.accession or self.name, name=self.name,
                       description=self.description)
    if self.molecule != "unknown":
        record.annotations["molecule_type"] = self.molecule
    for key, value in self.annotations:
        # Repeated keys keep every value, in order.
        if key in record.annotations and key != "molecule_type":
            previous = record.annotations[key]
            record.annotations[key] = (previous if isinstance(previous, list) else [previous]) + [value]
        else:
            record.annotations[key] = value
    for feature in self.features:
        qualifiers = {}
        for name, value in feature.qualifiers:
            qualifiers.setdefault(name, []).append(value)
        try:
            location = Location.fromstring(feature.location_text, len(self))
        except (LocationParserError, ValueError):
            location = None
            qualifiers.setdefault("location", []).append(feature.location_text)
        record.features.append(SeqFeature(location, type=feature.key, qualifiers=qualifiers))
    qualities = self.qualities
    if qualities is not None:
        record.letter_annotations[_QUALITY_KEY] = [int(q) for q in qualities]
    return record


def from_seqrecord(record):
    """A modelfactory.Sequence from a Bio.SeqRecord.SeqRecord: the reverse of to_seqrecord."""
    annotations = dict(record.annotations)
    molecule = annotations.pop("molecule_type", None)
    if molecule is not None:
        molecule = {"dna": "DNA", "rna": "RNA", "protein": "protein"}.get(str(molecule).lower(), "unknown")
    accession = record.id if record.id not in (None, "<unknown id>", record.name) else ""
    name = record.name if record.name not in (None, "<unknown name>") else (record.id or "")
    description = record.description if record.description != "<unknown description>" else ""
    # Biopython's readers keep the whole title line, identifier first.
    if description == record.id or description.startswith(record.id + " "):
        description = description[len(record.id):].lstrip()
    qualities = record.letter_annotations.get(_QUALITY_KEY)
    if qualities is None:
        qualities = record.letter_annotations.get("solexa_quality")
    sequence = Sequence(name, str(record.seq), molecule, accession=accession, description=description,
                        qualities=None if molecule == "protein" else qualities)
    pairs = []
    for key, value in annotations.items():
        for item in value if isinstance(value, list) else [value]:
            pairs.append((str(key), str(item)))
    sequence.annotations = pairs
    features = []
    for feature in record.features:
        qualifiers = [(name, str(value)) for name, values in feature.qualifiers.items()
                      for value in (values if isinstance(values, list) else [values])]
        location = _location_text(feature.location) if feature.location is not None else ""
        features.append(Feature(feature.type, location, qualifiers))
    sequence.features = features
    return sequence
