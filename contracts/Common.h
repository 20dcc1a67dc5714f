#ifndef MODELFACTORY_CONTRACTS_COMMON_H
#define MODELFACTORY_CONTRACTS_COMMON_H

#include <contracts/Export.h>

#include <string>
#include <vector>

namespace cmn {

/// The operation context a host passes to an operation: it receives the operation's warnings and
/// errors. warning/error are virtual so a host can route them to its UI; the base class also keeps
/// every report, in order and with its severity, so tools and tests can read them back.
class MF_API OpContext {
public:
    enum class Severity { Warning, Error };

    struct Report {
        Severity severity;
        std::string text;
        bool operator==(const Report& other) const {
            return severity == other.severity && text == other.text;
        }
    };

    OpContext();
    virtual ~OpContext();

    /// Records a warning: something was not as expected, but the operation went on.
    virtual void warning(const std::string& text);
    /// Records an error: the operation (or part of it) failed. A report never ends an operation itself.
    virtual void error(const std::string& text);

    /// Every report so far, oldest first.
    const std::vector<Report>& reports() const { return reports_; }
    /// The texts of the errors (or warnings) only, oldest first.
    std::vector<std::string> errors() const;
    std::vector<std::string> warnings() const;
    bool hasErrors() const;
    /// Forgets every report.
    void clear();

private:
    std::vector<Report> reports_;
};

} // namespace cmn

namespace Common {

class VisitorBase;

/// Anything a visitor can walk: models are visitable.
class MF_API VisitableBase {
public:
    virtual ~VisitableBase();
    virtual void accept(VisitorBase& visitor) = 0;
};

/// A visitor over visitable objects; subclasses down-cast what they care about.
class MF_API VisitorBase {
public:
    virtual ~VisitorBase();
    virtual void visit(VisitableBase& object) = 0;
};

} // namespace Common

#endif
