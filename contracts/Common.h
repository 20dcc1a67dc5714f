#ifndef MODELFACTORY_CONTRACTS_COMMON_H
#define MODELFACTORY_CONTRACTS_COMMON_H

#include <contracts/Export.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cmn {

/// A path argument split by the FORMAT@@FILE rule: when the first '@' is followed by another '@',
/// the text before it names a format and the text after the two '@' is the file. Otherwise the
/// whole argument is the file and there is no format (a later "@@" does not count).
struct MF_API QualifiedPath {
    bool qualified = false;
    std::string format;
    std::string file;

    explicit QualifiedPath(const char* path);
    explicit QualifiedPath(const std::string& path) : QualifiedPath(path.c_str()) {}
};

/// An output file that takes the place of its target only when complete. Bytes go, buffered, to a
/// temporary file beside the target (same folder, so the final rename is atomic; a hidden name of
/// at most 48 bytes with a random part, created exclusively, so a planted file or link is never
/// followed); commit() flushes, syncs and renames it over the target. A target that is a symbolic
/// link is followed when the file is opened, and the file it points to is replaced: the link stays.
/// The replaced file's permissions are kept, less its setuid and setgid bits (its owner too, when
/// the process may set it). Destroyed without a successful commit, it removes the temporary file:
/// an existing target is never truncated or left half-written.
///
/// A target that exists and is not a regular file (a character or block device, a FIFO, a socket,
/// or /proc/self/fd/N naming one) is written straight through: no temporary file, no rename, and
/// what was written before a failure cannot be taken back. A folder is refused (EISDIR).
///
/// No operation throws; the first failure's errno is kept.
class MF_API ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target);
    /// Writes straight through to a copy of the open descriptor `fd` (standard output, a pipe),
    /// which commit() flushes and closes; `fd` itself stays open. `name` is its target() text.
    ReplacingFile(int fd, const std::string& name);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    /// False once anything failed (opening included) or the file was discarded; error() tells why.
    bool ok() const { return error_ == 0; }
    int error() const { return error_; }
    /// The path given to the constructor.
    const std::string& target() const { return target_; }
    /// True when the target is written straight through rather than replaced.
    bool direct() const { return direct_; }

    bool write(const char* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    /// Puts the finished file in place of the target (or sends the last bytes to a target written
    /// straight through). True when it is there.
    bool commit();
    bool committed() const { return committed_; }
    /// Gives the file up now, as the destructor would: the temporary file is removed and the
    /// target stays as it was. Later writes and commits fail with ECANCELED.
    void discard();

private:
    bool flush();
    void fail(int error);
    void release();

    std::string target_;
    std::string replaced_; ///< the file the rename replaces: the target with its links followed
    std::string temp_;
    std::string buffer_;
    int fd_ = -1;
    int error_ = 0;
    int slot_ = -1; ///< where temp_ is registered for removeTemporaryFiles
    bool direct_ = false;
    bool committed_ = false;
};

/// Removes the temporary file of every ReplacingFile alive in the process. Async-signal-safe: made
/// for a program's handler of termination signals (SIGINT, SIGTERM), which should then end the
/// process (re-raising the signal), as the objects it leaves behind no longer own their files.
/// The library installs no signal handler itself.
MF_API void removeTemporaryFiles() noexcept;

/// openRegularFile's error for a path that exists but is neither a regular file nor a directory
/// (a FIFO, a device, a socket). Negative, so that it is never an errno value.
constexpr int NotRegularFile = -1;

/// Opens `path` (links followed) for reading when it names a regular file; returns the descriptor
/// (close-on-exec) or -1 with `error` set: the errno of the failure, EISDIR for a directory, or
/// NotRegularFile. A FIFO or device is refused without blocking and nothing is read from it. Every
/// reader that takes a path opens it this way; standard input is a stream its caller opens itself.
MF_API int openRegularFile(const std::string& path, int& error);

/// The reason for an openRegularFile error: strerror's text, or "not a regular file".
MF_API std::string openErrorText(int error);

