// modelfactory type: which model class detection answers for each file.
#include "Commands.h"
#include "FormatNames.h"
#include "InputFiles.h"
#include "Json.h"
#include "Messages.h"
#include "ModelReport.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace mftool {

namespace {

int runType(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const bool byFormat = args.has("format");
    const std::string format = args.get("format");

    struct Answer {
        std::string path;
        std::string type;   ///< "" when unclassified
        std::string format; ///< "" when nothing tells
    };
    std::vector<Answer> answers;
    std::unique_ptr<StandardInput> input;
    for (const std::string& path : args.positional()) {
        Answer answer{path, std::string(), std::string()};
        if (checkReadable(path, ctx)) {
            // Standard input is judged by its first bytes, as detection judges a file.
            std::string file = path;
            if (isStandardStream(path)) {
                if (!input)
                    input.reset(new StandardInput(ctx));
                file = input->headFile();
            }
            // Nothing at all is no kind of model (an empty named file still has its extension).
            if (!isStandardStream(path) || !input->empty()) {
                answer.type = detectedClass(file, format, &ctx);
                answer.format = detectedFormat(file, answer.type, format);
            }
        }
        answers.push_back(answer);
    }
    const bool allClassified = std::none_of(answers.begin(), answers.end(),
                                            [](const Answer& answer) { return answer.type.empty(); });

    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "type");
        json.field("ok", allClassified);
        if (byFormat)
            json.field("format", format);
        json.key("results").beginArray();
        for (const Answer& answer : answers) {
            json.beginObject();
            json.field("path", answer.path);
            json.field("type", answer.type);
            json.field("classified", !answer.type.empty());
            if (answer.format.empty())
                json.key("format").null();
            else
                json.field("format", answer.format);
            json.endObject();
        }
        json.endArray();
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else {
        std::vector<std::string> shown;
        std::size_t width = 0, typeWidth = 0;
        for (const Answer& answer : answers) {
            shown.push_back(printable(answer.path));
            width = std::max(width, shown.back().size());
            typeWidth = std::max(typeWidth, std::string(answer.type.empty() ? msg::Unclassified : answer.type.c_str()).size());
        }
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const std::string type = answers[i].type.empty() ? msg::Unclassified : answers[i].type;
            out << shown[i] << std::string(width - shown[i].size() + 2, ' ') << type
                << std::string(typeWidth - type.size() + 2, ' ')
                << (answers[i].format.empty() ? "-" : printable(answers[i].format)) << '\n';
        }
    }
    return allClassified ? ExitOk : ExitFailed;
}

} // namespace

const Command kTypeCommand = {
    {"type", "PATH...", "Tell which kind of model each file holds.",
     "Prints one line per path: the path, the model class name detection answers (SeqModel,\n"
     "AlignModel, TraceModel, ...) or \"unclassified\", and the format found (GenBank, FASTQ,\n"
     "NEXUS, SCF, ...; - when none tells). Without --format the file's sources, extension and\n"
     "content decide; with --format the files are judged as that format. Exits with 1 when any\n"
     "file is unclassified or cannot be read. PATH - judges standard input by its first bytes.\n",
     {{"format", "NAME", "judge the files as this format (e.g. FASTA, NEXUS, SCF)"}},
     1,
     SIZE_MAX},
    &runType};

} // namespace mftool
