#ifndef MODELFACTORY_TOOLS_DOCUMENTATION_H
#define MODELFACTORY_TOOLS_DOCUMENTATION_H

// The man page and the bash completion script, written from the same texts as --help, so that
// neither can say something the tool does not (the build writes both, and installs them).

#include "Commands.h"

#include <ostream>
#include <string>
#include <vector>

namespace mftool {

/// The tool's one-line description, and the notes that close the top-level help.
extern const char* const kToolSummary;
extern const char* const kToolNotes;

/// A man page (roff, section 1) for the tool and every command in `commands`.
void writeManPage(std::ostream& out, const std::vector<const Command*>& commands, const std::string& version);

/// A bash completion script: commands, each command's options, format names after --format,
/// --from and --to, and file names elsewhere.
void writeBashCompletion(std::ostream& out, const std::vector<const Command*>& commands);

/// `text` with roff's special characters escaped (backslash, minus, a leading dot or quote).
std::string roffEscape(const std::string& text);

} // namespace mftool

#endif
