#ifndef MODELFACTORY_PLATFORM_ALIGNFORMATS_ALIGNMENTIO_H
#define MODELFACTORY_PLATFORM_ALIGNFORMATS_ALIGNMENTIO_H

// The machinery the four alignment sources share: format-qualified paths, bounded content
// sniffing, reading rows into a model, checking and writing rows atomically. Each format supplies
// a FormatTraits with its own sniffer, parser and writer; the sources forward to the functions here.

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Sequence.h>

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace Ovik {
namespace alignio {

/// One aligned row as read from or written to a file.
struct Row {
    std::string name;
    std::string residues;
};

/// What a parser produced: the rows, or an error at a line (1-based; 0 for the whole file).
struct ParseResult {
    std::vector<Row> rows;
    Velm::Sequence::MoleculeType type = Velm::Sequence::MoleculeType::Unknown;
    std::size_t errorLine = 0;
    std::string error;
    /// The caller named the format (a FORMAT@@FILE path): a parser may take a first line it
    /// does not know for its header.
    bool formatNamed = false;

    bool ok() const { return error.empty(); }
    /// Records the first error only; later ones are consequences of it.
    void fail(std::size_t line, const std::string& text);
};

/// How sure a sniffer is that the text starts a file of its format.
enum class Sniff { No, Maybe, Yes };

/// Rows prepared for writing: names made unique and legal for the format, gaps as '-'.
struct WriteInput {
    std::vector<Row> rows;
    bool protein = false;
    Velm::Sequence::MoleculeType type = Velm::Sequence::MoleculeType::Unknown;
    std::string fileName;   ///< the target's file name without folders (MSF names it)
};

struct FormatTraits {
    const char* name;                ///< the format-name constant
    const char* description;
    const char* const* aliases;      ///< further names a FORMAT@@FILE path may give; null-ended
    const char* const* extensions;   ///< lower case, without the dot; null-ended
    /// Printable characters a row may not hold in this format (besides blanks and controls).
    const char* forbidden;
    /// Judges the first bytes of a file; `complete` is true when `head` is the whole file.
    Sniff (*sniff)(std::string_view head, bool complete);
    /// Parses the whole text.
    void (*parse)(const std::string& text, ParseResult& result);
    /// Makes a row name legal for the format (may return "" for "use a generated one").
    std::string (*legalName)(const std::string& name);
    /// Writes the rows; all have the same non-zero length.
    void (*write)(std::ostream& out, const WriteInput& input);
    /// The longest row name the format takes when written under `format` (the name a FORMAT@@FILE
    /// path gave, else the format's own); null or npos: no limit.
    std::size_t (*nameLength)(const std::string& format) = nullptr;
};

// ---- error texts (details; messages read "<file>, line <n>: <detail>" or "<file>: <detail>") --
extern const char* const kErrCannotOpen;        // "cannot open the file"
extern const char* const kErrEmptyFile;         // "the file is empty"
extern const char* const kErrFormatNotSupported;// "format not supported by this source: "
extern const char* const kErrQualifiedOther;    // "the path names another format: "
extern const char* const kErrNotSequenceModel;  // "the model cannot hold sequences"
extern const char* const kErrNothingToSave;     // "nothing to save"
extern const char* const kErrUnequalRows;       // "rows of unequal length: "
extern const char* const kErrEmptyRows;         // "the rows hold no residues"
extern const char* const kErrBadResidue;        // "a row holds a character the format cannot carry: "
extern const char* const kErrCannotWrite;       // "cannot write the file: "

/// "<file>, line <n>: <detail>", or "<file>: <detail>" when line is 0.
std::string message(const std::string& file, std::size_t line, const std::string& detail);


/// Walks the text lines of `text` (LF or CRLF ends) without copying them, as splitLines splits
/// them: each without its end, a leading UTF-8 BOM skipped. `text` must outlive the walker.
class LineWalker {
public:
    explicit LineWalker(std::string_view text);
    /// The next line into `line`; false after the last one.
    bool next(std::string_view& line);
    /// True once the last line has been given.
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};
/// The text lines of `text` (LF or CRLF ends), without their ends; a leading UTF-8 BOM is skipped.
std::vector<std::string> splitLines(std::string_view text);
/// The first line of `text` that is not blank, trimmed ("" when there is none), as a view of the
/// same bytes. Sniffers look at it before splitting a whole head into lines: most files are
/// rejected on their first line.
std::string_view firstNonBlankLine(std::string_view text);
/// True for ' ', '\t', '\r', '\n', '\v', '\f'.
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
std::string trim(const std::string& text);
/// `text` without leading and trailing whitespace (a view of the same bytes).
std::string_view trimmed(std::string_view text);
/// Whitespace-separated words.
std::vector<std::string> words(std::string_view text);
/// The same words one at a time, as views of the text: for sniffers, which mostly stop at the
/// first word or two.
class WordWalker {
public:
    explicit WordWalker(std::string_view text) : rest_(text) {}
    /// The next word into `word`; false (and `word` empty) after the last one.
    bool next(std::string_view& word);

private:
    std::string_view rest_;
};
/// True when `text` starts with `prefix`, ignoring ASCII case.
bool startsWithNoCase(std::string_view text, const char* prefix);
bool equalsNoCase(const std::string& a, const char* b);
/// Parses a non-negative decimal number that fills the whole text.
bool parseCount(std::string_view text, std::size_t& value);
/// Characters a row may hold in any of the formats: printable, not blank.
bool isResidueChar(char c);
/// `residues` with every gap written '-': formats whose readers take '.' for "same as the first
/// row" (or refuse it) get the one gap character they all read.
std::string dashGaps(const std::string& residues);

// ---- the operations the sources forward to ---------------------------------------------------
bool handles(const FormatTraits& traits, const char* path);
const char* getType(const FormatTraits& traits, const char* path);
Velm::FormatList formats(const FormatTraits& traits);
/// `formatNamed`: the caller named the format (a format argument), as a FORMAT@@FILE path does:
/// the file is read as that format whatever its first line.
bool retrieve(const FormatTraits& traits, const char* path, Velm::Model& model, cmn::OpContext* ctx,
              bool formatNamed = false);
bool save(const FormatTraits& traits, const char* path, Velm::Model& model, cmn::OpContext* ctx);
/// Reports that `format` is not this source's (used by the format-named forms).
void reportUnsupported(const FormatTraits& traits, const char* path, const char* format,
                       cmn::OpContext* ctx);


} // namespace alignio
} // namespace Ovik

