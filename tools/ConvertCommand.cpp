// modelfactory convert: open a file and save it in another format.
//
// A sequence archive going to an archive format is streamed: the factory's iterator yields one
// entry at a time and each is appended to the output through the archive library, so memory stays
// flat whatever the input's size. Everything else is opened whole. Its sequences (an alignment's
// rows, gaps included, or a chromatogram's read) go through the same archive writer when the output
// is an archive format that does not hold an alignment as such; otherwise the factory's save()
// writes it, choosing the writer by the output's extension or by --to.
#include "Commands.h"
#include "Json.h"
#include "Messages.h"
#include "ModelReport.h"
#include "Printable.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>

namespace mftool {

namespace {

/// A progress line on stderr, redrawn at most five times a second, only when stderr is a terminal.
class Progress {
public:
    Progress() : enabled_(::isatty(STDERR_FILENO) == 1), last_(std::chrono::steady_clock::now()) {}
    ~Progress() { clear(); }

    void update(std::size_t entries, std::size_t sequences) {
        if (!enabled_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(200))
            return;
        last_ = now;
        std::cerr << "\rconverting: " << entries << " entries, " << sequences << " sequences"
                  << std::flush;
        drawn_ = true;
    }

    /// Removes the line, so that what follows starts on a clean line.
    void clear() {
        if (drawn_)
            std::cerr << "\r\033[K" << std::flush;
        drawn_ = false;
    }

private:
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

struct Outcome {
    bool ok = false;
    bool streamed = false;
    std::string format; ///< the format written, when known
    std::size_t models = 0;
    std::size_t sequences = 0;
};

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return path.substr(dot + 1);
}

// The archive format OUT is to be written in: --to, else the output's extension, when the archive
// library knows it as the name (or alias) of a format it can write; else null. "reads.fa.gz" names
// FASTA, written compressed.
const char* archiveFormatFor(const std::string& output, const std::string& to) {
    const std::string name = to.empty() ? extensionOf(cmn::withoutCompressionExtension(output)) : to;
    if (name.empty())
        return nullptr;
    const char* format = Ovik::SALSource::canonicalName(name.c_str());
    return format && Ovik::SALSource::isWritable(format) ? format : nullptr;
}

// The archive formats that hold an alignment as such (GCG MSF and RSF): an alignment going there is
// saved by the factory, whose alignment sources have the first word.
bool holdsAlignments(const char* format) {
    return format == Ovik::SALSource::MSF || format == Ovik::SALSource::RSF;
}

// Appends sequences to the output archive, which is opened at the first one: GenBank output of
// protein entries is written as GenPept, as the factory's own archive writer does. The writer's
// warnings go to the tool's context. Without close() the caller discards it; an exception
// unwinding past it discards it too.
class ArchiveOutput {
public:
    ArchiveOutput(const std::string& path, Outcome& outcome, ToolContext& ctx)
        : path_(path), outcome_(outcome), ctx_(ctx) {}

    void append(Velm::Sequence& sequence) {
        if (!archive_) {
            if (outcome_.format == Ovik::SALSource::GB && sequence.isProtein())
                outcome_.format = Ovik::SALSource::GENPEPT;
            archive_.reset(new Ovik::OSeqArchive(path_, outcome_.format, ""));
            archive_->setContext(&ctx_);
        }
        Ovik::saveSequence(sequence, *archive_);
        ++outcome_.sequences;
    }

    /// Puts the output in place; false (with an error) when no sequence was written.
    bool close(const std::string& input) {
        if (!archive_) {
            ctx_.error(msg::NothingToConvert + input);
            return false;
        }
        archive_->close();
        return true;
    }

