// modelfactory iterate: one line per model as the factory's iterator yields them. Nothing is kept
// between models, so any file size runs in constant memory (JSON output is streamed as well).
#include "Commands.h"
#include "InputFiles.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <typeinfo>
#include <vector>

#include <unistd.h>

namespace mftool {

namespace {

// Lines of output gathered in one buffer and written in large pieces. With a model per short read,
// these lines are much of the command's work: they are put together with plain copies.
class LineBuffer {
public:
    /// A terminal sees each line as it comes, between the messages on stderr (`eachLine`); a pipe
    /// or a file gets large writes.
    LineBuffer(std::ostream& out, bool eachLine) : out_(out), eachLine_(eachLine) {
        buffer_.resize(kSize);
    }
    ~LineBuffer() { flush(); }
    /// Ends a line: written at once when each line is.
    void endLine() {
        if (eachLine_)
            flush();
    }

    /// Room for `size` more bytes.
    void reserve(std::size_t size) {
        if (used_ + size > buffer_.size()) {
            flush();
            if (size > buffer_.size())
                buffer_.resize(size);
        }
    }
    /// `text` left-aligned in `width` columns; a longer text is kept whole. reserve() first.
    void left(const char* text, std::size_t size, std::size_t width) {
        std::memcpy(&buffer_[used_], text, size);
        used_ += size;
        if (size < width) {
            std::memset(&buffer_[used_], ' ', width - size);
            used_ += width - size;
        }
    }
    void left(const char* text, std::size_t width) { left(text, std::strlen(text), width); }
    /// As left(), with a width known when compiling: the padding is one fixed-size store. A text
    /// longer than kDirect is written from where it is, never copied.
    template <std::size_t Width>
    void left(const char* text, std::size_t size) {
        if (size > kDirect) {
            flush();
            out_.write(text, static_cast<std::streamsize>(size));
            return;
        }
        char* d = &buffer_[used_];
        std::memset(d, ' ', Width);
        std::memcpy(d, text, size);
        used_ += size < Width ? Width : size;
    }
    /// `value` right-aligned in `Width` columns. reserve() first.
    template <std::size_t Width>
    void number(std::size_t value) {
        // Digits are written from the last one back, two at a time, in place: no copy of a
        // variable size, half the divisions.
        static const char kPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        std::size_t size = 1;
        for (std::size_t limit = 10; size < 20 && value >= limit; limit *= 10)
            ++size;
        char* d = &buffer_[used_];
        const std::size_t total = size < Width ? Width : size;
        if constexpr (Width > 0)
            std::memset(d, ' ', Width);
        char* p = d + total;
        while (value >= 100) {
            const std::size_t pair = value % 100;
            value /= 100;
            p -= 2;
            p[0] = kPairs[2 * pair];
            p[1] = kPairs[2 * pair + 1];
        }
        if (value >= 10) {
            p -= 2;
            p[0] = kPairs[2 * value];
            p[1] = kPairs[2 * value + 1];
        } else {
            *--p = static_cast<char>('0' + value);
        }
        used_ += total;
    }
    void flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
        used_ = 0;
    }

