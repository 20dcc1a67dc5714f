#ifndef MODELFACTORY_TESTS_PLATFORM_SEQARCHIVE_SEQARCHIVETESTUTIL_H
#define MODELFACTORY_TESTS_PLATFORM_SEQARCHIVE_SEQARCHIVETESTUTIL_H

#include <contracts/SeqArchive.h>

#include <string>
#include <vector>

namespace satest {

typedef std::vector<boost::shared_ptr<Velm::Sequence>> Sequences;

/// Every entry of the archive, read with createSequence while atEnd() is false.
Sequences readAll(const std::string& path, const std::string& format = "", cmn::OpContext* ctx = nullptr);
/// Writes the sequences and closes the archive.
void writeAll(const std::string& path, const std::string& format, const Sequences& sequences);
/// The message of the SeqArchiveError that `fn` throws, or "" when it throws none.
template <typename Fn>
std::string errorOf(Fn fn) {
    try {
        fn();
    } catch (const Ovik::SeqArchiveError& e) {
        return e.what();
    }
    return std::string();
}
/// Writes `content` gzip-compressed to `path`.
void writeGzip(const std::string& path, const std::string& content);
/// Files in a folder whose name contains ".tmp" (left-over temporary files).
std::vector<std::string> tempFilesIn(const std::string& folder);

} // namespace satest

#endif
