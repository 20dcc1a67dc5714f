// modelfactory type: which model class detection answers for each file.
#include "Commands.h"
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

    std::vector<std::pair<std::string, std::string>> answers;
    std::unique_ptr<StandardInput> input;
    for (const std::string& path : args.positional()) {
        // Standard input is judged by its first bytes, as detection judges a file.
        std::string file = path;
        if (isStandardStream(path)) {
            if (!input)
                input.reset(new StandardInput(ctx));
            // Nothing at all is no kind of model (an empty named file still has its extension).
            if (input->empty()) {
                answers.emplace_back(path, std::string());
                continue;
            }
            file = input->headFile();
        }
        answers.emplace_back(path, detectedClass(file, format, &ctx));
    }
    const bool allClassified = std::none_of(answers.begin(), answers.end(),
                                            [](const auto& answer) { return answer.second.empty(); });

    if (args.flag("json")) {
        JsonWriter json(out);
        json.beginObject();
        json.field("command", "type");
        json.field("ok", allClassified);
        if (byFormat)
            json.field("format", format);
        json.key("results").beginArray();
        for (const auto& answer : answers) {
            json.beginObject();
            json.field("path", answer.first);
            json.field("type", answer.second);
            json.field("classified", !answer.second.empty());
            json.endObject();
        }
        json.endArray();
        ctx.writeJson(json);
        json.endObject();
        json.finish();
    } else {
        std::vector<std::string> shown;
        std::size_t width = 0;
        for (const auto& answer : answers) {
            shown.push_back(printable(answer.first));
            width = std::max(width, shown.back().size());
        }
        for (std::size_t i = 0; i < answers.size(); ++i)
            out << shown[i] << std::string(width - shown[i].size() + 2, ' ')
                << (answers[i].second.empty() ? msg::Unclassified : answers[i].second) << '\n';
    }
    return allClassified ? ExitOk : ExitFailed;
}

} // namespace

const Command kTypeCommand = {
    {"type", "PATH...", "Tell which kind of model each file holds.",
     "Prints one line per path: the path and the model class name detection answers\n"
     "(SeqModel, AlignModel, TraceModel, ...), or \"unclassified\". Without --format the file's\n"
     "sources, extension and content decide; with --format the files are judged as that format.\n"
     "Exits with 1 when any file is unclassified. PATH - judges standard input by its first bytes.\n",
     {{"format", "NAME", "judge the files as this format (e.g. FASTA, NEXUS, SCF)"}},
     1,
     SIZE_MAX},
    &runType};

} // namespace mftool
