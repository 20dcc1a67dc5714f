#include "CompressionLevel.h"

#include <string>

namespace mftool {

const OptionSpec kCompressLevelOption = {
    "compress-level", "N",
    "compression level of compressed output: gzip 0-12 (default 1; 0 stores), bzip2 1-9, xz 0-9, zstd 1-22"};

int compressionLevelOf(const Arguments& args, cmn::Compression compression) {
    if (!args.has(kCompressLevelOption.name))
        return -1;
    const std::string text = args.get(kCompressLevelOption.name);
    if (compression == cmn::Compression::None)
        throw UsageError("--compress-level is for compressed output (OUT named .gz, .bz2, .xz or .zst, "
                         "or --compress for standard output)");
    const cmn::CompressionLevels levels = cmn::compressionLevels(compression);
    // Digits only, and few: strtol would also take blanks, a sign and "0x".
    int value = -1;
    if (!text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos)
        value = std::stoi(text);
    if (value < levels.lowest || value > levels.highest)
        throw UsageError(std::string("--compress-level takes ") + std::to_string(levels.lowest) + " to " +
                         std::to_string(levels.highest) + " for " + cmn::compressionName(compression) +
                         " output, not '" + text + "'");
    return value;
}

} // namespace mftool
