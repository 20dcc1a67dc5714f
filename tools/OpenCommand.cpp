// modelfactory open: open a file as a model and show what it holds.
#include "Commands.h"
#include "Json.h"
#include "Messages.h"
#include "ModelReport.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <cstdint>
#include <memory>

namespace mftool {

namespace {

int runOpen(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string path = args.positional().front();
    const std::string format = args.get("format");
    const bool json = args.flag("json");
    const bool all = args.flag("all");

    // A sequence archive on standard input is read as it arrives; anything else through a file,
    // so that every reader can take it.
    std::unique_ptr<StandardInput> input;
    std::string file = path;
    std::string streamed;
    if (isStandardStream(path)) {
        input.reset(new StandardInput(ctx));
        const std::string named = args.get("type");
        if (named.empty() || named == Velm::SeqModel::className)
            streamed = input->streamFormat(format);
        if (streamed.empty())
            file = input->spool(format);
    }
    const std::string type =
        streamed.empty() ? modelClassFor(file, args.get("type"), format, &ctx) : Velm::SeqModel::className;
    boost::shared_ptr<Velm::Model> model;
    if (type.empty())
        ctx.error(msg::CannotClassify + path + msg::TypeHint);
    else if (!streamed.empty())
        model = input->readModel(streamed, &ctx);
    else
        model = openModel(file, type, format, &ctx);
    if (model && input)
        model->setURL(path);
    const bool loaded = model && !model->empty();
    if (!loaded && !type.empty() && !ctx.hasErrors())
        ctx.error(msg::NothingOpened + path);
    // A reader that stopped at a fault keeps what it read before it: that is shown, but the
    // command has failed.
    const bool ok = loaded && !ctx.hasErrors();

    if (json) {
        JsonWriter writer(out);
        writer.beginObject();
        writer.field("command", "open");
        writer.field("ok", ok);
        writer.field("path", path);
        if (!format.empty())
            writer.field("format", format);
        if (loaded)
            writeModelJson(writer, *model, all);
        else
            writer.field("class", type);
        ctx.writeJson(writer);
        writer.endObject();
        writer.finish();
    } else if (loaded) {
        out << "path       " << printable(path) << '\n';
        printModel(out, *model, all);
    }
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kOpenCommand = {
    {"open", "PATH", "Open a file as a model and show what it holds.",
     "Detects the model class first (a chromatogram opens as a sequence model) unless --type\n"
     "names one, opens the file through the factory and prints the class, URL, encoding and, per\n"
     "sequence, its name, length, molecule type and the start of its residues. A file from which\n"
     "nothing could be read is a failure (exit 1). PATH - reads standard input.\n",
     {{"type", "CLASS", "open as this model class (SeqModel, AlignModel, AssemblyModel, ...)"},
      {"format", "NAME", "read the file in this format"},
      {"all", nullptr, "show every residue"}},
     1,
     1},
    &runOpen};

} // namespace mftool
