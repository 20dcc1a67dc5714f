#ifndef MODELFACTORY_TOOLS_LINEWIDTH_H
#define MODELFACTORY_TOOLS_LINEWIDTH_H

// --line-width N: residues a line of FASTA-family output (FASTA, NBRF/PIR) holds, for every
// command that writes such text.

#include "Cli.h"

#include <cstddef>

namespace mftool {

/// The option as commands list it.
extern const OptionSpec kLineWidthOption;

/// The width the writers use when the option is not given.
constexpr std::size_t kDefaultLineWidth = 60;

/// The value of --line-width (0: one line per sequence), kDefaultLineWidth when not given.
/// Throws UsageError when it is not a whole number.
std::size_t lineWidthOf(const Arguments& args);

} // namespace mftool

#endif
