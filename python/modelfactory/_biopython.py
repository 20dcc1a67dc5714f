"""Conversion to and from Biopython's SeqRecord; Biopython is imported only when asked for.

A sequence read from a GenBank or EMBL file carries its header fields as the file names them
(VERSION, SOURCE, ORGANISM, REFERENCE, ... or SV, OS, OC, RN, ...). to_seqrecord() gives them the
shape Biopython's own parsers give (id with version, data_file_division, source, organism,
taxonomy, references as Reference objects, ...), so that Biopython's writers write them back;
from_seqrecord() turns that shape into GenBank-style fields, which every writer of the library
translates into its own layout. Fields neither side knows are kept under their own names.
"""
import re

from ._core import Feature, Sequence

_QUALITY_KEY = "phred_quality"

# GenBank reference sub-keywords and the Reference attribute each fills.
_GENBANK_REFERENCE = {"AUTHORS": "authors", "CONSRTM": "consrtm", "TITLE": "title", "JOURNAL": "journal",
                      "MEDLINE": "medline_id", "PUBMED": "pubmed_id", "REMARK": "comment"}
# EMBL reference lines joined as Biopython joins them.
_EMBL_REFERENCE = {"RA": "authors", "RG": "consrtm", "RT": "title", "RL": "journal", "RC": "comment"}
_DATE = re.compile(r"\b(\d{2}-[A-Z]{3}-\d{4})\b")


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


def _insdc_text(location, length):
    """Feature-table text of a Biopython location, by Biopython's own writer where it has one
    (partial ends, between-base sites, parts in other entries), else spans and strands."""
    try:
        from Bio.SeqIO.InsdcIO import _insdc_location_string
    except ImportError:
        return _location_text(location)
    return _insdc_location_string(location, length)


def _one_line(value):
    return " ".join(line.strip() for line in value.split("\n")).strip()


def _split_list(value):
    """Keywords or taxonomy: ';'-separated, the closing full stop dropped ("." is none)."""
    value = _one_line(value)
    if value.endswith("."):
        value = value[:-1]
    return [item.strip() for item in value.split(";")]


def _reference_locations(text):
    """ "(bases 1 to 9609; 20 to 30)" or "1-1859, 2000-2100" as SimpleLocations."""
    from Bio.SeqFeature import SimpleLocation
    spans = re.findall(r"(\d+)\s*(?:to|-)\s*(\d+)", text)
    return [SimpleLocation(int(start) - 1, int(end)) for start, end in spans]


