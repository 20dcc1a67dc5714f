// modelfactory trace: the chromatogram record of a trace file, and optionally a picture of it.
#include "Commands.h"
#include "InputFiles.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "TraceSvg.h"

#include <contracts/Common.h>
#include <contracts/SeqArchive.h>
#include <trace/TraceFile.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace mftool {

bool isFormatWithoutSamples(const std::string& format) {
    return cmn::compareNoCase(format.c_str(), "PLN", 3) == 0;
}

namespace {

double meanConfidence(const std::vector<unsigned char>& values) {
    if (values.empty())
        return 0;
    double sum = 0;
    for (unsigned char value : values)
        sum += value;
    return sum / static_cast<double>(values.size());
}

// The picture takes the place of an existing file only when complete, through the library's
// replacing file: its temporary file is created exclusively under a random name, so a link planted
// beside the target is never followed. 0, or the errno of the failure.
int writeSvg(const std::string& path, const Velm::TraceData& trace, const std::string& title) {
    std::ostringstream picture;
    writeTraceSvg(picture, trace, title);
    int error = 0;
    return cmn::replaceFileContents(path, picture.str(), error) ? 0 : error;
}

// One chromatogram: its record as text, or as one JSON object through `writer` (the document's
// own when `withCommand`). True when it was read (and drawn, with --svg).
bool traceOne(const std::string& path, const Arguments& args, ToolContext& ctx, std::ostream& out,
              JsonWriter* jsonOut, bool withCommand) {
    const bool json = jsonOut != nullptr;
    const std::string svg = args.get("svg");

    // The chromatogram reader takes plain paths; a FORMAT@@FILE path must name a chromatogram format.
    std::string format;
    const std::string file = Ovik::SALArchiveModelIter::splitQualifiedPath(path, format);
    boost::shared_ptr<Velm::TraceData> trace;
    if (!checkReadable(path, ctx)) {
        // Reported by the check.
    } else if (!format.empty() && !Ovik::TraceFile::supports(format.c_str())) {
        ctx.error(msg::NotAChromatogramFormat + format);
    } else {
        // Plain sequence text (PLN) is listed among the chromatogram formats, yet has no samples.
        const bool plainFormat = isFormatWithoutSamples(format);
        // The record shows no comments: the decoder is spared them.
        if (!plainFormat)
            trace = Ovik::TraceFile().read(file.c_str(), &ctx, Ovik::TraceFile::Calls | Ovik::TraceFile::Samples);
        if (!trace && (plainFormat || Ovik::holdsTextWithoutSamples(file.c_str())))
            ctx.error(msg::PlainTextHasNoSamples + path + msg::ReadItWithOpen + file + "'");
        else if (!trace)
            ctx.error(msg::NotAChromatogram + path);
    }

    std::string name;
    std::vector<unsigned char> confidences;
    bool svgWritten = false;
    if (trace) {
        name = Velm::NASequence::create(trace)->name();
        confidences = trace->calledConfidences();
        if (!svg.empty() && !trace->hasSamples()) {
            ctx.error(msg::NoSamplesToDraw + path);
        } else if (!svg.empty()) {
            const int error = writeSvg(svg, *trace, name + " (" + trace->formatName() + ")");
            svgWritten = error == 0;
            if (!svgWritten)
                ctx.error(msg::CannotWrite + svg + ": " + std::strerror(error));
        }
    }
    const bool ok = trace && (svg.empty() || svgWritten);

    if (json) {
        JsonWriter& writer = *jsonOut;
        writer.beginObject();
        if (withCommand)
            writer.field("command", "trace");
        writer.field("ok", ok);
        writer.field("path", path);
        if (trace) {
            writer.field("format", trace->formatName());
            writer.field("name", name);
            writer.field("baseCount", trace->numBases());
            writer.field("samples", trace->numPoints());
            writer.field("leftCutoff", trace->leftCutoff);
            writer.field("rightCutoff", trace->rightCutoff);
            writer.field("maxValue", trace->maxTraceVal);
            writer.field("meanConfidence", meanConfidence(confidences));
            writer.field("bases", trace->bases());
            writer.key("positions").beginArray();
            for (auto position : trace->basePos())
                writer.value(position);
            writer.endArray();
            writer.key("confidences").beginArray();
            for (auto confidence : confidences)
                writer.value(static_cast<unsigned>(confidence));
            writer.endArray();
        }
        if (svgWritten)
            writer.field("svg", svg);
        ctx.writeJson(writer);
        writer.endObject();
    } else if (trace) {
        char mean[32];
        std::snprintf(mean, sizeof mean, "%.1f", meanConfidence(confidences));
        out << "path         " << printable(path) << '\n'
            << "format       " << trace->formatName() << '\n'
            << "name         " << printable(name) << '\n'
            << "bases        " << trace->numBases() << '\n'
            << "samples      " << (trace->hasSamples() ? std::to_string(trace->numPoints()) : "none (calls only)") << '\n'
            << "left clip    " << trace->leftCutoff << '\n'
            << "right clip   " << trace->rightCutoff << '\n'
            << "max value    " << trace->maxTraceVal << '\n'
            << "mean conf.   " << mean << '\n';
        const std::string& bases = trace->bases();
        for (std::size_t i = 0; i < bases.size(); i += 60) {
            char number[32];
            std::snprintf(number, sizeof number, "%6zu  ", i + 1);
            out << (i == 0 ? "calls" : "     ") << number << printable(bases.substr(i, 60)) << '\n';
        }
        if (svgWritten)
            out << "svg          " << printable(svg) << '\n';
    }
    return ok;
}

int runTrace(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::vector<std::string>& paths = args.positional();
    const bool json = args.flag("json");
    if (args.has("svg") && args.get("svg").empty())
        throw UsageError("--svg needs a file name");
    if (args.has("svg") && paths.size() > 1)
        throw UsageError("--svg draws one chromatogram: give one PATH");
    JsonWriter writer(out);
    if (paths.size() == 1) {
        const bool ok = traceOne(paths.front(), args, ctx, out, json ? &writer : nullptr, true);
        if (json)
            writer.finish();
        return ok ? ExitOk : ExitFailed;
    }
    // Many files in one process: one record each, a failure reported without stopping the rest.
    if (json) {
        writer.beginObject();
        writer.field("command", "trace");
        writer.key("results").beginArray();
    }
    std::size_t failed = 0;
    bool first = true;
    for (const std::string& path : paths) {
        ToolContext fileCtx(std::cerr);
        if (!json && !first)
            out << '\n';
        std::ostringstream text;
        const bool ok = traceOne(path, args, fileCtx, json ? out : text, json ? &writer : nullptr, false);
        failed += !ok;
        if (!json && !text.str().empty()) {
            out << text.str();
            first = false;
        }
    }
    if (json) {
        finishManyFilesJson(writer, paths.size(), failed, ctx);
    }
    return failed == 0 ? ExitOk : ExitFailed;
}

} // namespace

const Command kTraceCommand = {
    {"trace", "PATH...", "Show chromatograms' records; draw one with --svg.",
     "Reads the chromatogram (SCF, ABI, ZTR, experiment file, ...; gzip-compressed ones too) and\n"
     "prints its format, name, number of bases and samples, clip points (left: bases clipped at the\n"
     "start; right: the first base clipped at the end; 0 for none), maximum value, mean confidence\n"
     "and the called bases. Plain sequence text (PLN) has no samples: read it with 'open'.\n"
     "With --svg it also draws the four channels (A green, C blue, G black, T red) with the called\n"
     "bases, their confidences and the clipped ends shaded, as a scalable SVG picture.\n"
     "Many files are read in one call, each record after the other (--json: one result per file);\n"
     "a file that cannot be read is reported and the rest are still read; the exit status is 1\n"
     "when any failed. --svg takes one file.\n",
     {{"svg", "OUT.svg", "also write a picture of the chromatogram to this file"}},
     1,
     SIZE_MAX},
    &runTrace};

} // namespace mftool
