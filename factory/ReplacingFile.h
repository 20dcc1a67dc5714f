#ifndef MODELFACTORY_FACTORY_REPLACINGFILE_H
#define MODELFACTORY_FACTORY_REPLACINGFILE_H

#include <fstream>
#include <string>

namespace Ovik {

/// An output file that takes the place of its target only when complete: text goes to a temporary
/// file beside the target, commit() renames it over the target, and anything else (a failed
/// write, an exception, no commit) removes it, leaving an existing target untouched.
class ReplacingFile {
public:
    /// Opens the temporary file. On failure stream() is not good and errorNumber() tells why.
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return open_; }
    int errorNumber() const { return errno_; }
    std::ofstream& stream() { return stream_; }

    /// Flushes, closes and renames over the target. False (and the target untouched) on failure.
    bool commit();

private:
    std::string target_;
    std::string temp_;
    std::ofstream stream_;
    bool open_ = false;
    bool committed_ = false;
    int errno_ = 0;
};

} // namespace Ovik

#endif
