// modelfactory index: writes the index other tools share (FILE.fai, and FILE.gzi for BGZF), so
// that `get` and those tools read any region by seeking.
#include "Commands.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/SeqIndex.h>

#include <exception>
#include <string>
#include <vector>

namespace mftool {

namespace {

struct Indexed {
    std::string path;
    bool ok = false;
    bool fastq = false;
    bool compressed = false;
    std::size_t entries = 0;
};

int runIndex(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    for (const std::string& path : args.positional())
        if (isStandardStream(path))
            throw UsageError(msg::CannotIndexStandardInput);
    std::vector<Indexed> results;
    bool ok = true;
    for (const std::string& path : args.positional()) {
        Indexed result;
        result.path = path;
        try {
            const Ovik::SeqIndex index = Ovik::SeqIndex::build(path, &ctx);
            index.write(path + ".fai", path + ".gzi");
            result.ok = true;
            result.fastq = index.fastq();
            result.compressed = index.compressed();
            result.entries = index.entries().size();
        } catch (const std::exception& e) {
            ctx.error(e.what());
        }
        ok = ok && result.ok;
        results.push_back(result);
    }
    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "index");
        json.field("ok", ok);
        json.key("files").beginArray();
        for (const Indexed& r : results) {
            json.beginObject();
            json.field("file", r.path);
            json.field("ok", r.ok);
            if (r.ok) {
                json.field("format", r.fastq ? "FASTQ" : "FASTA");
                json.field("entries", r.entries);
                json.field("fai", r.path + ".fai");
                if (r.compressed)
                    json.field("gzi", r.path + ".gzi");
            }
            json.endObject();
        }
        json.endArray();
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else {
        for (const Indexed& r : results)
            if (r.ok)
                out << "wrote " << printable(r.path) << ".fai" << (r.compressed ? " and .gzi" : "")
                    << ": " << r.entries << (r.fastq ? " FASTQ" : " FASTA")
                    << (r.entries == 1 ? " entry\n" : " entries\n");
    }
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kIndexCommand = {
    {"index", "FILE...", "Write the index of a FASTA or FASTQ file (FILE.fai; FILE.gzi for BGZF).",
     "Writes FILE.fai (one line per entry: name, length, offset, bases a line, bytes a line;\n"
     "FASTQ adds the offset of the qualities) and, for a BGZF-compressed file, FILE.gzi: the same\n"
     "files samtools faidx writes, which it and other tools read too. Every line of an entry but\n"
     "its last must be as long as the first, and no blank line may fall inside an entry; a file\n"
     "that breaks these rules is refused, with the line. Plain gzip cannot be read from the\n"
     "middle: recompress such a file with bgzip (BGZF) to index it. An index is replaced only\n"
     "once the new one is complete.\n",
     {},
     1,
     SIZE_MAX},
    &runIndex};

} // namespace mftool