// The members every alignment source has, forwarding to the shared functions above with the
// source's FormatTraits. Kept in one place so that the four sources cannot drift apart.
#define OVIK_ALIGNMENT_SOURCE_MEMBERS(Class, traits, sourceName)                                   \
    Class::Class() = default;                                                                    \
    bool Class::handles(const char* path) const { return alignio::handles(traits, path); }         \
    const char* Class::getName() const { return sourceName; }                                    \
    const char* Class::getType(const char* path) const { return alignio::getType(traits, path); }  \
    Velm::FormatList Class::getSupportedFormats() { return alignio::formats(traits); }             \
    bool Class::retrieve(const char* path, Velm::Model& model, const char* format,               \
                         cmn::OpContext* ctx, const char* /*qualifier*/) {                       \
        if (!supports(format)) {                                                                 \
            alignio::reportUnsupported(traits, path, format, ctx);                                 \
            return false;                                                                        \
        }                                                                                        \
        return alignio::retrieve(traits, path, model, ctx, true);                                  \
    }                                                                                            \
    bool Class::retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,              \
                         const char* /*qualifier*/) {                                            \
        return alignio::retrieve(traits, path, model, ctx);                                        \
    }                                                                                            \
    bool Class::save(const char* path, Velm::Model& model, const char* format,                   \
                     cmn::OpContext* ctx) {                                                      \
        if (!supports(format)) {                                                                 \
            alignio::reportUnsupported(traits, path, format, ctx);                                 \
            return false;                                                                        \
        }                                                                                        \
        return alignio::save(traits, path, model, ctx);                                            \
    }                                                                                            \
    bool Class::save(const char* path, Velm::Model& model, cmn::OpContext* ctx) {                \
        return alignio::save(traits, path, model, ctx);                                            \
    }

#endif
