#include "Documentation.h"

#include "FormatNames.h"

#include <cctype>
#include <sstream>

namespace mftool {

const char* const kToolSummary = "Turns sequence, alignment and chromatogram files into models and back.";
const char* const kToolNotes =
    "Every command takes --help and --json. Paths may name their format: FORMAT@@FILE.\n"
    "Exit status: 0 success, 1 the operation failed, 2 usage error.\n"
    "modelfactory --version prints the version; --man-page and --bash-completion print this\n"
    "help as a man page and as a bash completion script.\n";

namespace {

std::vector<OptionSpec> optionsOf(const Command& command) {
    std::vector<OptionSpec> options = command.usage.options;
    for (const OptionSpec& option : commonOptions())
        options.push_back(option);
    return options;
}

// Paragraphs of a help text: its lines as they are, a blank line starting a new paragraph.
void writeText(std::ostream& out, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        out << (line.empty() ? std::string(".PP") : roffEscape(line)) << '\n';
}

// A name that can stand in a shell word list unquoted.
bool isShellWord(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == '@'))
            return false;
    return true;
}

} // namespace

std::string roffEscape(const std::string& text) {
    std::string out;
    if (!text.empty() && (text[0] == '.' || text[0] == '\''))
        out += "\\&";
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

void writeManPage(std::ostream& out, const std::vector<const Command*>& commands, const std::string& version) {
    out << ".\\\" Written by 'modelfactory --man-page' from the tool's own help texts.\n"
        << ".TH MODELFACTORY 1 \"\" \"modelfactory " << roffEscape(version) << "\" \"User Commands\"\n"
        << ".SH NAME\n"
        << "modelfactory \\- " << roffEscape(kToolSummary) << '\n'
        << ".SH SYNOPSIS\n";
    for (const Command* command : commands) {
        out << ".B modelfactory " << command->usage.name << '\n';
        if (*command->usage.arguments)
            out << ".I " << roffEscape(command->usage.arguments) << '\n';
        out << "[options]\n.br\n";
    }
    out << ".B modelfactory \\-\\-version\n"
        << ".SH DESCRIPTION\n";
    writeText(out, kToolSummary);
    out << ".PP\n";
    writeText(out, kToolNotes);
    out << ".SH COMMANDS\n";
    for (const Command* command : commands) {
        const CommandSpec& usage = command->usage;
        out << ".SS \"" << usage.name << (*usage.arguments ? " " : "") << roffEscape(usage.arguments) << "\"\n";
        writeText(out, usage.summary);
        if (*usage.details) {
            out << ".PP\n";
            writeText(out, usage.details);
        }
        out << ".PP\nOptions:\n";
        for (const OptionSpec& option : optionsOf(*command)) {
            if (option.valueName)
                out << ".TP\n.BI \"\\-\\-" << roffEscape(option.name) << " \" " << roffEscape(option.valueName) << '\n';
            else
                out << ".TP\n.B \\-\\-" << roffEscape(option.name) << '\n';
            writeText(out, option.help);
        }
    }
    out << ".SH \"EXIT STATUS\"\n"
        << ".TP\n0\nsuccess\n"
        << ".TP\n1\nthe operation failed\n"
        << ".TP\n2\nusage error\n";
}

void writeBashCompletion(std::ostream& out, const std::vector<const Command*>& commands) {
    std::string names, formats;
    for (const Command* command : commands)
        names += (names.empty() ? "" : " ") + std::string(command->usage.name);
    for (const std::string& format : knownFormatNames())
        if (isShellWord(format))
            formats += (formats.empty() ? "" : " ") + format;
    std::string formatOptions;
    for (const char* option : kFormatOptions)
        formatOptions += (formatOptions.empty() ? "--" : "|--") + std::string(option);

    out << "# bash completion for modelfactory; written by 'modelfactory --bash-completion' from the\n"
           "# tool's own help texts.\n"
           "_modelfactory() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
           "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
           "        COMPREPLY=($(compgen -W \"" << names << " --help --version\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    local options='' valued=''\n"
           "    case \"${COMP_WORDS[1]}\" in\n";
    for (const Command* command : commands) {
        std::string options, valued;
        for (const OptionSpec& option : optionsOf(*command)) {
            options += (options.empty() ? "--" : " --") + std::string(option.name);
            if (option.valueName)
                valued += " --" + std::string(option.name);
        }
        out << "        " << command->usage.name << ") options='" << options << "'; valued='" << valued << " ';;\n";
    }
    out << "        *) return;;\n"
           "    esac\n"
           "    if [[ \"$valued\" == *\" $prev \"* ]]; then\n"
           "        case \"$prev\" in\n"
           "            " << formatOptions << ") COMPREPLY=($(compgen -W \"" << formats << "\" -- \"$cur\"));;\n"
           "            *) COMPREPLY=($(compgen -f -- \"$cur\"));;\n"
           "        esac\n"
           "        return\n"
           "    fi\n"
           "    if [[ \"$cur\" == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -o bashdefault -F _modelfactory modelfactory\n";
}

} // namespace mftool
