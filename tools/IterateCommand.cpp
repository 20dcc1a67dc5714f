// modelfactory iterate: one line per model as the factory's iterator yields them. Nothing is kept
// between models, so any file size runs in constant memory (JSON output is streamed as well).
#include "Commands.h"
#include "Json.h"
#include "Messages.h"
#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

namespace mftool {

namespace {

void printLine(std::ostream& out, std::size_t index, const Velm::Model& model) {
    char head[64];
    std::snprintf(head, sizeof head, "%6zu  %-12s", index, model.getType());
    out << head << "  ";
    auto* bio = dynamic_cast<const Velm::BioModel*>(&model);
    if (!bio) {
        out << "(no sequences)\n";
        return;
    }
    const auto& sequences = bio->sequences();
    if (sequences.empty()) {
        out << "(empty)\n";
        return;
    }
    const Velm::Sequence& first = *sequences.front();
    char line[96];
    std::snprintf(line, sizeof line, "%-24s %9zu  %s", first.name().c_str(), first.length(),
                  Velm::Sequence::moleculeTypeName(first.moleculeType()));
    out << line;
    if (sequences.size() > 1)
        out << "  (+" << sequences.size() - 1 << " more sequences)";
    out << '\n';
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
    bool opened = false;
    std::unique_ptr<StandardInput> input;
    try {
        boost::shared_ptr<Velm::ModelIter> iterator;
        if (isStandardStream(path)) {
            // A sequence archive is read as it arrives; anything else through a file.
            input.reset(new StandardInput);
            const std::string streamed = input->streamFormat(format);
            if (!streamed.empty())
                iterator.reset(new Ovik::SALArchiveModelIter(input->archive(streamed, &ctx), path, &ctx));
            else
                iterator = Ovik::GetModelFactory().iterate(input->spool().c_str(), qualifier.c_str(),
                                                           &ctx, format);
        } else {
            iterator = Ovik::GetModelFactory().iterate(path.c_str(), qualifier.c_str(), &ctx, format);
        }
        opened = static_cast<bool>(iterator);
        while (iterator) {
            boost::shared_ptr<Velm::Model> model = iterator->next();
            if (!model)
                break;
            ++count;
            if (json)
                writeModel(writer, count, *model);
            else
                printLine(out, count, *model);
        }
    } catch (const std::exception& e) {
        // Reported here rather than by the caller so that the JSON document is still closed.
        ctx.error(e.what());
    }
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
     "error is (exit 1, after the models read so far). PATH - reads standard input (its format\n"
     "is judged from its first bytes unless --format names it).\n",
     {{"format", "NAME", "read the file in this format"},
      {"qualifier", "Q", "passed to the format readers untouched"}},
     1,
     1},
    &runIterate};

} // namespace mftool
