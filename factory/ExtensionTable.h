#ifndef MODELFACTORY_FACTORY_EXTENSIONTABLE_H
#define MODELFACTORY_FACTORY_EXTENSIONTABLE_H

#include <contracts/Export.h>

#include <cstddef>
#include <cstdint>

namespace Ovik {

/// One row of the extension table: what a file-name extension says about a file.
struct ExtensionEntry {
    const char* ext;        ///< lower case, without the dot
    std::uint32_t length;   ///< characters of `ext` that take part in a comparison
    std::uint32_t flags;    ///< 0: no sequence data; bit 4: alignment; any other non-zero: sequence data
    std::uint32_t kind;     ///< 0 plain, 1 sequence archive, 2 chromatogram
    const char* format;     ///< the archive format written for this extension, or null
};

enum : std::uint32_t {
    ExtFlagAlignment = 4,
    ExtKindPlain = 0,
    ExtKindArchive = 1,
    ExtKindTrace = 2
};

/// The fixed table, sorted by compareNoCase; no row's text is a prefix of another's. Exported
/// (read only) so that the tool can list which extensions name which format.
MF_API const ExtensionEntry* extensionTable();
MF_API std::size_t extensionTableSize();

/// The row whose first m characters agree with `ext` ignoring case (m: the shorter of the two
/// lengths); the first such row in table order. Null for a null or empty key or no match.
/// Allocates nothing.
const ExtensionEntry* findExtension(const char* ext);

/// The text after the last '.' of the whole path (folders included), or null when there is none.
const char* extensionOf(const char* path);

/// The saving rule for a format name: the row of the archive format written for it (rules tested
/// in order, each a case-insensitive prefix test), or null when no rule matches.
const ExtensionEntry* findArchiveEntry(const char* format);

} // namespace Ovik

#endif
