#ifndef MODELFACTORY_TOOLS_FORMATNAMES_H
#define MODELFACTORY_TOOLS_FORMATNAMES_H

// Format names on the command line: which ones the factory knows, the closest one to a slip, and
// the format a file was found to hold.

#include "Cli.h"

#include <contracts/Common.h>

#include <string>
#include <vector>

namespace mftool {

/// The format names the factory lists (getSupportedFormats), in its order, each once.
std::vector<std::string> knownFormatNames();

/// True when the factory knows `name` (ignoring case): a listed name, an alias the archive layer
/// or a registered kind of source accepts (fa, gbk, fastq-illumina, CLUSTALW, ...), or a
/// chromatogram format.
bool isKnownFormat(const std::string& name);

/// The known name closest to `name`, when it is close enough to be a slip; "" otherwise.
std::string closestFormatName(const std::string& name);

/// Throws UsageError when `name` is not empty and not a known format. `where` says where the
/// name came from ("--from", "the path FATSA@@x.fa"); the message suggests a close name and
/// lists the known ones.
void requireKnownFormat(const std::string& name, const std::string& where);

/// The options whose values are format names.
extern const char* const kFormatOptions[3];

/// Checks every format name of a command line: the values of --format, --from and --to, and the
/// FORMAT of every FORMAT@@FILE argument (standard streams excepted).
void requireKnownFormats(const Arguments& args);

/// The name of the format the file holds, as the factory lists it ("GenBank", "FASTQ", "NEXUS",
/// "SCF"): `format` when given (a FORMAT@@FILE path's own when not), else what the sources'
/// sniffing, the chromatogram signature or the archive probe finds, depending on `modelClass`
/// (detection's answer). Compressed files are judged by what they hold. "" when none tells.
std::string detectedFormat(const std::string& path, const std::string& modelClass,
                           const std::string& format = std::string());

/// The format the factory's extension table gives files whose extension begins with the row's
/// text `ext`, as the format list names it: the row's own archive format, else the format the
/// text itself names (pir: NBRF, abi: ABI), else that of the source that claims such a file by its
/// name alone (nex: NEXUS). "" for rows that name no format (files without sequence data, or a
/// class only, such as .seq or .align). A source is asked about a name in an empty folder:
/// `emptyFolder` when not empty (one for many rows: making a folder costs a few system calls),
/// else one of its own.
std::string formatOfExtensionRow(const char* ext, const char* archiveFormat, bool holdsData,
                                 const std::string& emptyFolder = std::string());

} // namespace mftool

#endif
