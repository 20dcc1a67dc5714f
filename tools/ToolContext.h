#ifndef MODELFACTORY_TOOLS_TOOLCONTEXT_H
#define MODELFACTORY_TOOLS_TOOLCONTEXT_H

#include <contracts/Common.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace mftool {

class JsonWriter;

/// The operation context the tool hands to the library: every report is kept (so --json can
/// repeat it) and printed at once as "warning: ..." or "error: ..." on the error stream, its
/// control characters escaped (a report may quote a file's content). The
/// tool's own failures go through it too, so both kinds look alike.
class ToolContext : public cmn::OpContext {
public:
    explicit ToolContext(std::ostream& err) : err_(err) {}

    void warning(const std::string& text) override;
    void error(const std::string& text) override;

    /// Writes "messages": [{"severity": ..., "text": ...}, ...] into the current JSON object.
    void writeJson(JsonWriter& json) const;

    /// Reports from now on name `file` (a private copy of standard input, say) as `shownAs`.
    void showFileAs(const std::string& file, const std::string& shownAs);

private:
    std::string shown(const std::string& text) const;

    std::ostream& err_;
    std::vector<std::pair<std::string, std::string>> shownAs_;
};

/// Ends the document of a command given many files: closes its "results" array, adds "count",
/// "failed", "ok" and the command's own messages, and finishes the document.
void finishManyFilesJson(JsonWriter& json, std::size_t count, std::size_t failed, const ToolContext& ctx);

} // namespace mftool

#endif
