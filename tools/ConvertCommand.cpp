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
#include "OutputNames.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>
#include <trace/TraceFile.h>

#include <boost/make_shared.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <typeinfo>
#include <utility>

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
    // An iterator yields models of one class: the cast across the libraries is made once a class,
    // not once a model (a model a read).
    const std::type_info* lastClass = nullptr;
    bool holdsSequences = false;
    while (boost::shared_ptr<Velm::Model> model = iterator->next()) {
        ++outcome.models;
        const std::type_info& modelClass = typeid(*model);
        if (&modelClass != lastClass) {
            lastClass = &modelClass;
            holdsSequences = dynamic_cast<Velm::BioModel*>(model.get()) != nullptr;
        }
        if (!holdsSequences)
            continue;
        auto* bio = static_cast<Velm::BioModel*>(model.get());
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

// A chromatogram going to an archive format: only its calls, their confidences and the first
// line of its comments (the description) are written, so neither its samples nor the rest of its
// comments are decoded. False, with nothing written, when
// the file is not read that way: an experiment file outside its own extension opens as a sequence
// archive, and a failure is left to the whole reading, which says why.
bool saveCalls(const Input& input, const Output& output, const char* format, Outcome& outcome,
               ToolContext& ctx) {
    boost::shared_ptr<Velm::TraceData> trace;
    try {
        trace = Ovik::TraceFile().read(input.path.c_str(), nullptr,
                                       Ovik::TraceFile::Calls | Ovik::TraceFile::CommentTitle);
    } catch (const std::exception&) {
        return false;
    }
    if (!trace || trace->formatName() == "exp")
        return false;
    boost::shared_ptr<Velm::Sequence> sequence = Velm::NASequence::create(trace);
    sequence->setSource(input.path);
    outcome.format = format;
    outcome.models = 1;
    ArchiveOutput archive(output, outcome, ctx);
    archive.append(*sequence);
    outcome.ok = archive.close(input);
    return true;
}

// A failure the library let through as an exception, named by the input (which the library's
// own messages mostly name already).
std::string namedFailure(const std::string& input, const std::string& what) {
    return what.find(input) != std::string::npos ? what : input + ": " + what;
}

// One input converted to one output, and the model class it was read as.
struct Conversion {
    Outcome outcome;
    std::string type;
};

Conversion convertOne(const Input& input, const std::string& inputPath, const Output& output,
                      const Arguments& args, const std::string& from, const std::string& to,
                      ToolContext& ctx) {
    Conversion result;
    bool chromatogram = false;
    const bool readable = checkReadable(inputPath, ctx);
    result.type = !readable ? std::string()
                  : input.streamed.empty()
                      ? modelClassFor(input.path, args.get("type"), from, &ctx, &chromatogram)
                      : args.get("type", Velm::SeqModel::className);
    if (!readable)
        return result; // reported by the check
    if (result.type.empty()) {
        ctx.error(msg::CannotClassify + inputPath + msg::TypeHint);
        return result;
    }
    // Only sequence archives stream; a chromatogram is one sequence and is read whole.
    const char* format = archiveFormatFor(output.path, to);
    if (format && result.type == Velm::SeqModel::className && !chromatogram) {
        result.outcome = stream(input, output, from, format, ctx);
        return result;
    }
    const bool plainChromatogram = chromatogram && !input.standard && from.empty() && !args.has("type") &&
                                   !cmn::QualifiedPath(input.path).qualified;
    if (plainChromatogram && format && !holdsAlignments(format) &&
        saveCalls(input, output, format, result.outcome, ctx))
        return result;
    result.outcome = saveWhole(input, output, result.type, from, to, format, ctx);
    return result;
}

// The options of the output that every form of the command shares.
// The output at `output.path` settled: FORMAT@@OUT names its format as --to does, its compression
// comes from --compress or its name, and standard output needs a format and takes no JSON.
// Returns the compression level asked for (checked against the output's compression).
int settleOutput(Output& output, std::string& to, const Arguments& args) {
    const cmn::QualifiedPath named(output.path);
    if (named.qualified && !isStandardStream(output.path)) {
        if (to.empty())
            to = named.format;
        output.path = named.file;
    }
    output.compression = outputCompression(args.get("compress"), output.path, to);
    const int level = compressionLevelOf(
        args, output.standard() ? output.compression : cmn::compressionOfName(output.path));
    if (output.standard() && to.empty())
        throw UsageError(msg::StandardOutputNeedsFormat);
    if (output.standard() && args.flag("json"))
        throw UsageError(msg::JsonWithStandardOutput);
    return level;
}

Output outputOptions(const Arguments& args, EntryFilter& filter) {
    Output output;
    output.defaultQuality = defaultQualityOf(args);
    output.lineWidth = lineWidthOf(args);
    output.filter = &filter;
    return output;
}

void writeResultJson(JsonWriter& json, const std::string& inputPath, const Output& output,
                     const Conversion& conversion, const EntryFilter& filter) {
    const Outcome& outcome = conversion.outcome;
    json.field("ok", outcome.ok);
    json.field("input", inputPath);
    json.field("output", output.path);
    json.field("class", conversion.type);
    if (outcome.format.empty())
        json.key("format").null();
    else
        json.field("format", outcome.format);
    json.field("streamed", outcome.streamed);
    json.field("models", outcome.models);
    json.field("sequences", outcome.sequences);
    if (filter.active())
        json.field("leftOut", filter.leftOut());
}

void writeResultText(std::ostream& out, const std::string& inputPath, const Output& output,
                     const Conversion& conversion, const EntryFilter& filter) {
    const Outcome& outcome = conversion.outcome;
    out << "wrote " << printable(output.path) << ": " << outcome.sequences
        << (outcome.sequences == 1 ? " sequence" : " sequences") << " from " << printable(inputPath);
    if (filter.leftOut() > 0)
        out << ", " << filter.leftOut() << " left out by length";
    if (outcome.streamed)
        out << " (" << outcome.format << ", streamed entry by entry)\n";
    else if (!outcome.format.empty())
        out << " (" << conversion.type << " saved as " << outcome.format << ")\n";
    else
        out << " (" << conversion.type << " saved by the output's extension)\n";
}

int runConvertToFolder(const Arguments& args, ToolContext& ctx, std::ostream& out);
int runConvertToOne(const Arguments& args, ToolContext& ctx, std::ostream& out);

int runConvert(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    if (args.has("output") && args.has("output-dir"))
        throw UsageError(msg::OutputAndOutputDir);
    if (args.has("output-dir"))
        return runConvertToFolder(args, ctx, out);
    if (args.has("output"))
        return runConvertToOne(args, ctx, out);
    if (args.positional().size() < 2)
        throw UsageError(msg::MissingArgument + std::string("IN OUT"));
    if (args.positional().size() > 2)
        throw UsageError(msg::UnexpectedArgument + args.positional()[2] + "'" + msg::ManyInputsNeedAnOutput);
    const std::string inputPath = args.positional()[0];
    const std::string from = args.get("from");
    std::string to = args.get("to");
    EntryFilter filter = EntryFilter::fromArguments(args);
    Output output = outputOptions(args, filter);
    output.path = args.positional()[1];
    // Every compressed writer the conversion opens on this thread takes the level.
    const cmn::CompressionLevelScope level(settleOutput(output, to, args));

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

    const Conversion conversion = convertOne(input, inputPath, output, args, from, to, ctx);
    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "convert");
        writeResultJson(json, inputPath, output, conversion, filter);
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else if (conversion.outcome.ok && !output.standard()) {
        writeResultText(out, inputPath, output, conversion, filter);
    }
    return conversion.outcome.ok ? ExitOk : ExitFailed;
}

