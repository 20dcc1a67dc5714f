// Reading entries and regions of a FASTA or FASTQ file through its index: one read (plain files)
// or the few blocks that hold the region (BGZF) per request.
#include <contracts/SeqArchive.h>
#include <contracts/SeqIndex.h>

#include "Bgzf.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {

namespace {

bool isResidue(unsigned char c) { return c > 32 && c < 127; }

// Bytes from the start of an entry's residues to the residue at `position`.
std::uint64_t bytesTo(const SeqIndexEntry& entry, std::uint64_t position) {
    return position / entry.lineBases * entry.lineBytes + position % entry.lineBases;
}

} // namespace

struct IndexedSeqArchive::File {
    int fd = -1;
    std::unique_ptr<bgzf::BlockReader> blocks;
    // The block inflated last: consecutive requests often fall in it.
    std::uint64_t cachedAt = UINT64_MAX; // compressed offset
    std::uint64_t cachedContent = 0;     // uncompressed offset of its first byte
    std::size_t cachedSize = 0;          // compressed size
    std::string cached;
    ~File() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool IndexedSeqArchive::hasIndex(const std::string& path) {
    return ::access((path + ".fai").c_str(), F_OK) == 0;
}

IndexedSeqArchive::IndexedSeqArchive(const std::string& path)
    : IndexedSeqArchive(path, SeqIndex()) {}

IndexedSeqArchive::IndexedSeqArchive(const std::string& path, SeqIndex index)
    : path_(path), index_(std::move(index)), file_(new File) {
    const bool loadIndex = index_.entries().empty() && !index_.compressed();
    file_->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file_->fd < 0)
        throw SeqArchiveError(path + ": " + std::strerror(errno));
    struct stat info = {};
    if (::fstat(file_->fd, &info) != 0 || !S_ISREG(info.st_mode))
        throw SeqArchiveError(path + ": not a regular file, so it cannot be read by seeking");
    unsigned char head[512];
    const ssize_t got = ::pread(file_->fd, head, sizeof head, 0);
    if (got < 0)
        throw SeqArchiveError(path + ": " + std::strerror(errno));
    const bgzf::Kind kind = bgzf::kindOf(head, static_cast<std::size_t>(got));
    if (kind == bgzf::Kind::OtherCompression)
        throw SeqArchiveError(path + ": a compressed file other than BGZF cannot be read by "
                                     "seeking: recompress it with bgzip");
    if (loadIndex)
        index_ = SeqIndex::load(path + ".fai", kind == bgzf::Kind::Bgzf ? path + ".gzi" : "");
    if (kind == bgzf::Kind::Bgzf) {
        if (!index_.compressed())
            throw SeqArchiveError(path + ": BGZF content, but the index has no block offsets");
        file_->blocks.reset(new bgzf::BlockReader(file_->fd, path));
    } else {
        if (index_.compressed())
            throw SeqArchiveError(path + ": the index is for a BGZF file, but the file is not one");
        // Every entry must lie inside the file, else the index is another file's or out of date.
        for (const SeqIndexEntry& e : index_.entries()) {
            const std::uint64_t last = e.length ? e.offset + bytesTo(e, e.length - 1) : e.offset;
            if (last > static_cast<std::uint64_t>(info.st_size) ||
                (e.length && last >= static_cast<std::uint64_t>(info.st_size)))
                throw SeqArchiveError(path + ": the index does not fit the file (entry '" + e.name +
                                      "' ends past its end): rebuild it");
        }
    }
}

IndexedSeqArchive::~IndexedSeqArchive() = default;

const SeqIndexEntry& IndexedSeqArchive::entry(const std::string& name) const {
    const SeqIndexEntry* e = index_.find(name);
    if (!e)
        throw SeqArchiveError(path_ + ": no entry named '" + name + "'");
    return *e;
}

std::string IndexedSeqArchive::readContent(std::uint64_t offset, std::size_t size) const {
    std::string out;
    if (!file_->blocks) {
        out.resize(size);
        out.resize(bgzf::readAt(file_->fd, &out[0], size, offset, path_));
        return out;
    }
    // The block that holds `offset`, then the ones after it.
    const auto& blocks = index_.blocks();
    auto it = std::upper_bound(blocks.begin(), blocks.end(), offset,
                               [](std::uint64_t value, const std::pair<std::uint64_t, std::uint64_t>& b) {
                                   return value < b.second;
                               });
    const auto& start = it == blocks.begin() ? blocks.front() : *(it - 1);
    File& f = *file_;
    std::uint64_t at = start.first, content = start.second;
    if (f.cachedAt != UINT64_MAX && f.cachedContent <= offset &&
        offset < f.cachedContent + f.cached.size()) {
        at = f.cachedAt;
        content = f.cachedContent;
    }
    while (out.size() < size) {
        if (at != f.cachedAt) {
            f.cachedSize = f.blocks->read(at, f.cached);
            f.cachedAt = at;
            f.cachedContent = content;
            if (f.cachedSize == 0)
                break; // the end of the file
        } else if (f.cachedSize == 0) {
            break;
        }
        if (offset < content + f.cached.size()) {
            const std::size_t from = offset > content ? static_cast<std::size_t>(offset - content) : 0;
            const std::size_t take = std::min(f.cached.size() - from, size - out.size());
            out.append(f.cached, from, take);
        }
        content += f.cached.size();
        at += f.cachedSize;
    }
    return out;
}

