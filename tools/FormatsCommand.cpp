// modelfactory formats: every format the factory knows, grouped as the factory lists them.
#include "Commands.h"
#include "Json.h"
#include "Messages.h"

#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <algorithm>
#include <cstdint>

namespace mftool {

namespace {

struct Group {
    const char* key;
    const char* title;
    Velm::FormatList formats;
    bool traces; ///< the chromatogram formats, each marked by whether its files hold samples
};

// True when `list` ends with `tail`, element by element.
bool endsWith(const Velm::FormatList& list, std::size_t end, const Velm::FormatList& tail) {
    return tail.size() <= end && std::equal(tail.begin(), tail.end(), list.begin() + (end - tail.size()));
}

// The factory's list is the registered sources' formats, then the archive formats, then the
// chromatogram formats, one after the other. The last two groups are recognised by comparing the
// tail with the lists their libraries publish, so whatever the factory returns is shown as is.
std::vector<Group> groupFormats(const Velm::FormatList& all) {
    std::size_t end = all.size();
    Velm::FormatList traces, archives;
    const Velm::FormatList traceList = Ovik::TraceFile::getSupportedFormats();
    if (endsWith(all, end, traceList)) {
        traces = traceList;
        end -= traceList.size();
    }
    const Velm::FormatList archiveList = Ovik::SALSource::getSupportedFormats();
    if (endsWith(all, end, archiveList)) {
        archives = archiveList;
        end -= archiveList.size();
    }
    std::vector<Group> groups;
    groups.push_back({"sources", "Format sources", Velm::FormatList(all.begin(), all.begin() + end), false});
    groups.push_back({"archives", "Sequence archives", archives, false});
    groups.push_back({"chromatograms", "Chromatograms", traces, true});
    return groups;
}

int runFormats(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const Velm::FormatList all = Ovik::GetModelFactory().getSupportedFormats();
    const std::vector<Group> groups = groupFormats(all);

    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "formats");
        json.field("ok", true);
        json.field("count", all.size());
        json.key("groups").beginArray();
        for (const Group& group : groups) {
            json.beginObject();
            json.field("group", group.key);
            json.field("title", group.title);
            json.key("formats").beginArray();
            for (const auto& format : group.formats) {
                json.beginObject();
                json.field("name", format.first);
                json.field("description", format.second);
                if (group.traces)
                    json.field("samples", !isFormatWithoutSamples(format.first));
                json.endObject();
            }
            json.endArray();
            json.endObject();
        }
        json.endArray();
        ctx.writeJson(json);
        json.endObject();
        json.finish();
        return ExitOk;
    }

    std::size_t width = 0;
    for (const auto& format : all)
        width = std::max(width, format.first.size());
    bool first = true;
    for (const Group& group : groups) {
        if (group.formats.empty())
            continue;
        out << (first ? "" : "\n") << group.title << " (" << group.formats.size() << "):\n";
        first = false;
        for (const auto& format : group.formats)
            out << "  " << format.first << std::string(width - format.first.size() + 2, ' ')
                << format.second << (group.traces && isFormatWithoutSamples(format.first) ? msg::NoSamplesNote : "")
                << '\n';
    }
    return ExitOk;
}

} // namespace

const Command kFormatsCommand = {
    {"formats", "", "List every format the factory reads or writes.",
     "The list is the factory's own, in its order: the formats of the registered sources, then\n"
     "the sequence-archive formats, then the chromatogram formats. Names are what --format,\n"
     "--from, --to and FORMAT@@FILE paths accept. PLN, plain sequence text, is marked: its files\n"
     "hold no samples and are read with 'open', not 'trace'.\n",
     {},
     0,
     0},
    &runFormats};

} // namespace mftool