    static constexpr std::size_t kDirect = 1u << 14;

private:
    static constexpr std::size_t kSize = 1u << 16;
    std::ostream& out_;
    bool eachLine_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

// What a class of models prints: whether its models hold sequences, asked of the first model of
// each class met, and its class column. An iterator yields models of one class, and a cast across
// the libraries costs as much as the rest of a line.
class ModelClasses {
public:
    const Velm::BioModel* of(const Velm::Model& model) {
        const std::type_info* type = &typeid(model);
        if (type != type_) {
            type_ = type;
            holds_ = dynamic_cast<const Velm::BioModel*>(&model) != nullptr;
            const char* name = model.getType();
            column_.assign(name);
            if (column_.size() < 12)
                column_.resize(12, ' ');
            column_ += "  ";
        }
        // Objects of one class are all sequence models or none is.
        return holds_ ? static_cast<const Velm::BioModel*>(&model) : nullptr;
    }
    /// The class name padded to its column, and the gap after it (of the model last given to of()).
    const std::string& column() const { return column_; }

private:
    const std::type_info* type_ = nullptr;
    bool holds_ = false;
    std::string column_;
};

// The molecule type's name, measured once.
std::string_view moleculeName(Velm::Sequence::MoleculeType type) {
    using Type = Velm::Sequence::MoleculeType;
    static const std::string_view names[] = {
        Velm::Sequence::moleculeTypeName(Type::Unknown), Velm::Sequence::moleculeTypeName(Type::DNA),
        Velm::Sequence::moleculeTypeName(Type::RNA), Velm::Sequence::moleculeTypeName(Type::Protein)};
    const std::size_t at = static_cast<std::size_t>(type);
    return at < 4 ? names[at] : Velm::Sequence::moleculeTypeName(type);
}

// "index  class  name  length  molecule", as "%6zu  %-12s  %-24s %9zu  %s".
void printLine(LineBuffer& out, ModelClasses& classes, std::size_t index, const Velm::Model& model) {
    const Velm::BioModel* bio = classes.of(model);
    const Velm::BioModel::SequenceList* sequences = bio ? &bio->sequences() : nullptr;
    const Velm::Sequence* first = sequences && !sequences->empty() ? sequences->front().get() : nullptr;
    // Names are escaped only when they hold something to escape: the common case stays a copy.
    std::string escaped;
    const std::string* name = first ? &first->name() : nullptr;
    if (name && !isPlainAscii(*name)) {
        escaped = printable(*name);
        name = &escaped;
    }
    const std::string& column = classes.column();
    // Numbers take at most 20 digits; the fixed texts are short.
    out.reserve(128 + column.size() + (name && name->size() <= LineBuffer::kDirect ? name->size() : 0));
    out.number<6>(index);
    out.left("  ", 2, 2);
    out.left(column.data(), column.size(), 0);
    if (!first) {
        out.left(bio ? "(empty)\n" : "(no sequences)\n", 0);
        return;
    }
    out.left<24>(name->data(), name->size());
    out.left(" ", 1, 1);
    out.number<9>(first->length());
    out.left("  ", 2, 2);
    const std::string_view molecule = moleculeName(first->moleculeType());
    out.left(molecule.data(), molecule.size(), 0);
    if (sequences->size() > 1) {
        out.left("  (+", 4, 4);
        out.number<0>(sequences->size() - 1);
        out.left(" more sequences)", 0);
    }
    out.left("\n", 1, 1);
}

std::size_t errorCount(const ToolContext& ctx) {
    return static_cast<std::size_t>(std::count_if(ctx.reports().begin(), ctx.reports().end(), [](const auto& report) {
        return report.severity == cmn::OpContext::Severity::Error;
    }));
}

// `index` counts the models of `path`, the file the model came from.
void writeModel(JsonWriter& json, std::size_t index, const Velm::Model& model, const std::string& path) {
    json.beginObject();
    json.field("index", index);
    json.field("path", path);
    json.field("class", model.getType());
    json.field("url", model.url());
    json.field("encoding", model.encoding());
    if (auto* bio = dynamic_cast<const Velm::BioModel*>(&model)) {
        json.field("sequenceCount", bio->sequences().size());
        json.key("sequences").beginArray();
        for (const auto& sequence : bio->sequences()) {
            json.beginObject();
            json.field("name", sequence->name());
            json.field("length", sequence->length());
            json.field("molecule", Velm::Sequence::moleculeTypeName(sequence->moleculeType()));
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
}

// Iterates one file into `json` (an open "models" array) or `text`; false when it could not be
// iterated (errors reported during the iteration are counted by the caller).
// Every failure goes to `ctx`, exceptions included, so the next file is still read and the JSON
// document is still closed.
bool iterateOne(const std::string& path, const Arguments& args, ToolContext& ctx, bool json,
                JsonWriter& writer, LineBuffer& text, std::unique_ptr<StandardInput>& input,
                std::size_t& count) {
    if (!checkReadable(path, ctx))
        return false;
    const std::string format = args.get("format");
    const std::string qualifier = args.get("qualifier");
    ModelClasses classes;
    const std::size_t errorsBefore = errorCount(ctx);
    bool opened = false;
    std::size_t index = 0;
    try {
        boost::shared_ptr<Velm::ModelIter> iterator;
        if (isStandardStream(path)) {
            if (input) {
                ctx.error(msg::StandardInputTwice);
                return false;
            }
            // A sequence archive is read as it arrives; anything else through a file.
            input.reset(new StandardInput(ctx));
            const std::string streamed = input->streamFormat(format);
            if (!streamed.empty())
                iterator.reset(new Ovik::SALArchiveModelIter(input->archive(streamed, &ctx), path, &ctx));
            else
                iterator = Ovik::GetModelFactory().iterate(input->spool(format).c_str(), qualifier.c_str(),
                                                           &ctx, format);
        } else {
            iterator = Ovik::GetModelFactory().iterate(path.c_str(), qualifier.c_str(), &ctx, format);
        }
        opened = static_cast<bool>(iterator);
        while (iterator) {
            boost::shared_ptr<Velm::Model> model = iterator->next();
            if (!model)
                break;
            ++index;
            ++count;
            // Output that no longer arrives ends the work (the failure is reported on exit).
            if (standardOutputError() != 0)
                break;
            if (json) {
                writeModel(writer, index, *model, path);
                continue;
            }
            printLine(text, classes, index, *model);
            text.endLine();
        }
    } catch (const std::exception& e) {
        ctx.error(e.what());
    }
    text.flush();
    if (!opened && errorCount(ctx) == errorsBefore)
        ctx.error(msg::NoModels + path);
    return opened;
}

int runIterate(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::vector<std::string>& paths = args.positional();
    const std::string format = args.get("format");
    const bool json = args.flag("json");

    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "iterate");
        if (paths.size() == 1)
            writer.field("path", paths.front());
        if (!format.empty())
            writer.field("format", format);
        writer.key("models").beginArray();
    }

    std::size_t count = 0;
    LineBuffer text(out, ::isatty(STDOUT_FILENO) == 1);
    std::unique_ptr<StandardInput> input;
    struct FileResult {
        std::string path;
        std::size_t count;
        bool ok;
    };
    std::vector<FileResult> files;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        // Several files: each under a header, as head(1) shows them.
        if (!json && paths.size() > 1) {
            const std::string header = (i == 0 ? "==> " : "\n==> ") + printable(path) + " <==\n";
            text.reserve(header.size());
            text.left(header.data(), header.size(), 0);
            // Out before the file's own messages on stderr, so that both read in order.
            text.flush();
            out.flush();
        }
        const std::size_t errorsBefore = errorCount(ctx);
        const std::size_t before = count;
        const bool ok = iterateOne(path, args, ctx, json, writer, text, input, count) &&
                        errorCount(ctx) == errorsBefore;
        files.push_back({path, count - before, ok});
    }
    text.flush();
    const bool ok = std::all_of(files.begin(), files.end(), [](const FileResult& file) { return file.ok; });

