#include "TraceSvg.h"

#include "Json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace mftool {

namespace {

// Conventional chromatogram colours, in channel order A, C, G, T.
const char* const kChannelColour[4] = {"#14a02c", "#1f49d6", "#111111", "#d7191c"};
const char kChannelBase[4] = {'A', 'C', 'G', 'T'};
const char* const kOtherColour = "#8a8a8a";

// Geometry, in user units (one unit per sample horizontally).
const double kMarginLeft = 48;
const double kMarginRight = 16;
const double kHeaderHeight = 64;
const double kBarTop = 6;       // confidence bars, within a row
const double kBarHeight = 24;
const double kLetterBase = 44;  // base letters' baseline
const double kNumberBase = 54;  // base numbers' baseline
const double kTraceTop = 60;
const double kTraceHeight = 120;
const double kRowHeight = 196;
const double kFooterHeight = 8;
const double kHeadroom = 0.92;  // the highest peak stops short of the letters
const int kConfidenceCap = 60; // the bar is full from this confidence up

std::string fmt(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    std::string text(buffer);
    if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0)
        text.erase(text.size() - 2);
    return text;
}

int channelOf(char base) {
    for (int c = 0; c < 4; ++c)
        if (base == kChannelBase[c])
            return c;
    return -1;
}

const char* colourOf(char base) {
    const int channel = channelOf(base);
    return channel < 0 ? kOtherColour : kChannelColour[channel];
}

// The clipped ends in sample coordinates: [0, leftEnd) and [rightStart, points). The record's
// leftCutoff counts the unwanted bases at the start; rightCutoff is the (1-based) first unwanted
// base at the end; 0 means no clip on that side.
struct ClipRange {
    double leftEnd = 0;
    double rightStart = 0;
    std::size_t firstKept = 0; // 0-based index of the first base kept
    std::size_t endKept = 0;   // one past the last base kept
};

double between(const std::vector<std::uint16_t>& positions, std::size_t before, std::size_t after) {
    return (static_cast<double>(positions[before]) + positions[after]) / 2.0;
}

ClipRange clipRange(const Velm::TraceData& trace) {
    const std::size_t bases = trace.numBases();
    const double points = trace.numPoints();
    const auto& positions = trace.basePos();
    ClipRange clip;
    clip.rightStart = points;
    clip.endKept = bases;
    if (positions.size() < bases)
        return clip;
    if (trace.leftCutoff > 0 && bases > 0) {
        clip.firstKept = std::min<std::size_t>(static_cast<std::size_t>(trace.leftCutoff), bases);
        clip.leftEnd = clip.firstKept >= bases ? points : between(positions, clip.firstKept - 1, clip.firstKept);
    }
    if (trace.rightCutoff > 0 && static_cast<std::size_t>(trace.rightCutoff) <= bases) {
        clip.endKept = std::max<std::size_t>(static_cast<std::size_t>(trace.rightCutoff) - 1, clip.firstKept);
        clip.rightStart = clip.endKept == 0 ? 0 : between(positions, clip.endKept - 1,
                                                          std::min(clip.endKept, bases - 1));
        clip.rightStart = std::max(clip.rightStart, clip.leftEnd);
    }
    return clip;
}

} // namespace

std::string xmlEscape(const std::string& text) {
    return escapeText(text, "?", [](unsigned char c, std::string& out) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F ? '?' : static_cast<char>(c);
        }
    });
}

