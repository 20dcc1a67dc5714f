#include "ToolContext.h"

#include "Json.h"
#include "Messages.h"
#include "Printable.h"

namespace mftool {

void ToolContext::warning(const std::string& text) {
    cmn::OpContext::warning(text);
    err_ << msg::WarningPrefix << printable(text) << std::endl;
}

void ToolContext::error(const std::string& text) {
    cmn::OpContext::error(text);
    err_ << msg::ErrorPrefix << printable(text) << std::endl;
}

void ToolContext::writeJson(JsonWriter& json) const {
    json.key("messages").beginArray();
    for (const Report& report : reports()) {
        json.beginObject();
        json.field("severity", report.severity == Severity::Warning ? "warning" : "error");
        json.field("text", report.text);
        json.endObject();
    }
    json.endArray();
}

} // namespace mftool
