#ifndef MODELFACTORY_TESTS_HARDENING_READERTABLE_H
#define MODELFACTORY_TESTS_HARDENING_READERTABLE_H

// Every reader of the library behind one signature, so that the bad-input tables can run each
// input through all of them and judge the outcomes alike.

#include <functional>
#include <string>
#include <vector>

namespace hardening {

/// What one read gave.
struct Outcome {
    bool success = false;            ///< the reader reported success (or gave a model/record)
    std::size_t entries = 0;         ///< sequences, rows or models obtained
    std::vector<std::string> errors; ///< reports and exception texts, in order
    std::vector<std::string> warnings; ///< warnings reported along a successful read
    std::string summary;             ///< entry names and lengths, to compare two reads
};

struct Reader {
    std::string name;
    /// A valid sample of the reader's format (a file under the project's fuzz seeds), or "".
    std::string sample;
    /// True for formats without an end marker: a file cut short still reads as a shorter file.
    bool cutReadsShorter;
    /// True when an empty file is, by the reader's contract, an empty success (archives).
    bool emptyIsEmptySuccess;
    /// True when failures are reported as texts; the chromatogram reader refuses silently.
    bool reportsErrors;
    std::function<Outcome(const std::string& path)> read;
};

/// The chromatogram reader, the archive reader per format and recognising the format, the four
/// alignment sources, the XML source, and the factory's open, getType and iterate.
const std::vector<Reader>& allReaders();

/// The project's own sample of `relative` under fuzz/seeds.
std::string seedFile(const std::string& relative);

} // namespace hardening

#endif