class _Header:
    """Reads header fields into Biopython's annotation layout, keeping what has no place there."""

    def __init__(self, sequence):
        from Bio.SeqFeature import Reference
        self.reference_class = Reference
        self.annotations = {}
        self.dbxrefs = []
        self.record_id = None
        self.references = []
        self.kept = []  # (key, value) fields Biopython has no name for

    def add(self, key, value):
        self.annotations[key] = value

    def append_text(self, key, value, separator):
        previous = self.annotations.get(key)
        self.annotations[key] = value if previous is None else previous + separator + value

    def reference(self):
        reference = self.reference_class()
        self.references.append(reference)
        return reference

    def reference_text(self, attribute, value):
        if not self.references:
            return False
        reference = self.references[-1]
        previous = getattr(reference, attribute)
        setattr(reference, attribute, value if not previous else previous + " " + value)
        return True

    def dbxref(self, text):
        entry = re.sub(r":\s+", ":", text.strip())
        if entry and entry not in self.dbxrefs:
            self.dbxrefs.append(entry)

    def genbank(self, key, value):
        if key == "molecule":
            self.add("molecule_type", value)
        elif key in ("topology", "date"):
            self.add(key, value)
        elif key == "division":
            self.add("data_file_division", value)
        elif key == "ACCESSION":
            self.add("accessions", value.replace(";", " ").split())
        elif key == "VERSION":
            words = value.split()
            if words:
                self.record_id = words[0]
                if "." in words[0] and words[0].rsplit(".", 1)[1].isdigit():
                    self.add("sequence_version", int(words[0].rsplit(".", 1)[1]))
            for word in words[1:]:
                if word.startswith("GI:"):
                    self.add("gi", word[3:])
        elif key == "DBLINK" or key == "PROJECT":
            for line in value.replace("GenomeProject:", "Project:").split("\n"):
                self.dbxref(line)
        elif key == "KEYWORDS":
            self.annotations.setdefault("keywords", []).extend(_split_list(value))
        elif key == "SEGMENT":
            self.add("segment", _one_line(value))
        elif key == "SOURCE":
            self.add("source", _one_line(value)[:-1] if _one_line(value).endswith(".") else _one_line(value))
        elif key == "ORGANISM":
            lines = value.split("\n")
            self.add("organism", lines[0].strip())
            taxonomy = "\n".join(lines[1:]).strip()
            self.add("taxonomy", [t for t in _split_list(taxonomy) if t] if taxonomy else [])
        elif key == "REFERENCE":
            self.reference().location = _reference_locations(value)
        elif key in _GENBANK_REFERENCE and self.references:
            attribute = _GENBANK_REFERENCE[key]
            text = _one_line(value)
            if attribute in ("medline_id", "pubmed_id"):
                setattr(self.references[-1], attribute, text)
            else:
                self.reference_text(attribute, text)
        elif key == "COMMENT":
            self.append_text("comment", value, "\n")
        else:
            self.kept.append((key, value))

    def embl(self, key, value):
        if key == "molecule":
            self.add("molecule_type", value)
        elif key == "topology":
            self.add(key, value)
        elif key == "division":
            self.add("data_file_division", value)
        elif key == "sequence_version":
            if value.isdigit():
                self.add("sequence_version", int(value))
        elif key == "AC":
            self.annotations.setdefault("accessions", []).extend(
                a for a in value.replace("\n", " ").replace(";", " ").split() if a)
        elif key == "SV":
            self.record_id = value.strip()
            version = self.record_id.rsplit(".", 1)[-1]
            if "." in self.record_id and version.isdigit():
                self.annotations.setdefault("sequence_version", int(version))
        elif key == "DT":
            dates = _DATE.findall(value)
            if dates:
                self.add("date", dates[-1])
            self.kept.append((key, value))  # the release notes of each date stay
        elif key == "KW":
            self.annotations.setdefault("keywords", []).extend(_split_list(value))
        elif key == "OS":
            self.add("organism", _one_line(value))
        elif key == "OC":
            self.annotations.setdefault("taxonomy", []).extend(t for t in _split_list(value) if t)
        elif key == "RN":
            self.reference()
        elif key == "RP" and self.references:
            self.references[-1].location = _reference_locations(value)
        elif key == "RX" and self.references:
            unkept = []
            for line in value.split("\n"):
                database, _, identifier = line.partition(";")
                identifier = identifier.strip().rstrip(".").strip()
                if database.strip() == "PUBMED":
                    self.references[-1].pubmed_id = identifier
                else:
                    unkept.append(line)
            if unkept:
                self.kept.append((key, "\n".join(unkept)))
        elif key == "RT" and self.references:
            text = _one_line(value)
            if text.startswith('"'):
                text = text[1:]
            if text.endswith('";'):
                text = text[:-2]
            self.reference_text("title", text)
        elif key == "RA" and self.references:
            self.reference_text("authors", _one_line(value).rstrip(";"))
        elif key in _EMBL_REFERENCE and self.references:
            self.reference_text(_EMBL_REFERENCE[key], _one_line(value))
        elif key == "CC":
            self.append_text("comment", value, "\n")
        elif key == "DR":
            for line in value.split("\n"):
                parts = line.rstrip(".").split(";")
                if len(parts) > 1:
                    self.dbxref("%s:%s" % (parts[0].strip(), parts[1].strip()))
        else:
            self.kept.append((key, value))


def _is_embl(fields):
    keys = {key for key, _ in fields}
    return bool(keys & {"ID", "AC", "SV", "DT", "OS", "OC", "RN", "KW", "CC", "DR"}) and not (
        keys & {"LOCUS", "VERSION", "SOURCE", "ORGANISM", "REFERENCE", "KEYWORDS", "ACCESSION"})


