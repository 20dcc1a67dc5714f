#ifndef MODELFACTORY_TOOLS_COMMANDS_H
#define MODELFACTORY_TOOLS_COMMANDS_H

#include "Cli.h"
#include "ToolContext.h"

#include <ostream>
#include <string>

namespace mftool {

/// A command: what it accepts, and its body. The body writes its result to `out`, reports through
/// `ctx` and returns the exit status; it may throw UsageError (exit 2) or std::exception (exit 1).
struct Command {
    CommandSpec usage;
    int (*run)(const Arguments& args, ToolContext& ctx, std::ostream& out);
};

extern const Command kTypeCommand;
extern const Command kOpenCommand;
extern const Command kIterateCommand;
extern const Command kConvertCommand;
extern const Command kFormatsCommand;
extern const Command kTraceCommand;
extern const Command kStatsCommand;
extern const Command kFeaturesCommand;

/// True when `format` names the chromatogram format whose files hold no samples ("PLN": plain
/// sequence text, which opens as a sequence and has nothing for `trace` to show).
bool isFormatWithoutSamples(const std::string& format);

} // namespace mftool

#endif
