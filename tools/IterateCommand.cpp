// modelfactory iterate: one line per model as the factory's iterator yields them. Nothing is kept
// between models, so any file size runs in constant memory (JSON output is streamed as well).
#include "Commands.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"

#include <factory/ModelFactory.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <exception>

#include <unistd.h>

namespace mftool {

namespace {

// Appends `text` padded with spaces to `width` (left-aligned), or right-aligned when `right`.
void appendPadded(std::string& line, const char* text, std::size_t size, std::size_t width, bool right) {
    const std::size_t pad = size < width ? width - size : 0;
    if (right)
        line.append(pad, ' ');
    line.append(text, size);
    if (!right)
        line.append(pad, ' ');
}

void appendNumber(std::string& line, std::size_t value, std::size_t width) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    appendPadded(line, p, static_cast<std::size_t>(end - p), width, true);
}

// One line per model, appended to `line`, which is written out in blocks: on a million short reads
// the formatting and the stream calls were a third of the command's time.
void printLine(std::string& line, std::size_t index, const Velm::Model& model) {
    appendNumber(line, index, 6);
    line += "  ";
    const char* type = model.getType();
    appendPadded(line, type, std::strlen(type), 12, false);
    line += "  ";
    auto* bio = dynamic_cast<const Velm::BioModel*>(&model);
    const auto* sequences = bio ? &bio->sequences() : nullptr;
    if (!sequences) {
        line += "(no sequences)\n";
    } else if (sequences->empty()) {
        line += "(empty)\n";
    } else {
        const Velm::Sequence& first = *sequences->front();
        // Names are escaped only when they hold something to escape: the common case stays a copy.
        const std::string& name = first.name();
        if (isPlainAscii(name)) {
            appendPadded(line, name.data(), name.size(), 24, false);
        } else {
            const std::string shown = printable(name);
            appendPadded(line, shown.data(), shown.size(), 24, false);
        }
        line += ' ';
        appendNumber(line, first.length(), 9);
        line += "  ";
        line += Velm::Sequence::moleculeTypeName(first.moleculeType());
        if (sequences->size() > 1) {
            line += "  (+";
            appendNumber(line, sequences->size() - 1, 0);
            line += " more sequences)";
        }
        line += '\n';
    }
}

void flushLines(std::ostream& out, std::string& lines) {
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    lines.clear();
}

void writeModel(JsonWriter& json, std::size_t index, const Velm::Model& model) {
    json.beginObject();
    json.field("index", index);
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

int runIterate(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string path = args.positional().front();
    const std::string format = args.get("format");
    const std::string qualifier = args.get("qualifier");
    const bool json = args.flag("json");

    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "iterate");
        writer.field("path", path);
        if (!format.empty())
            writer.field("format", format);
        writer.key("models").beginArray();
    }

    std::size_t count = 0;
    std::string lines; // text output waiting to be written
    // A terminal sees each line as it comes, between the messages on stderr; a pipe or file is
    // block-buffered by the stream anyway, so lines are gathered into larger writes.
    const std::size_t flushAt = ::isatty(STDOUT_FILENO) ? 0 : 64 * 1024;
    bool opened = false;
    try {
        boost::shared_ptr<Velm::ModelIter> iterator =
            Ovik::GetModelFactory().iterate(path.c_str(), qualifier.c_str(), &ctx, format);
        opened = static_cast<bool>(iterator);
        while (iterator) {
            boost::shared_ptr<Velm::Model> model = iterator->next();
            if (!model)
                break;
            ++count;
            if (json)
                writeModel(writer, count, *model);
            else {
                printLine(lines, count, *model);
                if (lines.size() >= flushAt)
                    flushLines(out, lines);
            }
        }
    } catch (const std::exception& e) {
        // Reported here rather than by the caller so that the JSON document is still closed.
        ctx.error(e.what());
    }
    flushLines(out, lines);
    if (!opened && !ctx.hasErrors())
        ctx.error(msg::NoModels + path);
    const bool ok = opened && !ctx.hasErrors();

    if (json) {
        writer.endArray();
        writer.field("count", count);
        writer.field("ok", ok);
        ctx.writeJson(writer);
        writer.endObject();
        writer.finish();
    }
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kIterateCommand = {
    {"iterate", "PATH", "List the models of a file one at a time, as the factory yields them.",
     "Prints one line per model: its number, class, and its first sequence's name, length and\n"
     "molecule type. Models are read one at a time and dropped, so files of any size run in\n"
     "constant memory. A file with no entries is not an error; an iteration that stops on an\n"
     "error is (exit 1, after the models read so far).\n",
     {{"format", "NAME", "read the file in this format"},
      {"qualifier", "Q", "passed to the format readers untouched"}},
     1,
     1},
    &runIterate};

} // namespace mftool
