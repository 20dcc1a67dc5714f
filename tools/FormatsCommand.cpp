// modelfactory formats: every format the factory knows, grouped as the factory lists them.
#include "Commands.h"
#include "FormatNames.h"
#include "Json.h"
#include "Messages.h"
#include "StandardStreams.h"

#include <contracts/SeqArchive.h>
#include <factory/ExtensionTable.h>
#include <factory/ModelFactory.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>

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

// The extensions of the factory's extension table, by the format each names (upper case), and the
// rows that name a class but no format. A row matches the extensions that begin with its text:
// "emb" takes .emb and .embl, shown as ".emb*".
struct Extensions {
    std::map<std::string, std::vector<std::string>> byFormat;
    std::vector<std::string> alignments, sequences;

    Extensions() {
        const Ovik::ExtensionEntry* table = Ovik::extensionTable();
        // One empty folder for every row the sources are asked about: the file named in it
        // is never made.
        TempFolder temp;
        const std::string probe = temp.file("probe");
        const std::string folder = probe.substr(0, probe.rfind('/'));
        for (std::size_t i = 0; i < Ovik::extensionTableSize(); ++i) {
            const Ovik::ExtensionEntry& row = table[i];
            // A row comparing more characters than its text holds matches that text and shorter.
            const std::string pattern =
                "." + std::string(row.ext) + (row.length <= std::strlen(row.ext) ? "*" : "");
            const std::string format = formatOfExtensionRow(row.ext, row.format, row.flags != 0, folder);
            if (!format.empty())
                byFormat[upper(format)].push_back(pattern);
            else if (row.flags & Ovik::ExtFlagAlignment)
                alignments.push_back(pattern);
            else if (row.flags != 0)
                sequences.push_back(pattern);
        }
    }
    const std::vector<std::string>& of(const std::string& format) const {
        static const std::vector<std::string> none;
        auto found = byFormat.find(upper(format));
        return found == byFormat.end() ? none : found->second;
    }
    static std::string upper(std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }
};

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

int runFormats(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const Velm::FormatList all = Ovik::GetModelFactory().getSupportedFormats();
    const std::vector<Group> groups = groupFormats(all);
    const Extensions extensions;

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
                json.key("extensions").beginArray();
                for (const std::string& pattern : extensions.of(format.first))
                    json.value(pattern);
                json.endArray();
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

    std::size_t width = 0, extensionWidth = 0;
    for (const auto& format : all) {
        width = std::max(width, format.first.size());
        extensionWidth = std::max(extensionWidth, joined(extensions.of(format.first)).size());
    }
    bool first = true;
    for (const Group& group : groups) {
        if (group.formats.empty())
            continue;
        out << (first ? "" : "\n") << group.title << " (" << group.formats.size() << "):\n";
        first = false;
        for (const auto& format : group.formats) {
            const std::string patterns = joined(extensions.of(format.first));
            out << "  " << format.first << std::string(width - format.first.size() + 2, ' ')
                << patterns << std::string(extensionWidth - patterns.size() + 2, ' ') << format.second
                << (group.traces && isFormatWithoutSamples(format.first) ? msg::NoSamplesNote : "") << '\n';
        }
    }
    out << "\nExtensions match the names that begin with them (.emb* takes .emb and .embl).\n"
        << "Extensions that name a kind of model but no format: " << joined(extensions.alignments)
        << " (alignments), " << joined(extensions.sequences) << " (sequences).\n";
    return ExitOk;
}

} // namespace

const Command kFormatsCommand = {
    {"formats", "", "List every format the factory reads or writes.",
     "The list is the factory's own, in its order: the formats of the registered sources, then\n"
     "the sequence-archive formats, then the chromatogram formats. Names are what --format,\n"
     "--from, --to and FORMAT@@FILE paths accept. Each format shows the file-name extensions the\n"
     "factory's extension table gives it (an extension matches every name that begins with it;\n"
     "sources also know files by their content and by names of their own, as FASTQ's .fq).\n"
     "PLN, plain sequence text, is marked: its files hold no samples and are read with 'open',\n"
     "not 'trace'.\n",
     {},
     0,
     0},
    &runFormats};

} // namespace mftool
