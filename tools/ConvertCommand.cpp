// modelfactory convert: open a file and save it in another format.
//
// A sequence archive going to an archive format is streamed: the factory's iterator yields one
// entry at a time and each is appended to the output through the archive library, so memory stays
// flat whatever the input's size. Everything else is opened whole. Its sequences (an alignment's
// rows, gaps included, or a chromatogram's read) go through the same archive writer when the output
// is an archive format that does not hold an alignment as such; otherwise the factory's save()
// writes it, choosing the writer by the output's extension or by --to.
#include "Commands.h"
#include "CompressionLevel.h"
#include "InputFiles.h"
#include "EntryFilter.h"
#include "Json.h"
#include "LineWidth.h"
#include "Messages.h"
#include "ModelReport.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <boost/make_shared.hpp>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
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

// Where the entries come from: a file the factory reads, or standard input read as it arrives
// (`streamed` names its archive format).
struct Input {
    std::string path;
    std::string streamed;
    StandardInput* standard = nullptr;
    /// The input as messages name it.
    std::string name() const { return standard ? std::string("-") : path; }
};

// Options of the output.
struct Output {
    std::string path;
    int defaultQuality = -1;
    cmn::Compression compression = cmn::Compression::None; ///< of standard output
    std::size_t lineWidth = kDefaultLineWidth;
    EntryFilter* filter = nullptr; ///< which entries are written, and how (null: all, as they are)
    bool standard() const { return isStandardStream(path); }
};

// The archive formats that hold an alignment as such (GCG MSF and RSF): an alignment going there is
// saved by the factory, whose alignment sources have the first word.
bool holdsAlignments(const char* format) {
    return format == Ovik::SALSource::MSF || format == Ovik::SALSource::RSF;
}

// Appends sequences to the output archive (a file, or standard output), which is opened at the
// first one: GenBank output of protein entries is written as GenPept, as the factory's own archive
// writer does. The writer's warnings go to the tool's context. Without close() the caller discards
// it; an exception unwinding past it discards it too.
class ArchiveOutput {
public:
    ArchiveOutput(const Output& output, Outcome& outcome, ToolContext& ctx)
        : output_(output), outcome_(outcome), ctx_(ctx) {}

    void append(Velm::Sequence& sequence) {
        if (output_.filter && !output_.filter->pass(sequence))
            return;
        if (!archive_) {
            if (outcome_.format == Ovik::SALSource::GB && sequence.isProtein())
                outcome_.format = Ovik::SALSource::GENPEPT;
            archive_.reset(output_.standard()
                               ? new Ovik::OSeqArchive(STDOUT_FILENO, output_.path, outcome_.format,
                                                       output_.compression)
                               : new Ovik::OSeqArchive(output_.path, outcome_.format, ""));
            archive_->setContext(&ctx_);
            archive_->setDefaultQuality(output_.defaultQuality);
            archive_->setLineWidth(output_.lineWidth);
        }
        Ovik::saveSequence(sequence, *archive_);
        ++outcome_.sequences;
    }