    if (json) {
        writer.endArray();
        writer.field("count", count);
        writer.field("ok", ok);
        if (paths.size() > 1) {
            writer.key("files").beginArray();
            for (const FileResult& file : files) {
                writer.beginObject();
                writer.field("path", file.path);
                writer.field("count", file.count);
                writer.field("ok", file.ok);
                writer.endObject();
            }
            writer.endArray();
        }
        ctx.writeJson(writer);
        writer.endObject();
        writer.finish();
    }
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kIterateCommand = {
    {"iterate", "PATH...", "List the models of files one at a time, as the factory yields them.",
     "Prints one line per model: its number, class, and its first sequence's name, length and\n"
     "molecule type; with several files, each file's lines follow a line \"==> PATH <==\". Models\n"
     "are read one at a time and dropped, so files of any size run in constant memory. A file\n"
     "with no entries is not an error; a file that cannot be read, and an iteration that stops\n"
     "on an error, are (exit 1, after the models read so far; the other files are still read).\n"
     "With --json every model names its file, and with several files \"files\" gives each\n"
     "file's count and outcome. PATH - reads standard input (its format is judged from its\n"
     "first bytes unless --format names it).\n",
     {{"format", "NAME", "read the file in this format"},
      {"qualifier", "Q", "passed to the format readers untouched"}},
     1,
     SIZE_MAX},
    &runIterate};

} // namespace mftool