std::string IndexedSeqArchive::region(const SeqIndexEntry& e, std::uint64_t start,
                                      std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, e.length);
    begin = std::min(begin, end);
    std::string residues;
    if (begin == end)
        return residues;
    residues.reserve(static_cast<std::size_t>(end - begin));
    std::uint64_t at = start + bytesTo(e, begin);
    std::uint64_t want = bytesTo(e, end - 1) + 1 - bytesTo(e, begin);
    // Lines with blanks inside hold fewer residues than their bytes: read on until they are all in.
    while (residues.size() < end - begin) {
        const std::string bytes = readContent(at, static_cast<std::size_t>(want));
        // Whole runs of residues at a time: line ends (and any blanks) are skipped between them.
        const char* p = bytes.data();
        const char* const stop = p + bytes.size();
        while (p < stop && residues.size() < end - begin) {
            const char* run = p;
            while (run < stop && isResidue(static_cast<unsigned char>(*run)))
                ++run;
            const std::size_t take =
                std::min<std::size_t>(static_cast<std::size_t>(run - p),
                                      static_cast<std::size_t>(end - begin - residues.size()));
            residues.append(p, take);
            p = run;
            while (p < stop && !isResidue(static_cast<unsigned char>(*p)))
                ++p;
        }
        if (bytes.size() < want && residues.size() < end - begin)
            throw SeqArchiveError(path_ + ": the file ends inside entry '" + e.name +
                                  "': its index does not fit it; rebuild the index");
        at += bytes.size();
        want = std::max<std::uint64_t>(e.lineBytes, end - begin - residues.size());
    }
    return residues;
}

std::string IndexedSeqArchive::fetch(const std::string& name, std::uint64_t begin,
                                     std::uint64_t end) const {
    const SeqIndexEntry& e = entry(name);
    return region(e, e.offset, begin, end);
}

std::string IndexedSeqArchive::fetchQualities(const std::string& name, std::uint64_t begin,
                                              std::uint64_t end) const {
    if (!index_.fastq())
        throw SeqArchiveError(path_ + ": a FASTA file has no qualities");
    const SeqIndexEntry& e = entry(name);
    return region(e, e.qualityOffset, begin, end);
}

std::string IndexedSeqArchive::title(const std::string& name) const {
    const SeqIndexEntry& e = entry(name);
    // The title line ends just before the residues: look back for the line end before it.
    for (std::uint64_t window = 4096;; window *= 4) {
        const std::uint64_t from = e.offset > window ? e.offset - window : 0;
        const std::string bytes = readContent(from, static_cast<std::size_t>(e.offset - from));
        std::size_t end = bytes.size();
        if (end && bytes[end - 1] == '\n')
            --end;
        if (end && bytes[end - 1] == '\r')
            --end;
        const std::size_t newline = end ? bytes.rfind('\n', end - 1) : std::string::npos;
        if (newline == std::string::npos && from > 0 && window < (1u << 26))
            continue;
        const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
        if (begin >= end || (bytes[begin] != '>' && bytes[begin] != '@'))
            throw SeqArchiveError(path_ + ": no title line before entry '" + name +
                                  "': the index does not fit the file; rebuild the index");
        return bytes.substr(begin + 1, end - begin - 1);
    }
}

boost::shared_ptr<Velm::Sequence> IndexedSeqArchive::sequence(const std::string& name) const {
    const SeqIndexEntry& e = entry(name);
    std::string residues = region(e, e.offset, 0, e.length);
    const Velm::Sequence::MoleculeType type = Velm::Sequence::guessMoleculeType(residues);
    boost::shared_ptr<Velm::Sequence> seq;
    if (type == Velm::Sequence::MoleculeType::Protein) {
        seq = boost::make_shared<Velm::Sequence>();
    } else {
        auto nucleotide = boost::make_shared<Velm::NASequence>();
        if (index_.fastq()) {
            const std::string qualities = region(e, e.qualityOffset, 0, e.length);
            std::vector<unsigned char>& confidences = nucleotide->confidences();
            confidences.reserve(qualities.size());
            for (char q : qualities)
                confidences.push_back(static_cast<unsigned char>(q - 33));
        }
        seq = nucleotide;
    }
    seq->setMoleculeType(type);
    const std::string text = title(name);
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        i = text.size();
    std::size_t j = text.find_first_of(" \t", i);
    if (j == std::string::npos)
        j = text.size();
    seq->setName(text.substr(i, j - i));
    const std::size_t d = text.find_first_not_of(" \t", j);
    if (d != std::string::npos) {
        const std::size_t last = text.find_last_not_of(" \t");
        seq->setDescription(text.substr(d, last + 1 - d));
    }
    seq->setResidues(std::move(residues));
    seq->setSource(path_);
    return seq;
}

} // namespace Ovik