def to_seqrecord(self):
    """This sequence as a Bio.SeqRecord.SeqRecord, shaped as Biopython's GenBank and EMBL parsers
    shape theirs, so that Biopython's writers keep what the entry holds.

    The id is the accession with its version ("NC_005816.1") when the entry gives one (else the
    accession, else the name); the name is the sequence name. Header fields become annotations:
    molecule_type, topology, data_file_division, date, accessions, sequence_version, gi, keywords,
    segment, source, organism, taxonomy, references (Bio.SeqFeature.Reference), comment, and
    dbxrefs; fields Biopython has no name for are kept under their own (a repeated key as a list).
    Features keep key, location (parsed where Biopython can; the text kept in a "location"
    qualifier otherwise) and qualifiers; qualities become letter_annotations["phred_quality"].

    Raises:
        ImportError: Biopython is not installed.
    """
    from Bio.Seq import Seq
    from Bio.SeqFeature import Location, LocationParserError, SeqFeature
    from Bio.SeqRecord import SeqRecord

    fields = self.annotations
    header = _Header(self)
    read = header.embl if _is_embl(fields) else header.genbank
    for key, value in fields:
        read(key, value)
    annotations = {}
    if self.molecule != "unknown":
        annotations["molecule_type"] = self.molecule
    annotations.update(header.annotations)
    if header.references:
        annotations["references"] = header.references
    if "organism" in annotations and "source" not in annotations:
        # An EMBL entry names its source organism once: GenBank's SOURCE line says the same.
        annotations["source"] = annotations["organism"]
    for key, value in header.kept:
        # Repeated keys keep every value, in order.
        if key in annotations:
            previous = annotations[key]
            annotations[key] = (previous if isinstance(previous, list) else [previous]) + [value]
        else:
            annotations[key] = value
    accession = self.accession
    record_id = header.record_id
    if not record_id and accession and "sequence_version" in annotations and "." not in accession:
        record_id = "%s.%d" % (accession, annotations["sequence_version"])
    if accession and "accessions" not in annotations:
        annotations["accessions"] = [accession]
    record = SeqRecord(Seq(self.residues), id=record_id or accession or self.name, name=self.name,
                       description=self.description, dbxrefs=header.dbxrefs)
    record.annotations.update(annotations)
    for feature in self.features:
        qualifiers = {}
        for name, value in feature.qualifiers:
            qualifiers.setdefault(name, []).append(value)
        try:
            # Biopython's readers give a protein's locations no strand.
            location = Location.fromstring(feature.location_text, len(self), stranded=self.molecule != "protein")
        except (LocationParserError, ValueError):
            location = None
            qualifiers.setdefault("location", []).append(feature.location_text)
        record.features.append(SeqFeature(location, type=feature.key, qualifiers=qualifiers))
    qualities = self.qualities
    if qualities is not None:
        record.letter_annotations[_QUALITY_KEY] = [int(q) for q in qualities]
    return record


def _reference_fields(number, reference):
    locations = getattr(reference, "location", None) or []
    spans = "; ".join("%d to %d" % (int(loc.start) + 1, int(loc.end)) for loc in locations)
    fields = [("REFERENCE", "%d  (bases %s)" % (number, spans) if spans else "%d" % number)]
    for key, attribute in _GENBANK_REFERENCE.items():
        value = getattr(reference, attribute, "")
        if value:
            fields.append((key, str(value)))
    return fields


def _molecule(molecule_type):
    """The library's molecule name for a Biopython molecule_type ("DNA", "mRNA", "protein", ...),
    or None when it names no kind, so that the residues decide."""
    text = str(molecule_type).lower()
    if text == "protein":
        return "protein"
    if "rna" in text:
        return "RNA"
    if "dna" in text:
        return "DNA"
    return None  # "unspecified" and the like: the residues tell


