#ifndef MODELFACTORY_TOOLS_TRACESVG_H
#define MODELFACTORY_TOOLS_TRACESVG_H

#include <contracts/Sequence.h>

#include <ostream>
#include <string>

namespace mftool {

/// Layout of the chromatogram picture.
struct SvgLayout {
    unsigned samplesPerRow = 1000; ///< long traces wrap into rows of this many samples
};

/// Draws a chromatogram as a standalone SVG document: the four channels as one path each
/// (id "trace-A" ... "trace-T"; A green, C blue, G black, T red), every called base as a letter at
/// its peak with its number every tenth base and a bar for its confidence, and the clipped ends
/// shaded. Long traces wrap into rows; the viewBox lets viewers scale it freely.
void writeTraceSvg(std::ostream& out, const Velm::TraceData& trace, const std::string& title,
                   const SvgLayout& layout = SvgLayout());

/// `text` made safe for XML character data and attribute values: markup characters escaped,
/// control characters and bytes that are not UTF-8 replaced by '?'.
std::string xmlEscape(const std::string& text);

} // namespace mftool

#endif