/// The cores this process may run on (its affinity, else the machine's count; at least 1). With
/// one, a helper thread (reading ahead, compressing) would only take turns with its caller.
MF_API unsigned usableCores();

/// Up to `maxBytes` from the start of the regular file at `path` into `head`; `complete` tells
/// whether that is the whole file. False for a missing, unreadable or non-regular file (a pipe or
/// a device is never opened, so sniffing one cannot block). Format sources sniff the same file one
/// after another: inside a ProbeScope a thread's repeated calls for the same path are answered
/// from memory, so the file is read once a scope. Outside one every call reads the file again,
/// since a file rewritten in place may keep its size and times.
MF_API bool readFileHead(const std::string& path, std::size_t maxBytes, std::string& head,
                         bool& complete);

/// As readFileHead, without a copy: `head` views the thread's own record of the file and stays
/// valid until the next call of a function of this group on the same thread. False when
/// readFileHead would be.
MF_API bool peekFileHead(const std::string& path, std::size_t maxBytes, std::string_view& head,
                         bool& complete);

/// True when `path` names a regular file (following links). Inside a ProbeScope, answered from the
/// thread's record of the file when it is the one last asked about.
MF_API bool isRegularFile(const std::string& path);

/// While one lives on a thread, what that thread learnt of a file (whether it exists and is
/// regular, its first bytes) is taken as still true without asking the file system again. Type
/// detection asks a dozen questions of each file in a burst, one per format; outside a scope
/// every question looks at the file anew. Scopes nest.
class MF_API ProbeScope {
public:
    ProbeScope();
    ~ProbeScope();
    ProbeScope(const ProbeScope&) = delete;
    ProbeScope& operator=(const ProbeScope&) = delete;
};

/// Replaces the file at `path` by `content` through a ReplacingFile. On failure returns false with
/// the errno in `error`, and the old file is untouched.
MF_API bool replaceFileContents(const std::string& path, const std::string& content, int& error);

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

/// Compares at most `n` characters of `a` and `b` after passing each through toupper.
/// At the first difference: -1 when the character of `a` is the smaller, +1 otherwise.
/// 0 when all `n` agree or both texts end at the same position first. Comparing over the length
/// of a known name tests whether a text begins with that name, ignoring case.
MF_API int compareNoCase(const char* a, const char* b, unsigned n);

/// `text` fit for a field that a text format keeps on one line (a name, a description, a
/// location, a qualifier value): every control character (below 0x20, and DEL) becomes a space, so
/// that a field can never start a line or a record of its own.
MF_API std::string oneLineText(std::string_view text);

/// The most of a piece of input that a message quotes (inputExcerpt).
constexpr std::size_t kExcerptBytes = 60;

/// `text` as a message quotes a piece of input: whole when short, else its first kExcerptBytes
/// bytes (not cutting a UTF-8 character) followed by "... (N bytes)". A refused line of a
/// gigabyte is never repeated whole in a report.
MF_API std::string inputExcerpt(std::string_view text);
/// The same for a text of `size` bytes of which only the start, `head`, is at hand (a line
/// read in pieces).
MF_API std::string inputExcerpt(std::string_view head, std::size_t size);

/// A name usable as one word in every text format: trimmed, with each blank and control character
/// turned into '_'; an empty name becomes "seq<index>". The one rule for every writer of names.
MF_API std::string singleTokenName(std::string_view name, std::size_t index);

/// Hands out names that are unique within one file: a name already given comes back with "_2",
/// "_3", ... appended (the first free number). With `maxLength` the base name is cut so that the
/// result fits. Each call costs about one hash lookup, however often a name repeats.
class MF_API UniqueNames {
public:
    UniqueNames();
    ~UniqueNames();
    UniqueNames(const UniqueNames&) = delete;
    UniqueNames& operator=(const UniqueNames&) = delete;

    std::string claim(const std::string& name, std::size_t maxLength = std::string::npos);

private:
    struct State;
    State* state_;
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
