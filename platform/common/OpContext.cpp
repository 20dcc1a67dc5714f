#include <contracts/Common.h>

namespace cmn {

OpContext::OpContext() = default;
OpContext::~OpContext() = default;

void OpContext::warning(const std::string& text) {
    reports_.push_back(Report{Severity::Warning, text});
}

void OpContext::error(const std::string& text) {
    reports_.push_back(Report{Severity::Error, text});
}

static std::vector<std::string> textsOf(const std::vector<OpContext::Report>& reports,
                                        OpContext::Severity severity) {
    std::vector<std::string> texts;
    for (const auto& report : reports)
        if (report.severity == severity)
            texts.push_back(report.text);
    return texts;
}

std::vector<std::string> OpContext::errors() const { return textsOf(reports_, Severity::Error); }
std::vector<std::string> OpContext::warnings() const { return textsOf(reports_, Severity::Warning); }

bool OpContext::hasErrors() const {
    for (const auto& report : reports_)
        if (report.severity == Severity::Error)
            return true;
    return false;
}

void OpContext::clear() { reports_.clear(); }

} // namespace cmn
