#include "Errors.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace mfpy {

namespace {

// Owned by the module for the life of the interpreter.
PyObject* errorType = nullptr;
PyObject* fileErrorType = nullptr;
PyObject* formatErrorType = nullptr;
PyObject* warningType = nullptr;

// The library's readers and writers end a message with strerror's text when the file system,
// not the content, failed; these are the errors a file operation meets.
const int kFileErrnos[] = {ENOENT, EACCES, EPERM,  EISDIR, ENOTDIR, ENOSPC, EROFS,
                           EEXIST, EIO,    EMFILE, ENFILE, ENAMETOOLONG, EDQUOT, EFBIG, ELOOP};

bool endsWith(const std::string& text, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The errno whose text ends the message, or 0.
int fileErrnoOf(const std::string& text) {
    for (int code : kFileErrnos)
        if (endsWith(text, std::strerror(code)))
            return code;
    return 0;
}

py::str decoded(const std::string& text, const char* errors) {
    PyObject* str = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), errors);
    if (!str)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(str);
}

[[noreturn]] void raise(PyObject* type, py::object error, const std::vector<std::string>& messages) {
    py::list texts;
    for (const std::string& text : messages)
        texts.append(messageText(text));
    error.attr("messages") = texts;
    PyErr_SetObject(type, error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseErrno(int code, const std::string& file) {
    py::object error = py::reinterpret_borrow<py::object>(fileErrorType)(code, std::strerror(code), fileText(file));
    raise(fileErrorType, error, {std::strerror(code)});
}

PyObject* newType(py::module_& module, const char* name, const char* doc, PyObject* bases) {
    const std::string qualified = std::string("modelfactory.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases, nullptr);
    if (!type)
        throw py::error_already_set();
    module.add_object(name, py::reinterpret_borrow<py::object>(type));
    return type;
}

} // namespace

py::str messageText(const std::string& text) { return decoded(text, "backslashreplace"); }

py::str fileText(const std::string& text) { return decoded(text, "surrogateescape"); }

std::string textBytes(py::handle text) {
    if (!PyUnicode_Check(text.ptr()))
        throw py::type_error("expected a str");
    PyObject* bytes = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape");
    if (!bytes)
        throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
}

std::string pathText(py::handle path) {
    py::object text = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
    if (!text)
        throw py::error_already_set();
    if (PyUnicode_Check(text.ptr()))
        text = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(text.ptr()));
    if (!text)
        throw py::error_already_set();
    return text.cast<std::string>();
}

void requireInput(const std::string& path) {
    const cmn::QualifiedPath qualified(path);
    struct stat info;
    if (::stat(qualified.file.c_str(), &info) != 0)
        raiseErrno(errno, qualified.file);
    if (S_ISDIR(info.st_mode))
        raiseErrno(EISDIR, qualified.file);
}

void requireOutputFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return;
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0)
        raiseErrno(errno, folder);
    if (!S_ISDIR(info.st_mode))
        raiseErrno(ENOTDIR, folder);
}

Reports::Pending Reports::take(std::size_t end) {
    const auto& reports = ctx.reports();
    Pending pending;
    end = std::min(end, reports.size());
    if (delivered_ < end)
        pending.reports.assign(reports.begin() + static_cast<std::ptrdiff_t>(delivered_),
                               reports.begin() + static_cast<std::ptrdiff_t>(end));
    delivered_ = std::max(delivered_, end);
    // The failure a system_error reported is the context's last report.
    if (end == reports.size()) {
        pending.fileErrno = fileErrno_;
        fileErrno_ = 0;
    }
    return pending;
}

void Reports::issue(Pending pending) const {
    std::vector<std::string> errors;
    int code = pending.fileErrno;
    for (const cmn::OpContext::Report& report : pending.reports) {
        if (report.severity == cmn::OpContext::Severity::Warning) {
            // A filter may turn the warning into an exception; that then propagates.
            const std::string text = messageText(report.text).cast<std::string>();
            if (PyErr_WarnEx(warningType, text.c_str(), 1) != 0)
                throw py::error_already_set();
            continue;
        }
        if (!code)
            code = fileErrnoOf(report.text);
        errors.push_back(report.text);
    }
    if (errors.empty())
        return;
    std::string text = errors.front();
    for (std::size_t i = 1; i < errors.size(); ++i)
        text += "; " + errors[i];
    if (code) {
        // OSError's own form: errno, the library's text, the file.
        raise(fileErrorType,
              py::reinterpret_borrow<py::object>(fileErrorType)(code, messageText(text), fileText(path_)), errors);
    }
    py::object error = py::reinterpret_borrow<py::object>(formatErrorType)(messageText(text));
    error.attr("filename") = fileText(path_);
    raise(formatErrorType, error, errors);
}

void registerErrors(py::module_& module) {
    errorType = newType(module, "Error", "Base class of the errors modelfactory raises.", PyExc_Exception);
    py::tuple fileBases = py::make_tuple(py::handle(errorType), py::handle(PyExc_OSError));
    fileErrorType = newType(module, "FileError",
                            "A file could not be found, read or written (an OSError).", fileBases.ptr());
    py::tuple formatBases = py::make_tuple(py::handle(errorType), py::handle(PyExc_ValueError));
    formatErrorType = newType(module, "FormatError",
                              "A file's content could not be read as asked (a ValueError).", formatBases.ptr());
    warningType = newType(module, "Warning", "A warning the library reported during an operation.",
                          PyExc_UserWarning);
}

} // namespace mfpy