void writeTraceSvg(std::ostream& out, const Velm::TraceData& trace, const std::string& title,
                   const SvgLayout& layout) {
    const std::size_t points = trace.numPoints();
    const std::size_t bases = trace.numBases();
    const std::size_t perRow = std::max<std::size_t>(1, std::min<std::size_t>(layout.samplesPerRow, std::max<std::size_t>(points, 1)));
    const std::size_t rows = std::max<std::size_t>(1, (points + perRow - 1) / perRow);
    const double width = kMarginLeft + static_cast<double>(perRow) + kMarginRight;
    const double height = kHeaderHeight + rows * kRowHeight + kFooterHeight;

    // The channels are scaled to the highest sample actually present, so a record whose stated
    // maximum is off still fills the rows.
    unsigned peak = 1;
    for (unsigned c = 0; c < 4; ++c)
        for (std::uint16_t v : trace.channel(c))
            peak = std::max<unsigned>(peak, v);

    const ClipRange clip = clipRange(trace);
    const std::vector<unsigned char> confidences = trace.calledConfidences();
    const auto& positions = trace.basePos();
    const std::string& calls = trace.bases();

    auto rowTop = [&](std::size_t row) { return kHeaderHeight + row * kRowHeight; };
    auto rowOf = [&](double sample) {
        return std::min<std::size_t>(rows - 1, static_cast<std::size_t>(std::max(0.0, sample) / perRow));
    };
    auto xOf = [&](double sample, std::size_t row) {
        return kMarginLeft + sample - static_cast<double>(row * perRow);
    };

    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << fmt(width)
        << "\" height=\"" << fmt(height) << "\" viewBox=\"0 0 " << fmt(width) << ' ' << fmt(height)
        << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    out << "<title>" << xmlEscape(title) << "</title>\n";
    out << "<style>\n"
           "  .trace { fill: none; stroke-width: 0.9; stroke-linejoin: round; }\n"
           "  .call { font-family: 'DejaVu Sans Mono', Menlo, Consolas, monospace; font-size: 11px;"
           " font-weight: bold; text-anchor: middle; }\n"
           "  .clipped { opacity: 0.4; }\n"
           "  .number { font-size: 7px; fill: #666; text-anchor: middle; }\n"
           "  .bar { fill-opacity: 0.55; }\n"
           "  .axis { stroke: #bbb; stroke-width: 0.5; }\n"
           "  .label { font-size: 8px; fill: #888; }\n"
           "</style>\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    // Header: title, the record's figures, and the legend.
    {
        std::size_t sum = 0;
        for (unsigned char q : confidences)
            sum += q;
        char stats[256];
        int used = std::snprintf(stats, sizeof stats, "%zu bases, %zu samples, max value %d, mean confidence %.1f, ",
                                 bases, points, static_cast<int>(trace.maxTraceVal),
                                 confidences.empty() ? 0.0 : static_cast<double>(sum) / confidences.size());
        used = std::max(0, std::min(used, static_cast<int>(sizeof stats) - 1));
        if (clip.firstKept == 0 && clip.endKept == bases)
            std::snprintf(stats + used, sizeof stats - used, "no clipping");
        else if (clip.endKept > clip.firstKept)
            std::snprintf(stats + used, sizeof stats - used, "bases %zu-%zu kept", clip.firstKept + 1, clip.endKept);
        else
            std::snprintf(stats + used, sizeof stats - used, "every base clipped");
        out << "<g id=\"header\">\n"
            << "<text x=\"" << fmt(kMarginLeft) << "\" y=\"22\" font-size=\"15\" font-weight=\"bold\" fill=\"#222\">"
            << xmlEscape(title) << "</text>\n"
            << "<text x=\"" << fmt(kMarginLeft) << "\" y=\"38\" font-size=\"10\" fill=\"#555\">" << stats << "</text>\n";
        double x = kMarginLeft;
        for (int c = 0; c < 4; ++c) {
            out << "<rect x=\"" << fmt(x) << "\" y=\"46\" width=\"14\" height=\"3\" fill=\"" << kChannelColour[c] << "\"/>"
                << "<text x=\"" << fmt(x + 18) << "\" y=\"51\" font-size=\"9\" fill=\"#333\">" << kChannelBase[c] << "</text>\n";
            x += 34;
        }
        out << "<rect x=\"" << fmt(x) << "\" y=\"43\" width=\"14\" height=\"9\" fill=\"#d9d9d9\"/>"
            << "<text x=\"" << fmt(x + 18) << "\" y=\"51\" font-size=\"9\" fill=\"#333\">clipped</text>\n";
        x += 64;
        out << "<rect x=\"" << fmt(x) << "\" y=\"43\" width=\"4\" height=\"9\" fill=\"#888\" fill-opacity=\"0.55\"/>"
            << "<text x=\"" << fmt(x + 8) << "\" y=\"51\" font-size=\"9\" fill=\"#333\">confidence (bar full at "
            << kConfidenceCap << ")</text>\n</g>\n";
    }

    // Clipped ends, beneath everything else.
    out << "<g id=\"clipping\" fill=\"#d9d9d9\" fill-opacity=\"0.6\">\n";
    auto shade = [&](double from, double to) {
        for (std::size_t row = rowOf(from); from < to && row < rows; ++row) {
            const double start = std::max(from, static_cast<double>(row * perRow));
            const double end = std::min(to, static_cast<double>((row + 1) * perRow));
            if (end <= start)
                continue;
            out << "<rect class=\"clip\" x=\"" << fmt(xOf(start, row)) << "\" y=\"" << fmt(rowTop(row))
                << "\" width=\"" << fmt(end - start) << "\" height=\"" << fmt(kTraceTop + kTraceHeight)
                << "\"/>\n";
        }
    };
    if (clip.leftEnd > 0)
        shade(0, clip.leftEnd);
    if (clip.rightStart < points)
        shade(clip.rightStart, static_cast<double>(points));
    out << "</g>\n";

    // Row frames: a baseline under each row's traces and the first sample's number.
    out << "<g id=\"axes\">\n";
    for (std::size_t row = 0; row < rows; ++row) {
        const double baseline = rowTop(row) + kTraceTop + kTraceHeight;
        const std::size_t rowPoints = std::min(perRow, points - std::min(points, row * perRow));
        out << "<line class=\"axis\" x1=\"" << fmt(kMarginLeft) << "\" y1=\"" << fmt(baseline) << "\" x2=\""
            << fmt(kMarginLeft + static_cast<double>(rowPoints)) << "\" y2=\"" << fmt(baseline) << "\"/>"
            << "<text class=\"label\" x=\"" << fmt(kMarginLeft - 4) << "\" y=\"" << fmt(baseline)
            << "\" text-anchor=\"end\">" << row * perRow << "</text>\n";
    }
    out << "</g>\n";

    // The four channels, one path each, a subpath per row.
    out << "<g id=\"traces\">\n";
    for (unsigned c = 0; c < 4; ++c) {
        const auto& samples = trace.channel(c);
        out << "<path id=\"trace-" << kChannelBase[c] << "\" class=\"trace\" stroke=\"" << kChannelColour[c] << "\" d=\"";
        for (std::size_t row = 0; row < rows && row * perRow < samples.size(); ++row) {
            const std::size_t first = row * perRow;
            const std::size_t last = std::min(samples.size() - 1, first + perRow);
            const double bottom = rowTop(row) + kTraceTop + kTraceHeight;
            for (std::size_t i = first; i <= last; ++i) {
                out << (i == first ? 'M' : (i == first + 1 ? 'L' : ' '))
                    << fmt(xOf(static_cast<double>(i), row)) << ',' << fmt(bottom - kTraceHeight * kHeadroom * samples[i] / peak);
            }
        }
        out << "\"/>\n";
    }
    out << "</g>\n";

    // Called bases: a confidence bar, the letter at its peak, and every tenth base's number.
    out << "<g id=\"calls\">\n";
    for (std::size_t b = 0; b < bases && b < positions.size(); ++b) {
        const double sample = positions[b];
        const std::size_t row = rowOf(sample);
        const double x = xOf(sample, row);
        const double top = rowTop(row);
        const char call = calls[b];
        const unsigned confidence = b < confidences.size() ? confidences[b] : 0;
        const double bar = kBarHeight * std::min<unsigned>(confidence, kConfidenceCap) / kConfidenceCap;
        const bool clipped = b < clip.firstKept || b >= clip.endKept;
        out << "<g class=\"base" << (clipped ? " clipped" : "") << "\" data-index=\"" << b + 1
            << "\" data-position=\"" << positions[b] << "\" data-confidence=\"" << confidence << "\">"
            << "<title>base " << b + 1 << ": " << call << " at sample " << positions[b] << ", confidence "
            << confidence << (clipped ? " (clipped)" : "") << "</title>";
        if (bar > 0)
            out << "<rect class=\"bar\" x=\"" << fmt(x - 2.5) << "\" y=\"" << fmt(top + kBarTop + kBarHeight - bar)
                << "\" width=\"5\" height=\"" << fmt(bar) << "\" fill=\"" << colourOf(call) << "\"/>";
        out << "<text class=\"call\" x=\"" << fmt(x) << "\" y=\"" << fmt(top + kLetterBase) << "\" fill=\""
            << colourOf(call) << "\">" << xmlEscape(std::string(1, call)) << "</text>";
        if ((b + 1) % 10 == 0)
            out << "<text class=\"number\" x=\"" << fmt(x) << "\" y=\"" << fmt(top + kNumberBase) << "\">" << b + 1
                << "</text>";
        out << "</g>\n";
    }
    out << "</g>\n</svg>\n";
}

} // namespace mftool
