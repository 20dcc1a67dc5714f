#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_TEXTUTIL_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_TEXTUTIL_H

#include "LineSource.h"

#include <contracts/Sequence.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Ovik {
namespace text {

/// Case-insensitive equality of two ASCII texts.
bool equalNoCase(const char* a, const char* b);
/// `s` without leading and trailing spaces and tabs.
std::string trim(const char* s, std::size_t n);
/// The value of a text of decimal digits only (a declared length); 0 for anything else or a value
/// too large to be a length.
std::size_t parseCount(const std::string& digits);
inline std::string trim(const std::string& s) { return trim(s.data(), s.size()); }
/// The text of the line from column `col` on, trimmed ("" when the line is shorter).
std::string from(const Line& line, std::size_t col);
/// Whitespace-separated tokens.
std::vector<std::string> tokens(const char* s, std::size_t n);
inline std::vector<std::string> tokens(const Line& l) { return tokens(l.data, l.size); }

/// Appends the residue characters of `n` bytes to `out`: drops whitespace and digits.
void appendResidues(std::string& out, const char* s, std::size_t n);
/// The same as appendResidues for a sequence line, faster on the usual layout of `first` columns
/// of position and spaces followed by groups of ten residues (GenBank ORIGIN, EMBL SQ lines).
void appendGroupedResidues(std::string& out, const char* s, std::size_t n, std::size_t first);
/// Appends `n` bytes, dropping only whitespace (FASTA keeps every other character).
void appendNonSpace(std::string& out, const char* s, std::size_t n);
/// The first byte above 127 in `text` (never a residue: a UTF-8 letter, a Latin-1 sign), or null.
const char* firstHighByte(const std::string& text);
/// How many residues guessType() looks at.
constexpr std::size_t kGuessSample = 2048;
/// True when each of the `n` bytes is A, C, G, T or N in either case (also when n is 0).
bool plainBases(const char* s, std::size_t n);
/// As appendNonSpace, and true when every byte is A, C, G, T or N in either case (or there is
/// none): the usual nucleotide line, which needs no filter, and whose entry guessType() would
/// call DNA without counting when all its lines are such.
bool appendNonSpaceBases(std::string& out, const char* s, std::size_t n);

/// True for an NBRF/PIR annotation line outside an entry: an upper-case letter and ';' ("C;" for
/// comments, which exports put before the first entry and between entries).
bool pirCommentLine(const char* s, std::size_t n);

/// The residues of a sequence as the GCG formats hold them: one character a position. A PIR
/// group of uncertain order ("(V,Q.K)") gives its residues in order ("VQK"); the other PIR marks
/// that are not positions (',' '/' and frame marks '!') and blanks are left out and counted in
/// `dropped`. Every other character (letters, '*', gaps, '?') is kept.
std::string gcgResidues(const std::string& residues, std::size_t& dropped);
/// The GCG checksum of a sequence (0..9999).
unsigned gcgChecksum(const std::string& residues);
/// The Swiss-Prot CRC64 of a sequence, as 16 upper-case hex digits.
std::string crc64Hex(const std::string& residues);
/// Average molecular weight of a protein sequence, in daltons (rounded).
unsigned long proteinWeight(const std::string& residues);

/// Splits `value` into lines of at most `width` characters, breaking at spaces where possible
/// (the space is dropped); with `hard` set, breaks every `width` characters regardless.
std::vector<std::string> wrap(const std::string& value, std::size_t width, bool hard = false);
/// `s` with blanks appended up to `width` characters (a longer `s` is returned whole).
inline std::string padded(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}
/// Splits a text on '\n'.
std::vector<std::string> splitLines(const std::string& value);

/// A name usable as a single token (cmn::singleTokenName): blanks and control characters become
/// '_'; an empty name becomes "seq<index>".
std::string tokenName(const std::string& name, std::size_t index);
/// Nucleotide or protein, judged from the first residues as Velm::Sequence::guessMoleculeType
/// judges the whole sequence (a sample keeps large entries fast).
Velm::Sequence::MoleculeType guessType(const std::string& residues);
/// Molecule type of a sequence, guessed from its residues when it does not know it.
Velm::Sequence::MoleculeType moleculeOf(const Velm::Sequence& seq);
/// The base name of a path without folders and without its last extension.
std::string baseName(const std::string& path);
/// Today's date as DD-MON-YYYY.
std::string today();

} // namespace text
} // namespace Ovik

#endif