    /// Leaves the target as it was (an archive dropped unclosed would be put in place).
    void discard() {
        if (archive_)
            archive_->discard();
    }

private:
    std::string path_;
    Outcome& outcome_;
    ToolContext& ctx_;
    std::unique_ptr<Ovik::OSeqArchive> archive_;
};

Outcome stream(const std::string& input, const std::string& output, const std::string& from,
               const char* format, ToolContext& ctx) {
    Outcome outcome;
    outcome.streamed = true;
    outcome.format = format;
    boost::shared_ptr<Velm::ModelIter> iterator =
        Ovik::GetModelFactory().iterate(input.c_str(), "", &ctx, from);
    if (!iterator)
        return outcome;

    ArchiveOutput archive(output, outcome, ctx);
    Progress progress;
    while (boost::shared_ptr<Velm::Model> model = iterator->next()) {
        ++outcome.models;
        auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
        if (!bio)
            continue;
        for (const auto& sequence : bio->sequences())
            archive.append(*sequence);
        progress.update(outcome.models, outcome.sequences);
    }
    progress.clear();
    // An iteration that ended on an error leaves the target as it was. (An exception does too: the
    // archive discards its output while the stack unwinds.)
    if (ctx.hasErrors()) {
        archive.discard();
        return outcome;
    }
    outcome.ok = archive.close(input);
    return outcome;
}

// `archiveFormat` is the archive format OUT names (null when none): a model with sequences is then
// written through the archive writer, unless that format holds alignments as such.
Outcome saveWhole(const std::string& input, const std::string& output, const std::string& type,
                  const std::string& from, const std::string& to, const char* archiveFormat,
                  ToolContext& ctx) {
    Outcome outcome;
    outcome.format = to;
    boost::shared_ptr<Velm::Model> model = openModel(input, type, from, &ctx);
    if (!model || model->empty()) {
        if (!ctx.hasErrors())
            ctx.error(msg::NothingOpened + input);
        return outcome;
    }
    outcome.models = 1;
    auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
    if (bio && !bio->sequences().empty() && archiveFormat && !holdsAlignments(archiveFormat)) {
        outcome.format = archiveFormat;
        ArchiveOutput archive(output, outcome, ctx);
        for (const auto& sequence : bio->sequences())
            archive.append(*sequence);
        outcome.ok = archive.close(input);
        return outcome;
    }
    if (bio)
        outcome.sequences = bio->sequences().size();
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    outcome.ok = to.empty() ? factory.save(output.c_str(), *model, &ctx)
                            : factory.save(output.c_str(), *model, to.c_str(), &ctx);
    if (!outcome.ok && !ctx.hasErrors())
        ctx.error(msg::CannotWrite + output);
    return outcome;
}

int runConvert(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string input = args.positional()[0];
    const std::string output = args.positional()[1];
    const std::string from = args.get("from");
    const std::string to = args.get("to");

    bool chromatogram = false;
    const std::string type = modelClassFor(input, args.get("type"), from, &ctx, &chromatogram);
    Outcome outcome;
    if (type.empty()) {
        ctx.error(msg::CannotClassify + input + msg::TypeHint);
    } else {
        // Only sequence archives stream; a chromatogram is one sequence and is read whole.
        const char* format = archiveFormatFor(output, to);
        outcome = format && type == Velm::SeqModel::className && !chromatogram
                      ? stream(input, output, from, format, ctx)
                      : saveWhole(input, output, type, from, to, format, ctx);
    }

    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "convert");
        json.field("ok", outcome.ok);
        json.field("input", input);
        json.field("output", output);
        json.field("class", type);
        if (outcome.format.empty())
            json.key("format").null();
        else
            json.field("format", outcome.format);
        json.field("streamed", outcome.streamed);
        json.field("models", outcome.models);
        json.field("sequences", outcome.sequences);
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else if (outcome.ok) {
        out << "wrote " << printable(output) << ": " << outcome.sequences
            << (outcome.sequences == 1 ? " sequence" : " sequences") << " from " << printable(input);
        if (outcome.streamed)
            out << " (" << outcome.format << ", streamed entry by entry)\n";
        else if (!outcome.format.empty())
            out << " (" << type << " saved as " << outcome.format << ")\n";
        else
            out << " (" << type << " saved by the output's extension)\n";
    }
    return outcome.ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kConvertCommand = {
    {"convert", "IN OUT", "Open a file and save it in another format.",
     "The output format comes from OUT's extension, or from --to. A sequence archive going to an\n"
     "archive format (FASTA, GenBank, EMBL, ...) is streamed entry by entry, so files of any size\n"
     "convert in constant memory; a progress line is shown on stderr when it is a terminal.\n"
     "Anything else is opened whole. An alignment's rows (gaps kept) or a chromatogram's read\n"
     "going to an archive format other than MSF and RSF are written by the same archive writer;\n"
     "the rest is saved through the factory. An existing OUT is replaced only when the\n"
     "conversion succeeds.\n",
     {{"type", "CLASS", "open IN as this model class instead of detecting it"},
      {"from", "NAME", "read IN in this format"},
      {"to", "NAME", "write OUT in this format instead of the one its extension names"}},
     2,
     2},
    &runConvert};

} // namespace mftool
