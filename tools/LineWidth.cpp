#include "LineWidth.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace mftool {

const OptionSpec kLineWidthOption = {
    "line-width", "N", "residues a line of FASTA or PIR output holds (0: one line; default 60)"};

std::size_t lineWidthOf(const Arguments& args) {
    if (!args.has(kLineWidthOption.name))
        return kDefaultLineWidth;
    const std::string text = args.get(kLineWidthOption.name);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || text[0] == '+' || *end != '\0' || errno == ERANGE)
        throw UsageError("--line-width takes a whole number of residues (0: one line), not '" + text + "'");
    return static_cast<std::size_t>(value);
}

} // namespace mftool
