#ifndef MODELFACTORY_TOOLS_CLI_H
#define MODELFACTORY_TOOLS_CLI_H

#include <map>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace mftool {

/// Exit statuses of every command.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

/// A mistake in the command line: the command prints it with a hint and exits with ExitUsage.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

/// One option a command accepts: "--name", or "--name VALUE" / "--name=VALUE" when it takes one.
struct OptionSpec {
    const char* name;      ///< without the leading dashes
    const char* valueName; ///< null for a flag
    const char* help;
};

/// What a command accepts and how it explains itself in --help.
struct CommandSpec {
    const char* name;
    const char* arguments; ///< the synopsis after the command name, e.g. "PATH..."
    const char* summary;   ///< one line, shown in the command list
    const char* details;   ///< paragraphs shown by --help (may be empty)
    std::vector<OptionSpec> options; ///< --help and --json are added by every command
    std::size_t minPositional;
    std::size_t maxPositional; ///< SIZE_MAX for any number
};

/// A parsed command line.
class Arguments {
public:
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    /// The option's value, or `fallback` when it was not given.
    std::string get(const std::string& name, const std::string& fallback = std::string()) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    friend Arguments parseArguments(const CommandSpec&, const std::vector<std::string>&);
    std::set<std::string> flags_;
    std::map<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

/// Parses the arguments after the command name. Options may come anywhere; "--" ends them.
/// Throws UsageError for unknown options, missing values, repeated valued options and a wrong
/// number of positional arguments (the count is not checked when --help is given).
Arguments parseArguments(const CommandSpec& usage, const std::vector<std::string>& args);

/// The options every command takes after its own (--json, --help).
std::vector<OptionSpec> commonOptions();

/// The --help text of a command.
void printCommandHelp(const CommandSpec& usage, std::ostream& out);

} // namespace mftool

#endif
