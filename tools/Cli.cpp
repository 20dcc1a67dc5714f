#include "Cli.h"

#include "Messages.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace mftool {

namespace {

const OptionSpec kCommonOptions[] = {
    {"json", nullptr, "write the result as one JSON document on stdout"},
    {"help", nullptr, "show this help and exit"},
};

const OptionSpec* findOption(const CommandSpec& usage, const std::string& name) {
    for (const OptionSpec& option : usage.options)
        if (name == option.name)
            return &option;
    for (const OptionSpec& option : kCommonOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

} // namespace

std::vector<OptionSpec> commonOptions() {
    return std::vector<OptionSpec>(std::begin(kCommonOptions), std::end(kCommonOptions));
}

std::string Arguments::get(const std::string& name, const std::string& fallback) const {
    auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
}

Arguments parseArguments(const CommandSpec& usage, const std::vector<std::string>& args) {
    Arguments result;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            result.positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            result.flags_.insert("help");
            continue;
        }
        if (arg.compare(0, 2, "--") != 0)
            throw UsageError(msg::UnknownOption + arg + "'");
        std::string name = arg.substr(2);
        std::string value;
        bool inlineValue = false;
        const std::size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
            inlineValue = true;
        }
        const OptionSpec* option = findOption(usage, name);
        if (!option)
            throw UsageError(msg::UnknownOption + std::string("--") + name + "'");
        if (!option->valueName) {
            if (inlineValue)
                throw UsageError(msg::OptionTakesNoValue + std::string("--") + name + "'");
            result.flags_.insert(name);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size())
                throw UsageError(msg::OptionNeedsValue + std::string("--") + name + "'");
            value = args[++i];
        }
        if (result.values_.count(name))
            throw UsageError(msg::OptionRepeated + std::string("--") + name + "'");
        result.values_[name] = value;
    }
    if (result.flag("help"))
        return result;
    const std::size_t count = result.positional_.size();
    if (count < usage.minPositional)
        throw UsageError(msg::MissingArgument + std::string(usage.arguments));
    if (count > usage.maxPositional)
        throw UsageError(msg::UnexpectedArgument + result.positional_[usage.maxPositional] + "'");
    return result;
}

void printCommandHelp(const CommandSpec& usage, std::ostream& out) {
    out << "usage: modelfactory " << usage.name;
    if (*usage.arguments)
        out << ' ' << usage.arguments;
    out << " [options]\n\n" << usage.summary << "\n";
    if (*usage.details)
        out << '\n' << usage.details;
    out << "\noptions:\n";
    std::vector<std::pair<std::string, const char*>> rows;
    for (const OptionSpec& option : usage.options)
        rows.emplace_back(std::string("--") + option.name +
                              (option.valueName ? std::string(" ") + option.valueName : ""),
                          option.help);
    for (const OptionSpec& option : kCommonOptions)
        rows.emplace_back(std::string("--") + option.name, option.help);
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    for (const auto& row : rows)
        out << "  " << row.first << std::string(width - row.first.size() + 2, ' ') << row.second
            << '\n';
}

} // namespace mftool