def from_seqrecord(record):
    """A modelfactory.Sequence from a Bio.SeqRecord.SeqRecord: the reverse of to_seqrecord().

    Biopython's annotations become GenBank-style header fields (molecule, topology, division,
    date, ACCESSION, VERSION with the id and gi, DBLINK, KEYWORDS, SEGMENT, SOURCE, ORGANISM with
    the taxonomy, REFERENCE with AUTHORS, CONSRTM, TITLE, JOURNAL, MEDLINE, PUBMED and REMARK,
    COMMENT), which the library's GenBank, EMBL and Swiss-Prot writers each write in their own
    layout; other annotations are kept as (key, str(value)) fields. The accession is the first of
    "accessions" (else an id that differs from the name); features and phred_quality (or
    solexa_quality) letter annotations are kept.

    Raises:
        ValueError: qualities of the wrong count or range.
    """
    annotations = dict(record.annotations)
    molecule_type = annotations.pop("molecule_type", None)
    molecule = _molecule(molecule_type) if molecule_type is not None else None
    record_id = record.id if record.id not in (None, "<unknown id>") else ""
    name = record.name if record.name not in (None, "<unknown name>") else record_id
    accessions = [str(a) for a in annotations.pop("accessions", [])]
    accession = accessions[0] if accessions else (record_id if record_id != name else "")
    description = record.description if record.description != "<unknown description>" else ""
    # Biopython's readers keep the whole title line, identifier first.
    if record_id and (description == record_id or description.startswith(record_id + " ")):
        description = description[len(record_id):].lstrip()
    qualities = record.letter_annotations.get(_QUALITY_KEY)
    if qualities is None:
        qualities = record.letter_annotations.get("solexa_quality")
    sequence = Sequence(name, str(record.seq), molecule, accession=accession, description=description,
                        qualities=None if molecule == "protein" else qualities)

    fields = []
    if molecule_type is not None and str(molecule_type) != sequence.molecule:
        fields.append(("molecule", str(molecule_type)))  # "mRNA", "genomic DNA", ...
    for key, field in (("topology", "topology"), ("data_file_division", "division"), ("date", "date")):
        if key in annotations:
            fields.append((field, str(annotations.pop(key))))
    if len(accessions) > 1:
        fields.append(("ACCESSION", " ".join(accessions)))
    version = annotations.pop("sequence_version", None)
    gi = annotations.pop("gi", None)
    if record_id and (version is not None or "." in record_id or gi):
        fields.append(("VERSION", record_id + ("  GI:%s" % gi if gi else "")))
    if record.dbxrefs:
        fields.append(("DBLINK", "\n".join(re.sub(r":", ": ", str(x), count=1) for x in record.dbxrefs)))
    if "keywords" in annotations:
        keywords = annotations.pop("keywords")
        keywords = [keywords] if isinstance(keywords, str) else [str(k) for k in keywords]
        fields.append(("KEYWORDS", "; ".join(k for k in keywords if k) + "."))
    if "segment" in annotations:
        fields.append(("SEGMENT", str(annotations.pop("segment"))))
    organism = annotations.pop("organism", None)
    source = annotations.pop("source", None)
    taxonomy = annotations.pop("taxonomy", None)
    if source is not None or organism is not None:
        # The closing full stop is the layout's: Biopython's readers drop it, the library's
        # writers drop it where another layout has none.
        fields.append(("SOURCE", str(source if source is not None else organism) + "."))
    if organism is not None or taxonomy:
        lines = [str(organism) if organism is not None else "."]
        if taxonomy:
            lines.append("; ".join(str(t) for t in taxonomy) + ".")
        fields.append(("ORGANISM", "\n".join(lines)))
    for number, reference in enumerate(annotations.pop("references", []) or [], 1):
        fields.extend(_reference_fields(number, reference))
    if "comment" in annotations:
        fields.append(("COMMENT", str(annotations.pop("comment"))))
    for key, value in annotations.items():
        for item in value if isinstance(value, list) else [value]:
            fields.append((str(key), str(item)))
    sequence.annotations = fields

    features = []
    for feature in record.features:
        qualifiers = [(name, str(value)) for name, values in feature.qualifiers.items()
                      for value in (values if isinstance(values, list) else [values])]
        location = _insdc_text(feature.location, len(record.seq)) if feature.location is not None else ""
        features.append(Feature(feature.type, location, qualifiers))
    sequence.features = features
    return sequence