// The identity of an existing file; {0, 0} when there is none.
std::pair<dev_t, ino_t> fileIdentity(const std::string& path) {
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0)
        return {0, 0};
    return {status.st_dev, status.st_ino};
}

// Many inputs, each converted into a file of its own in the folder, named by its stem and the
// format's extension. The files are taken one after the other; one that fails is reported and the
// rest are still converted. An output is never written twice in one call (two inputs of the same
// stem: the second is refused), nor over any of the inputs.
int runConvertToFolder(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string folder = args.get("output-dir");
    const std::string to = args.get("to");
    if (folder.empty())
        throw UsageError(msg::OutputDirNeedsFolder);
    if (to.empty())
        throw UsageError(msg::OutputDirNeedsFormat);
    const std::string extension = extensionForFormat(to);
    if (extension.empty())
        throw UsageError(msg::NoExtensionForFormat + to + "'");
    const std::vector<std::string>& inputs = args.positional();
    if (inputs.empty())
        throw UsageError(msg::MissingArgument + std::string("IN..."));
    for (const std::string& path : inputs)
        if (isStandardStream(path))
            throw UsageError(msg::StandardInputAmongMany);
    // Compressed outputs are named so: the archive writer compresses a file by its name.
    const cmn::Compression compression = outputCompression(args.get("compress"), "-", to);
    const cmn::CompressionLevelScope level(compressionLevelOf(args, compression));
    const std::string suffix = "." + extension + compressionExtension(compression);
    const bool json = args.flag("json");
    // Mistakes in the options are found before any file is read.
    {
        EntryFilter filter = EntryFilter::fromArguments(args);
        outputOptions(args, filter);
    }

    // One message for a folder that cannot take the outputs, rather than one for every file.
    struct stat status = {};
    int folderError = ::stat(folder.c_str(), &status) != 0 ? errno : !S_ISDIR(status.st_mode) ? ENOTDIR : 0;
    if (folderError == 0 && ::access(folder.c_str(), W_OK | X_OK) != 0)
        folderError = errno;
    if (folderError != 0) {
        ctx.error(msg::CannotWriteInto + folder + ": " + std::strerror(folderError));
        if (json) {
            JsonWriter writer(out);
            writer.beginObject();
            writer.field("command", "convert");
            writer.field("outputDir", folder);
            writer.key("results").beginArray();
            finishManyFilesJson(writer, inputs.size(), inputs.size(), ctx);
        }
        return ExitFailed;
    }

    std::set<std::pair<dev_t, ino_t>> inputFiles;
    for (const std::string& path : inputs) {
        const auto identity = fileIdentity(cmn::QualifiedPath(path).file);
        if (identity.second != 0)
            inputFiles.insert(identity);
    }

    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "convert");
        writer.field("outputDir", folder);
        writer.key("results").beginArray();
    }
    std::map<std::string, std::string> takenBy; // output -> the input it is written from
    std::size_t failed = 0;
    for (const std::string& inputPath : inputs) {
        ToolContext fileCtx(std::cerr);
        EntryFilter filter = EntryFilter::fromArguments(args);
        Output output = outputOptions(args, filter);
        output.path = pathInFolder(folder, stemOf(cmn::QualifiedPath(inputPath).file) + suffix);
        Input input;
        input.path = inputPath;
        Conversion conversion;
        const auto taken = takenBy.emplace(output.path, inputPath);
        if (!taken.second) {
            fileCtx.error(inputPath + ": " + msg::OutputAlreadyWritten + output.path + msg::IsWrittenFrom +
                          taken.first->second + msg::SameStemHint);
        } else if (inputFiles.count(fileIdentity(output.path))) {
            fileCtx.error(inputPath + ": " + msg::OutputIsAnInput + output.path);
        } else {
            try {
                conversion = convertOne(input, inputPath, output, args, args.get("from"), to, fileCtx);
            } catch (const UsageError&) {
                throw;
            } catch (const std::exception& e) {
                // The library lets some failures through as exceptions: this input's output is
                // left as it was, and the next input is converted.
                fileCtx.error(namedFailure(inputPath, e.what()));
                conversion.outcome.ok = false;
            }
        }
        failed += !conversion.outcome.ok;
        if (json) {
            writer.beginObject();
            writeResultJson(writer, inputPath, output, conversion, filter);
            fileCtx.writeJson(writer);
            writer.endObject();
        } else if (conversion.outcome.ok) {
            writeResultText(out, inputPath, output, conversion, filter);
        }
    }
    if (failed > 0 && inputs.size() > 1)
        ctx.error(std::to_string(failed) + " of " + std::to_string(inputs.size()) + msg::InputsNotConverted);
    if (json)
        finishManyFilesJson(writer, inputs.size(), failed, ctx);
    return failed == 0 ? ExitOk : ExitFailed;
}

