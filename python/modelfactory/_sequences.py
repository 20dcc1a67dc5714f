"""Sequences as containers: a residue by index, a part by slice (its qualities and the features
that lie inside kept), and `in` for residues."""
import re

from ._core import Feature, Sequence

_GAP = re.compile(r"gap\([^)]*\)")  # gap(100) gives a length, not a position
_NUMBER = re.compile(r"\d+")


def _shifted_location(text, start, stop):
    """The location moved to a part that begins after `start` residues, or None when it does not lie
    within residues start+1..stop (1-based) or names another entry."""
    if ":" in text:
        return None
    pieces = _GAP.split(text)
    positions = [int(n) for piece in pieces for n in _NUMBER.findall(piece)]
    if not positions or min(positions) <= start or max(positions) > stop:
        return None
    gaps = _GAP.findall(text) + [""]
    moved = (_NUMBER.sub(lambda m: str(int(m.group()) - start), piece) for piece in pieces)
    return "".join(piece + gap for piece, gap in zip(moved, gaps))


def getitem(self, index):
    """seq[i]: the residue at i (a str of one letter; IndexError when out of range).
    seq[i:j]: a new Sequence with those residues, their qualities, and the features that lie
    wholly inside (locations moved to the part's numbering); name, accession, description and
    molecule are kept, header fields are not (they describe the whole). A step other than 1
    raises ValueError."""
    if not isinstance(index, slice):
        return self.residues[index]
    start, stop, step = index.indices(len(self))
    if step != 1:
        raise ValueError("a sequence slice takes no step")
    stop = max(start, stop)
    qualities = self.qualities
    part = Sequence(self.name, self.residues[start:stop], self.molecule, accession=self.accession,
                    description=self.description,
                    qualities=None if qualities is None else qualities[start:stop])
    features = []
    for feature in self.features:
        location = _shifted_location(feature.location_text, start, stop)
        if location is not None:
            features.append(Feature(feature.key, location, feature.qualifiers))
    part.features = features
    return part


def contains(self, residues):
    """`"ACG" in seq`: True when the residues occur in the sequence (exact, case-sensitive)."""
    if not isinstance(residues, str):
        raise TypeError("'in <Sequence>' needs a str of residues, not %s" % type(residues).__name__)
    return residues in self.residues
