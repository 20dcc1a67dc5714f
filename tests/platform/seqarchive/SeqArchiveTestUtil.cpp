#include "SeqArchiveTestUtil.h"

#include <zlib.h>

#include <dirent.h>
#include <stdexcept>

namespace satest {

Sequences readAll(const std::string& path, const std::string& format, cmn::OpContext* ctx) {
    Ovik::ISeqArchive archive(path, format, "");
    archive.setContext(ctx);
    Sequences out;
    while (!archive.atEnd())
        out.push_back(Ovik::createSequence(archive));
    return out;
}

void writeAll(const std::string& path, const std::string& format, const Sequences& sequences) {
    Ovik::OSeqArchive archive(path, format, "");
    for (const auto& seq : sequences)
        Ovik::saveSequence(*seq, archive);
    archive.close();
}

void writeGzip(const std::string& path, const std::string& content) {
    gzFile gz = gzopen(path.c_str(), "wb");
    if (!gz)
        throw std::runtime_error("cannot create " + path);
    gzwrite(gz, content.data(), static_cast<unsigned>(content.size()));
    gzclose(gz);
}

std::vector<std::string> tempFilesIn(const std::string& folder) {
    std::vector<std::string> out;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.find(".tmp") != std::string::npos)
            out.push_back(name);
    }
    closedir(dir);
    return out;
}

} // namespace satest