// Every sequence of one input file, read whole, so that an input that fails part way adds
// nothing to the output; a chromatogram's calls without its samples. False (reported) when the
// input cannot be read.
bool readSequences(const std::string& path, const Arguments& args, const std::string& from,
                   ToolContext& ctx, std::string& type, std::vector<boost::shared_ptr<Velm::Sequence>>& sequences) {
    bool chromatogram = false;
    if (!checkReadable(path, ctx))
        return false;
    type = modelClassFor(path, args.get("type"), from, &ctx, &chromatogram);
    if (type.empty()) {
        ctx.error(msg::CannotClassify + path + msg::TypeHint);
        return false;
    }
    if (chromatogram && from.empty() && !args.has("type") && !cmn::QualifiedPath(path).qualified) {
        try {
            boost::shared_ptr<Velm::TraceData> trace = Ovik::TraceFile().read(
                path.c_str(), nullptr, Ovik::TraceFile::Calls | Ovik::TraceFile::CommentTitle);
            if (trace && trace->formatName() != "exp") {
                sequences.push_back(Velm::NASequence::create(trace));
                sequences.back()->setSource(path);
                return true;
            }
        } catch (const std::exception&) {
            // The whole reading below says why.
        }
    }
    boost::shared_ptr<Velm::Model> model = openModel(path, type, from, &ctx);
    auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
    if (ctx.hasErrors())
        return false;
    if (!bio || bio->sequences().empty()) {
        ctx.error(msg::NothingToConvert + path);
        return false;
    }
    sequences.assign(bio->sequences().begin(), bio->sequences().end());
    return true;
}

