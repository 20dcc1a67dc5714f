#ifndef MODELFACTORY_PYTHON_ERRORS_H
#define MODELFACTORY_PYTHON_ERRORS_H

// How the binding turns paths into text and the library's reports into Python warnings and
// exceptions.
#include <contracts/Common.h>
#include <tools/Messages.h>

#include <pybind11/pybind11.h>

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace mfpy {

namespace py = pybind11;

using OptionalText = std::optional<std::string>;

// Failures the library leaves unreported (an empty answer) are worded as the command-line tool
// words them (mftool::msg), plus the binding's own.
namespace msg {
using namespace mftool::msg;
constexpr const char* ProteinQualities = "a protein sequence carries no qualities";
constexpr const char* QualityValues = "qualities must be a one-dimensional sequence of integers 0..255";
constexpr const char* IteratorOfAnotherProcess =
    "this iterator was made in another process (before os.fork()): open the file again in this one";
} // namespace msg

/// The text of a path argument: str, bytes or os.PathLike (file-system encoding). TypeError else.
std::string pathText(py::handle path);
/// A library text as a Python str: UTF-8, with any byte that is not escaped as \xNN (a message
/// may quote a file's bytes).
py::str messageText(const std::string& text);
/// Bytes the library read (a name, a description) as a Python str the way Python decodes file
/// names: UTF-8, other bytes as lone surrogates, so that textBytes() gives them back unchanged.
py::str fileText(const std::string& text);
/// The bytes of a str made by fileText (or any str: UTF-8, surrogates back to their bytes).
std::string textBytes(py::handle text);

/// A path argument, converted by pathText(); help() shows its Python types.
struct PathArg {
    std::string text;
};

/// Raises FileError (with errno and file name) when the file a path names, after any FORMAT@@
/// prefix, does not exist or is a folder. The file's content is left for the library to judge.
void requireInput(const std::string& path);

/// Raises FileError when the folder an output path would go into does not exist.
void requireOutputFolder(const std::string& path);

/// The operation context of one call, and the delivery of its reports once the GIL is held again.
class Reports {
public:
    explicit Reports(std::string path) : path_(std::move(path)) {}

    cmn::OpContext ctx;

    const std::string& path() const { return path_; }

    /// Runs `body` (GIL released): exceptions of the library become error reports, and an empty
    /// result; running out of memory still propagates (as MemoryError).
    template <class Body>
    auto guard(Body&& body) -> decltype(body()) {
        try {
            return body();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::system_error& e) {
            fileErrno_ = e.code().value();
            ctx.error(e.what());
        } catch (const std::exception& e) {
            ctx.error(e.what());
        }
        return decltype(body())();
    }

    /// Reports taken out of the context, to be issued once the GIL is held.
    struct Pending {
        std::vector<cmn::OpContext::Report> reports;
        int fileErrno = 0;
    };

    /// Takes the reports not yet delivered, up to (not including) index `end` of the context's
    /// list, with the file-system failure caught so far. Needs no GIL: a thread reading ahead
    /// adds to the context while the one handing out models takes what is due.
    Pending take(std::size_t end);

    /// Issues taken reports: warnings as modelfactory.Warning, then, when there are errors, raises
    /// one exception carrying their texts (joined by "; "): FileError when the file system failed
    /// (a message ending in an errno text, or a system_error), FormatError otherwise. Needs the GIL.
    void issue(Pending pending) const;

    /// Issues every report not yet delivered (take and issue). Needs the GIL.
    void deliver() { issue(take(ctx.reports().size())); }

private:
    std::string path_;
    std::size_t delivered_ = 0;
    int fileErrno_ = 0; // of a system_error caught by guard()
};

/// Adds Error, FileError, FormatError and Warning to the module.
void registerErrors(py::module_& module);

} // namespace mfpy

namespace pybind11::detail {
template <>
struct type_caster<mfpy::PathArg> {
    PYBIND11_TYPE_CASTER(mfpy::PathArg, const_name("Union[str, bytes, os.PathLike[str]]"));
    bool load(handle source, bool) {
        value.text = mfpy::pathText(source);
        return true;
    }
};
} // namespace pybind11::detail

#endif
