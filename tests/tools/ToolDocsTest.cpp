// The man page and the bash completion say what --help says: the built files are what the tool
// writes now, every command's help text is in the man page, and bash completes what the commands
// accept.
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {
using mftest::linesOf;

using mftest::runTool;
using mftest::ToolRun;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// As the man page writes text.
std::string roff(const std::string& text) {
    std::string out = !text.empty() && (text[0] == '.' || text[0] == '\'') ? "\\&" : "";
    for (char c : text)
        out += c == '\\' ? std::string("\\e") : c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

// The commands the top-level help lists.
std::vector<std::string> commands() {
    std::vector<std::string> names;
    bool inList = false;
    for (const std::string& line : linesOf(runTool({"--help"}).out)) {
        if (line == "commands:") {
            inList = true;
        } else if (inList && line.empty()) {
            break;
        } else if (inList) {
            std::istringstream words(line);
            std::string name;
            words >> name;
            names.push_back(name);
        }
    }
    return names;
}

struct Help {
    std::vector<std::string> text;                                ///< summary and detail lines
    std::vector<std::pair<std::string, std::string>> options;     ///< "--name VALUE", help
};

Help helpOf(const std::string& command) {
    Help help;
    const std::vector<std::string> lines = linesOf(runTool({command, "--help"}).out);
    bool inOptions = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line == "options:") {
            inOptions = true;
        } else if (inOptions) {
            const std::size_t gap = line.find("  ", 2);
            help.options.emplace_back(line.substr(2, gap - 2), line.substr(line.find_first_not_of(' ', gap)));
        } else if (!line.empty()) {
            help.text.push_back(line);
        }
    }
    return help;
}

// What bash's completion offers for the words of a command line (the last one being completed).
std::vector<std::string> complete(const std::vector<std::string>& words) {
    std::string script = "source '" MF_TOOL_COMPLETION "'; COMP_WORDS=(";
    for (const std::string& word : words)
        script += "'" + word + "' ";
    script += "); COMP_CWORD=" + std::to_string(words.size() - 1) +
              "; _modelfactory; printf '%s\\n' \"${COMPREPLY[@]}\"";
    mftest::TempDir dir;
    const std::string file = mftest::writeFile(dir.file("complete.sh"), script);
    FILE* pipe = ::popen(("bash --norc --noprofile " + file).c_str(), "r");
    std::string out;
    if (pipe) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << script;
    }
    std::vector<std::string> offered;
    for (const std::string& line : linesOf(out))
        if (!line.empty())
            offered.push_back(line);
    return offered;
}

TEST(ToolDocs, TheBuiltFilesAreWhatTheToolWritesNow) {
    const ToolRun man = runTool({"--man-page"});
    ASSERT_EQ(man.status, 0) << man.err;
    EXPECT_EQ(mftest::readFile(MF_TOOL_MAN_PAGE), man.out);
    const ToolRun completion = runTool({"--bash-completion"});
    ASSERT_EQ(completion.status, 0) << completion.err;
    EXPECT_EQ(mftest::readFile(MF_TOOL_COMPLETION), completion.out);
}

TEST(ToolDocs, TheManPageHoldsEveryCommandsHelp) {
    const std::string man = runTool({"--man-page"}).out;
    EXPECT_EQ(man.find(".TH MODELFACTORY 1"), man.find('\n') + 1);
    EXPECT_TRUE(contains(man, roff(linesOf(runTool({"--version"}).out).at(0))));
    const std::vector<std::string> names = commands();
    ASSERT_GE(names.size(), 6u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(contains(man, "\n.SS \"" + name));
        const Help help = helpOf(name);
        ASSERT_FALSE(help.options.empty());
        // Each command's section holds its texts, in the order --help shows them.
        std::size_t at = man.find("\n.SS \"" + name);
        for (const std::string& line : help.text) {
            at = man.find("\n" + roff(line) + "\n", at);
            EXPECT_NE(at, std::string::npos) << line;
        }
        for (const auto& option : help.options) {
            const std::size_t space = option.first.find(' ');
            const std::string head =
                space == std::string::npos
                    ? ".B " + roff(option.first)
                    : ".BI \"" + roff(option.first.substr(0, space)) + " \" " + roff(option.first.substr(space + 1));
            at = man.find("\n" + head + "\n" + roff(option.second) + "\n", at);
            EXPECT_NE(at, std::string::npos) << option.first;
        }
    }
}

TEST(ToolDocs, BashCompletesCommandsOptionsAndFormatNames) {
    const std::vector<std::string> names = commands();
    EXPECT_EQ(complete({"modelfactory", ""}).size(), names.size() + 2); // and --help, --version
    EXPECT_EQ(complete({"modelfactory", "con"}), std::vector<std::string>{"convert"});
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::vector<std::string> options;
        for (const auto& option : helpOf(name).options)
            options.push_back(option.first.substr(0, option.first.find(' ')));
        std::vector<std::string> offered = complete({"modelfactory", name, "x", "--"});
        std::sort(offered.begin(), offered.end());
        std::sort(options.begin(), options.end());
        EXPECT_EQ(offered, options);
    }
    EXPECT_EQ(complete({"modelfactory", "convert", "in.gb", "--line-w"}), std::vector<std::string>{"--line-width"});
    const std::vector<std::string> formats = complete({"modelfactory", "iterate", "x", "--format", "Gen"});
    EXPECT_EQ(formats, (std::vector<std::string>{"GenBank", "GenPept"}));
    EXPECT_EQ(complete({"modelfactory", "convert", "x", "y", "--to", "fastq-s"}), std::vector<std::string>{"fastq-solexa"});
}

} // namespace
