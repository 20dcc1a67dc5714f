#include "ToolContext.h"

#include "Json.h"
#include "Messages.h"
#include "Printable.h"

namespace mftool {

void ToolContext::showFileAs(const std::string& file, const std::string& shownAs) {
    shownAs_.emplace_back(file, shownAs);
}

std::string ToolContext::shown(const std::string& text) const {
    std::string result = text;
    for (const auto& name : shownAs_)
        for (std::size_t at = 0; (at = result.find(name.first, at)) != std::string::npos;
             at += name.second.size())
            result.replace(at, name.first.size(), name.second);
    return result;
}

void ToolContext::warning(const std::string& text) {
    const std::string named = shown(text);
    cmn::OpContext::warning(named);
    err_ << msg::WarningPrefix << printable(named) << std::endl;
}

void ToolContext::error(const std::string& text) {
    const std::string named = shown(text);
    cmn::OpContext::error(named);
    err_ << msg::ErrorPrefix << printable(named) << std::endl;
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

void finishManyFilesJson(JsonWriter& json, std::size_t count, std::size_t failed, const ToolContext& ctx) {
    json.endArray();
    json.field("count", count);
    json.field("failed", failed);
    json.field("ok", failed == 0);
    ctx.writeJson(json);
    json.endObject();
    json.finish();
}

} // namespace mftool
