// modelfactory open: open files as models and show what they hold.
#include "Commands.h"
#include "InputFiles.h"
#include "Json.h"
#include "Messages.h"
#include "ModelReport.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>

namespace mftool {

namespace {

struct Opened {
    std::string type;
    boost::shared_ptr<Velm::Model> model;
    bool loaded = false;
    bool ok = false;
};

// Reads one file; every failure goes to `ctx`, exceptions included, so that the other files are
// still read and a JSON document is still closed.
Opened openOne(const std::string& path, const Arguments& args, ToolContext& ctx,
               std::unique_ptr<StandardInput>& input) {
    Opened result;
    if (!checkReadable(path, ctx))
        return result;
    try {
        // A sequence archive on standard input is read as it arrives; anything else through a
        // file, so that every reader can take it.
        const std::string format = args.get("format");
        std::string file = path;
        std::string streamed;
        if (isStandardStream(path)) {
            if (input) {
                ctx.error(msg::StandardInputTwice);
                return result;
            }
            input.reset(new StandardInput(ctx));
            const std::string named = args.get("type");
            if (named.empty() || named == Velm::SeqModel::className)
                streamed = input->streamFormat(format);
            if (streamed.empty())
                file = input->spool(format);
        }
        result.type = streamed.empty() ? modelClassFor(file, args.get("type"), format, &ctx)
                                       : std::string(Velm::SeqModel::className);
        if (result.type.empty())
            ctx.error(msg::CannotClassify + path + msg::TypeHint);
        else if (!streamed.empty())
            result.model = input->readModel(streamed, &ctx);
        else
            result.model = openModel(file, result.type, format, &ctx);
        if (result.model && isStandardStream(path))
            result.model->setURL(path);
    } catch (const std::exception& e) {
        ctx.error(e.what());
    }
    result.loaded = result.model && !result.model->empty();
    if (!result.loaded && !result.type.empty() && !ctx.hasErrors())
        ctx.error(msg::NothingOpened + path);
    // A reader that stopped at a fault keeps what it read before it: that is shown, but the
    // command has failed.
    result.ok = result.loaded && !ctx.hasErrors();
    return result;
}

void writeJsonResult(JsonWriter& writer, const std::string& path, const Opened& opened,
                     const Arguments& args, const ToolContext& ctx, bool withCommand) {
    writer.beginObject();
    if (withCommand)
        writer.field("command", "open");
    writer.field("ok", opened.ok);
    writer.field("path", path);
    if (args.has("format"))
        writer.field("format", args.get("format"));
    if (opened.loaded)
        writeModelJson(writer, *opened.model, args.flag("all"));
    else
        writer.field("class", opened.type);
    ctx.writeJson(writer);
    writer.endObject();
}

int runOpen(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::vector<std::string>& paths = args.positional();
    const bool json = args.flag("json");
    const bool all = args.flag("all");

    // One file: the document is that file's. Several: one result each, with its own messages.
    if (paths.size() == 1) {
        std::unique_ptr<StandardInput> input;
        const Opened opened = openOne(paths.front(), args, ctx, input);
        if (json) {
            JsonWriter writer(out);
            writeJsonResult(writer, paths.front(), opened, args, ctx, true);
            writer.finish();
        } else if (opened.loaded) {
            out << "path       " << printable(paths.front()) << '\n';
            printModel(out, *opened.model, all);
        }
        return opened.ok ? ExitOk : ExitFailed;
    }

    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "open");
        writer.key("results").beginArray();
    }
    std::unique_ptr<StandardInput> input;
    std::size_t failed = 0;
    bool first = true;
    for (const std::string& path : paths) {
        ToolContext fileCtx(std::cerr);
        Opened opened = openOne(path, args, fileCtx, input);
        failed += !opened.ok;
        if (json) {
            writeJsonResult(writer, path, opened, args, fileCtx, false);
        } else if (opened.loaded) {
            out << (first ? "" : "\n") << "path       " << printable(path) << '\n';
            printModel(out, *opened.model, all);
            first = false;
        }
        // Each file's model is let go of before the next is read.
        opened.model.reset();
    }
    if (json) {
        finishManyFilesJson(writer, paths.size(), failed, ctx);
    }
    return failed == 0 ? ExitOk : ExitFailed;
}

} // namespace

const Command kOpenCommand = {
    {"open", "PATH...", "Open files as models and show what they hold.",
     "Detects the model class first (a chromatogram opens as a sequence model) unless --type\n"
     "names one, opens each file through the factory and prints the class, URL, encoding and, per\n"
     "sequence, its name, length, number of features, molecule type and the start of its\n"
     "residues; --json also gives each feature (key, location, qualifiers). A file that cannot be\n"
     "read, or from which nothing could be read, is a failure: the other files are still opened,\n"
     "and the exit status is 1 when any failed. With several files, --json gives one result per\n"
     "file, each with its own messages. PATH - reads standard input.\n",
     {{"type", "CLASS", "open as this model class (SeqModel, AlignModel, AssemblyModel, ...)"},
      {"format", "NAME", "read the files in this format"},
      {"all", nullptr, "show every residue"}},
     1,
     SIZE_MAX},
    &runOpen};

} // namespace mftool
