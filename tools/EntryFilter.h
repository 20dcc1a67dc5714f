#ifndef MODELFACTORY_TOOLS_ENTRYFILTER_H
#define MODELFACTORY_TOOLS_ENTRYFILTER_H

// convert's entry options: --min-length and --max-length keep only the entries of those lengths,
// --reverse-complement writes each entry turned over onto its other strand (features included).

#include "Cli.h"

#include <contracts/DataModel.h>
#include <contracts/Sequence.h>

#include <cstddef>
#include <cstdint>

namespace mftool {

// Constant-initialised, so that commands' option lists may copy them at static initialisation.
inline constexpr OptionSpec kMinLengthOption = {"min-length", "N", "write only entries of at least N residues"};
inline constexpr OptionSpec kMaxLengthOption = {"max-length", "N", "write only entries of at most N residues"};
inline constexpr OptionSpec kReverseComplementOption = {
    "reverse-complement", nullptr, "write the reverse complement of each entry (features moved with it)"};

class EntryFilter {
public:
    /// Reads the options; UsageError for a length that is not a number, or a minimum above the maximum.
    static EntryFilter fromArguments(const Arguments& args);

    /// True when any of the options was given.
    bool active() const { return reverse_ || minLength_ > 0 || maxLength_ != SIZE_MAX; }
    /// True when the entry is to be written, after it was changed as asked; false when its length
    /// leaves it out. Throws std::invalid_argument (a protein to reverse complement) or
    /// Velm::LocationError (a feature beyond the entry's end).
    bool pass(Velm::Sequence& sequence);
    /// pass() over every sequence of a model opened whole; the ones left out are dropped from it.
    void apply(Velm::BioModel& model);
    /// The entries left out so far.
    std::size_t leftOut() const { return leftOut_; }

private:
    bool reverse_ = false;
    std::size_t minLength_ = 0;
    std::size_t maxLength_ = SIZE_MAX;
    std::size_t leftOut_ = 0;
};

} // namespace mftool

#endif
