#ifndef MODELFACTORY_TOOLS_INPUTFILES_H
#define MODELFACTORY_TOOLS_INPUTFILES_H

// The files a command is given to read: one check, shared by every command, that each can be read
// at all, so that a missing or unreadable file is reported as such with the system's reason
// rather than as a file of no known kind.

#include <contracts/Common.h>

#include <string>

namespace mftool {

/// The system's reason why `path` (a FORMAT@@FILE path: its file) cannot be read, such as
/// "No such file or directory", "Permission denied" or "Is a directory"; "" when it can be opened
/// for reading. Standard input ("-") is always readable. Other non-regular files (devices, FIFOs)
/// are left to the readers, which say what they make of them.
std::string unreadableReason(const std::string& path);

/// True when `path` can be read; otherwise reports "cannot read PATH: REASON" to `ctx` and
/// returns false.
bool checkReadable(const std::string& path, cmn::OpContext& ctx);

} // namespace mftool

#endif