// Many inputs into one output (a file or standard output) in a sequence format, one after the
// other in the order given: an input that cannot be read is reported and adds nothing, the rest
// are still written. The output is put in place when at least one sequence was written.
int runConvertToOne(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::vector<std::string>& inputs = args.positional();
    if (inputs.empty())
        throw UsageError(msg::MissingArgument + std::string("IN..."));
    std::string to = args.get("to");
    const std::string from = args.get("from");
    EntryFilter filter = EntryFilter::fromArguments(args);
    Output output = outputOptions(args, filter);
    output.path = args.get("output");
    if (output.path.empty())
        throw UsageError(msg::OutputNeedsValue);
    // Every compressed writer the conversion opens on this thread takes the level.
    const cmn::CompressionLevelScope level(settleOutput(output, to, args));
    const char* format = archiveFormatFor(output.path, to);
    if (!format || holdsAlignments(format))
        throw UsageError(msg::OutputNeedsSequenceFormat + (to.empty() ? output.path : to) + "'");
    for (const std::string& path : inputs)
        if (isStandardStream(path))
            throw UsageError(msg::StandardInputAmongMany);

    const bool json = args.flag("json");
    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "convert");
        writer.field("output", output.path);
        writer.key("results").beginArray();
    }
    Outcome total;
    total.format = format;
    ArchiveOutput archive(output, total, ctx);
    std::size_t failed = 0;
    bool aborted = false;
    for (const std::string& inputPath : inputs) {
        ToolContext fileCtx(std::cerr);
        std::string type;
        std::vector<boost::shared_ptr<Velm::Sequence>> sequences;
        bool ok = false;
        try {
            ok = readSequences(inputPath, args, from, fileCtx, type, sequences);
        } catch (const UsageError&) {
            throw;
        } catch (const std::exception& e) {
            fileCtx.error(namedFailure(inputPath, e.what()));
        }
        const std::size_t before = total.sequences;
        const std::size_t leftOutBefore = filter.leftOut();
        try {
            for (std::size_t i = 0; ok && i < sequences.size(); ++i)
                archive.append(*sequences[i]);
        } catch (const std::exception& e) {
            // The writer refused a sequence (FASTQ output of one without qualities, ...): the
            // output would end in the middle of this input, so none of it is put in place.
            fileCtx.error(namedFailure(inputPath, e.what()));
            ok = false;
            aborted = true;
        }
        failed += !ok;
        if (json) {
            writer.beginObject();
            writer.field("ok", ok);
            writer.field("input", inputPath);
            writer.field("class", type);
            writer.field("sequences", total.sequences - before);
            if (filter.active())
                writer.field("leftOut", filter.leftOut() - leftOutBefore);
            fileCtx.writeJson(writer);
            writer.endObject();
        }
        if (aborted)
            break;
    }
    Input last;
    last.path = inputs.back();
    // Nothing read at all leaves the target as it was.
    const bool written = !aborted && failed < inputs.size() && archive.close(last);
    if (!written)
        archive.discard();
    if (aborted)
        ctx.error(msg::CannotWrite + output.path + msg::LeftAsItWas);
    else if (failed > 0 && inputs.size() > 1)
        ctx.error(std::to_string(failed) + " of " + std::to_string(inputs.size()) + msg::InputsNotConverted);
    if (json) {
        finishManyFilesJson(writer, inputs.size(), failed, ctx);
    } else if (written && !output.standard()) {
        out << "wrote " << printable(output.path) << ": " << total.sequences
            << (total.sequences == 1 ? " sequence" : " sequences") << " from " << (inputs.size() - failed)
            << " of " << inputs.size() << " inputs";
        if (filter.leftOut() > 0)
            out << ", " << filter.leftOut() << " left out by length";
        out << " (" << total.format << ")\n";
    }
    return failed == 0 && written ? ExitOk : ExitFailed;
}

} // namespace

