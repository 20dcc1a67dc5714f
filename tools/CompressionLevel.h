#ifndef MODELFACTORY_TOOLS_COMPRESSIONLEVEL_H
#define MODELFACTORY_TOOLS_COMPRESSIONLEVEL_H

// --compress-level N: how hard compressed output is compressed, for every command that can write
// it (a file named .gz, .bz2, .xz or .zst, or standard output with --compress).

#include "Cli.h"

#include <contracts/Compression.h>

namespace mftool {

/// The option as commands list it.
extern const OptionSpec kCompressLevelOption;

/// The value of --compress-level for output compressed as `compression`; -1 when the option is not
/// given (each compression's standard level). Throws UsageError for anything but a plain whole
/// number within the compression's levels, and when the output is not compressed at all.
int compressionLevelOf(const Arguments& args, cmn::Compression compression);

} // namespace mftool

#endif