    /// Puts the output in place; false (with an error) when no sequence was written.
    bool close(const Input& input) {
        if (!archive_ && output_.filter && output_.filter->leftOut() > 0) {
            // Every entry was left out by its length: the output is there, empty.
            archive_.reset(output_.standard()
                               ? new Ovik::OSeqArchive(STDOUT_FILENO, output_.path, outcome_.format,
                                                       output_.compression)
                               : new Ovik::OSeqArchive(output_.path, outcome_.format, ""));
            archive_->setContext(&ctx_);
        }
        if (!archive_) {
            ctx_.error(msg::NothingToConvert + input.name());
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
    const Output& output_;
    Outcome& outcome_;
    ToolContext& ctx_;
    std::unique_ptr<Ovik::OSeqArchive> archive_;
};

Outcome stream(const Input& input, const Output& output, const std::string& from,
               const char* format, ToolContext& ctx) {
    Outcome outcome;
    outcome.streamed = true;
    outcome.format = format;
    boost::shared_ptr<Velm::ModelIter> iterator;
    if (!input.streamed.empty())
        iterator.reset(new Ovik::SALArchiveModelIter(input.standard->archive(input.streamed, &ctx),
                                                     "-", &ctx));
    else {
        // A source's own iterator learns the format from the path alone: --from goes into it as
        // FORMAT@@FILE, so that an encoding it names (fastq-illumina) is not lost.
        const std::string path = from.empty() || cmn::QualifiedPath(input.path).qualified
                                     ? input.path
                                     : from + "@@" + input.path;
        iterator = Ovik::GetModelFactory().iterate(path.c_str(), "", &ctx, from);
    }
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

// Every entry of standard input, read as an archive, in one sequence model.
boost::shared_ptr<Velm::Model> readWhole(const Input& input, ToolContext& ctx) {
    std::unique_ptr<Ovik::ISeqArchive> archive = input.standard->archive(input.streamed, &ctx);
    boost::shared_ptr<Velm::SeqModel> model(new Velm::SeqModel);
    while (!archive->atEnd())
        model->addSeq(Ovik::createSequence(*archive));
    model->setURL("-");
    return model;
}

// `archiveFormat` is the archive format OUT names (null when none): a model with sequences is then
// written through the archive writer, unless that format holds alignments as such.
Outcome saveWhole(const Input& input, const Output& output, const std::string& type,
                  const std::string& from, const std::string& to, const char* archiveFormat,
                  ToolContext& ctx) {
    Outcome outcome;
    outcome.format = to;
    boost::shared_ptr<Velm::Model> model =
        input.streamed.empty() ? openModel(input.path, type, from, &ctx) : readWhole(input, ctx);
    if (!model || model->empty()) {
        if (!ctx.hasErrors())
            ctx.error(msg::NothingOpened + input.name());
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
    if (bio && output.filter && output.filter->active()) {
        output.filter->apply(*bio);
        if (bio->sequences().empty()) {
            ctx.error(msg::NothingToConvert + input.name());
            return outcome;
        }
    }
    if (bio)
        outcome.sequences = bio->sequences().size();
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    // The FASTQ writer behind the factory is given the default quality by replacing the source.
    if (output.defaultQuality >= 0)
        factory.addSource(boost::make_shared<Ovik::FastqModelSource>(output.defaultQuality), true);
    // Writers that take a path write standard output's file in a private folder first, named so
    // that it is compressed as asked; their reports name standard output, not that file.
    TempFolder folder;
    const std::string target =
        output.standard() ? folder.file(std::string("stdout") + compressionExtension(output.compression))
                          : output.path;
    if (output.standard())
        ctx.showFileAs(target, output.path);
    outcome.ok = to.empty() ? factory.save(target.c_str(), *model, &ctx)
                            : factory.save(target.c_str(), *model, to.c_str(), &ctx);
    if (outcome.ok && output.standard() && !copyToStandardOutput(target)) {
        ctx.error(msg::CannotWrite + output.path + ": " + std::strerror(errno));
        outcome.ok = false;
    }
    if (!outcome.ok && !ctx.hasErrors())
        ctx.error(msg::CannotWrite + output.path);
    return outcome;
}

int defaultQualityOf(const Arguments& args) {
    if (!args.has("default-quality"))
        return -1;
    const std::string text = args.get("default-quality");
    // Digits only: strtol would also take blanks, a sign and "0x".
    const bool digits = !text.empty() && text.size() <= 3 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    char* end = nullptr;
    const long value = digits ? std::strtol(text.c_str(), &end, 10) : -1;
    if (!digits || value < 0 || value > 93)
        throw UsageError(msg::BadQuality + text + "'");
    return static_cast<int>(value);
}

int runConvert(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string inputPath = args.positional()[0];
    const std::string from = args.get("from");
    std::string to = args.get("to");
    Output output;
    output.path = args.positional()[1];
    // FORMAT@@OUT names the output's format as --to does.
    const cmn::QualifiedPath named(output.path);
    if (named.qualified && !isStandardStream(output.path)) {
        if (to.empty())
            to = named.format;
        output.path = named.file;
    }
    output.defaultQuality = defaultQualityOf(args);
    output.compression = outputCompression(args.get("compress"), output.path, to);
    // Every compressed writer the conversion opens on this thread takes the level.
    const cmn::CompressionLevelScope level(compressionLevelOf(
        args, output.standard() ? output.compression : cmn::compressionOfName(output.path)));
    output.lineWidth = lineWidthOf(args);
    EntryFilter filter = EntryFilter::fromArguments(args);
    output.filter = &filter;
    if (output.standard() && to.empty())
        throw UsageError(msg::StandardOutputNeedsFormat);
    if (output.standard() && args.flag("json"))
        throw UsageError(msg::JsonWithStandardOutput);

    // Standard input: a sequence archive is read as it arrives, anything else through a file.
    Input input;
    input.path = inputPath;
    std::unique_ptr<StandardInput> standardInput;
    if (isStandardStream(inputPath)) {
        standardInput.reset(new StandardInput(ctx));
        input.standard = standardInput.get();
        input.streamed = standardInput->streamFormat(from);
        if (input.streamed.empty())
            input.path = standardInput->spool(from);
    }

    bool chromatogram = false;
    const bool readable = checkReadable(inputPath, ctx);
    const std::string type =
        !readable ? std::string()
        : input.streamed.empty() ? modelClassFor(input.path, args.get("type"), from, &ctx, &chromatogram)
                                 : args.get("type", Velm::SeqModel::className);
    Outcome outcome;
    if (!readable) {
        // Reported by the check.
    } else if (type.empty()) {
        ctx.error(msg::CannotClassify + inputPath + msg::TypeHint);
    } else {
        // Only sequence archives stream; a chromatogram is one sequence and is read whole.
        const char* format = archiveFormatFor(output.path, to);
        outcome = format && type == Velm::SeqModel::className && !chromatogram
                      ? stream(input, output, from, format, ctx)
                      : saveWhole(input, output, type, from, to, format, ctx);
    }

    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "convert");
        json.field("ok", outcome.ok);
        json.field("input", inputPath);
        json.field("output", output.path);
        json.field("class", type);
        if (outcome.format.empty())
            json.key("format").null();
        else
            json.field("format", outcome.format);
        json.field("streamed", outcome.streamed);
        json.field("models", outcome.models);
        json.field("sequences", outcome.sequences);
        if (filter.active())
            json.field("leftOut", filter.leftOut());
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else if (outcome.ok && !output.standard()) {
        out << "wrote " << printable(output.path) << ": " << outcome.sequences
            << (outcome.sequences == 1 ? " sequence" : " sequences") << " from " << printable(inputPath);
        if (filter.leftOut() > 0)
            out << ", " << filter.leftOut() << " left out by length";
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
     "conversion succeeds.\n"
     "IN - reads standard input (its format judged from its first bytes unless --from names\n"
     "it); OUT - writes standard output, in the format --to names, compressed when --compress\n"
     "names how (a file is compressed as its name ends: .gz, .bz2, .xz, .zst; gzip output is\n"
     "BGZF, which every gzip reader reads and 'index' can seek in). Standard input\n"
     "that is not a sequence archive is copied to a temporary file, up to 256 MiB. FASTQ output needs the\n"
     "qualities of every sequence (reads, chromatogram calls) or --default-quality.\n",
     {{"compress", "NAME", "compress standard output (OUT -): gz, bz2, xz or zst"},
      kCompressLevelOption,
      {"type", "CLASS", "open IN as this model class instead of detecting it"},
      {"from", "NAME", "read IN in this format"},
      {"to", "NAME", "write OUT in this format instead of the one its extension names"},
      {"default-quality", "Q", "Phred quality (0-93) for FASTQ output of sequences without qualities"},
      kMinLengthOption, kMaxLengthOption, kReverseComplementOption, kLineWidthOption},
     2,
     2},
    &runConvert};

} // namespace mftool