const Command kConvertCommand = {
    {"convert", "IN OUT | IN... --output-dir DIR | IN... --output OUT", "Open files and save them in another format.",
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
     "qualities of every sequence (reads, chromatogram calls) or --default-quality.\n"
     "Many inputs in one call: --output-dir DIR writes each IN to DIR/NAME.EXT, NAME being IN's\n"
     "file name less its last extension (and a compression one: run/310.ab1.gz gives 310) and\n"
     "EXT the one of the format --to names (fa, fq, gb, embl, ...; --compress gz adds .gz); DIR\n"
     "must exist. --output OUT writes the sequences of every IN, in the order given, to the one\n"
     "file OUT (or standard output, -) in a sequence format. The inputs are read one after the\n"
     "other; one that cannot be read or written is\n"
     "reported (PATH: reason) and the rest are still converted, the exit status then being 1.\n"
     "No output is written twice in one call: of two inputs of the same NAME the second is\n"
     "refused, as is an output that would replace one of the inputs. A chromatogram going to a\n"
     "sequence format is read without its samples, which such formats do not hold.\n",
     {{"compress", "NAME", "compress standard output (OUT -), or the files of --output-dir: gz, bz2, xz or zst"},
      kCompressLevelOption,
      {"type", "CLASS", "open IN as this model class instead of detecting it"},
      {"from", "NAME", "read IN in this format"},
      {"to", "NAME", "write OUT in this format instead of the one its extension names"},
      {"output-dir", "DIR", "write each IN to DIR/NAME.EXT, in the format --to names"},
      {"output", "OUT", "write the sequences of every IN to OUT (- for standard output)"},
      {"default-quality", "Q", "Phred quality (0-93) for FASTQ output of sequences without qualities"},
      kMinLengthOption, kMaxLengthOption, kReverseComplementOption, kLineWidthOption},
     1,
     SIZE_MAX},
    &runConvert};

} // namespace mftool
