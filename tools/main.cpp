// modelfactory: the library's main jobs from a shell. A thin front end over the public API.
#include "Cli.h"
#include "Commands.h"
#include "Documentation.h"
#include "FormatNames.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"
#include "ToolContext.h"

#include <contracts/Common.h>
#include <factory/Extensions.h>
#include <factory/ModelFactory.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace mftool;

const Command* const kCommands[] = {&kTypeCommand,    &kOpenCommand,    &kIterateCommand,
                                    &kConvertCommand, &kFormatsCommand, &kTraceCommand,
                                    &kStatsCommand, &kFeaturesCommand};

void printUsage(std::ostream& out) {
    out << "usage: modelfactory COMMAND [arguments] [options]\n\n" << kToolSummary << "\n\ncommands:\n";
    for (const Command* command : kCommands) {
        std::string head = std::string(command->usage.name) + " " + command->usage.arguments;
        out << "  " << head << std::string(head.size() < 18 ? 18 - head.size() : 1, ' ')
            << command->usage.summary << '\n';
    }
    out << '\n' << kToolNotes;
}

int usageError(const std::string& text, const char* command) {
    std::cerr << msg::ErrorPrefix << printable(text) << '\n';
    if (command)
        std::cerr << "Run 'modelfactory " << command << " --help' for usage.\n";
    else
        std::cerr << msg::HelpHint << '\n';
    return ExitUsage;
}

// A conversion stopped by Ctrl-C, `kill` or a closed terminal leaves no temporary file: the
// handler removes them (async-signal-safe), then the signal, back at its default action since the
// handler was entered, ends the process as it would have without the handler.
void removeTemporariesAndStop(int signal) {
    cmn::removeTemporaryFiles();
    removeTemporaryFolders();
    std::raise(signal); // delivered once the handler returns
}

void installSignalHandlers() {
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG and is reported, instead of
    // the signal killing the tool with its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = removeTemporariesAndStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    const int stops[] = {SIGINT, SIGTERM, SIGHUP};
    for (int signal : stops)
        sigaddset(&action.sa_mask, signal);
    for (int signal : stops) {
        struct sigaction previous = {};
        // A signal ignored by whoever started the tool (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
    // A reader that leaves (`| head`) ends the tool as it ends other tools, quietly, whatever its
    // parent ignored, and what the tool made is removed first.
    sigaddset(&action.sa_mask, SIGPIPE);
    sigaction(SIGPIPE, &action, nullptr);
}

int run(int argc, char** argv);

} // namespace

int main(int argc, char** argv) {
    openStandardStreams();
    installSignalHandlers();
    const int status = run(argc, argv);
    return closeStandardOutput(status, std::cerr);
}

namespace {

int run(int argc, char** argv) {
    if (argc < 2)
        return usageError(msg::NoCommand, nullptr);
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(std::cout);
        return ExitOk;
    }
    if (name == "--version") {
        std::cout << "modelfactory " << MF_TOOL_VERSION << '\n';
        return ExitOk;
    }
    if (name == "--man-page" || name == "--bash-completion") {
        // The format names in the completion are the factory's, its extension sources included.
        Ovik::addExtensionSources(Ovik::GetModelFactory());
        const std::vector<const Command*> commands(std::begin(kCommands), std::end(kCommands));
        if (name == "--man-page")
            writeManPage(std::cout, commands, MF_TOOL_VERSION);
        else
            writeBashCompletion(std::cout, commands);
        std::cout.flush();
        return std::cout ? ExitOk : ExitFailed;
    }
    const Command* command = nullptr;
    for (const Command* candidate : kCommands)
        if (name == candidate->usage.name)
            command = candidate;
    if (!command)
        return usageError(msg::UnknownCommand + name + "'", nullptr);

    const std::vector<std::string> rest(argv + 2, argv + argc);
    Arguments args;
    try {
        args = parseArguments(command->usage, rest);
    } catch (const UsageError& e) {
        return usageError(e.what(), command->usage.name);
    }
    if (args.flag("help")) {
        printCommandHelp(command->usage, std::cout);
        return ExitOk;
    }

    ToolContext ctx(std::cerr);
    try {
        // The tool reads and writes FASTQ and compressed files: the library's extension sources.
        Ovik::addExtensionSources(Ovik::GetModelFactory());
        // A misspelt format name is a mistake in the command line, whichever command took it.
        requireKnownFormats(args);
        return command->run(args, ctx, std::cout);
    } catch (const UsageError& e) {
        return usageError(e.what(), command->usage.name);
    } catch (const std::exception& e) {
        // The library lets some failures through as exceptions (an unreadable archive, say).
        // Commands write their output only once their work is done, so nothing is half printed.
        ctx.error(e.what());
        if (args.flag("json")) {
            JsonWriter json(std::cout);
            json.beginObject();
            json.field("command", command->usage.name);
            json.field("ok", false);
            ctx.writeJson(json);
            json.endObject();
            json.finish();
        }
        return ExitFailed;
    }
}

} // namespace
