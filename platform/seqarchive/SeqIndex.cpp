// Building, reading and writing the index of a FASTA or FASTQ file (.fai, and .gzi for BGZF).
#include <contracts/SeqArchive.h>
#include <contracts/SeqIndex.h>

#include "Bgzf.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace Ovik {

namespace {

bool isSpace(unsigned char c) { return std::isspace(c) != 0; }

// Residues a line holds: its printable, non-blank characters.
std::uint64_t graphicCount(const char* p, std::size_t size) {
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        n += c > 32 && c < 127;
    }
    return n;
}

std::string quoted(unsigned char c) {
    if (std::isprint(c))
        return std::string("'") + static_cast<char>(c) + "'";
    return "a control character";
}

class FileDescriptor {
public:
    explicit FileDescriptor(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::size_t readSome(int fd, char* data, std::size_t size, const std::string& path) {
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            throw SeqArchiveError(path + ": " + std::strerror(errno));
    }
}

} // namespace

// Walks the content line by line with the rules of the field's faidx tools (see SeqIndex).
class SeqIndexBuilder {
public:
    SeqIndexBuilder(SeqIndex& index, const std::string& path, cmn::OpContext* ctx)
        : index_(index), path_(path), ctx_(ctx) {}

    /// Content bytes in order; a line may run over from one call to the next.
    void feed(const char* data, std::size_t size) {
        const char* end = data + size;
        while (data < end) {
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', end - data));
            if (!newline) {
                carry_.append(data, end);
                return;
            }
            if (carry_.empty()) {
                line(data, static_cast<std::size_t>(newline - data), true);
            } else {
                carry_.append(data, newline);
                line(carry_.data(), carry_.size(), true);
                carry_.clear();
            }
            data = newline + 1;
        }
    }

    void finish() {
        if (!carry_.empty()) {
            line(carry_.data(), carry_.size(), false);
            carry_.clear();
        }
        if (done_) {
            insert();
            return;
        }
        if (index_.entries_.empty() && state_ == State::Between && !format_)
            throw SeqArchiveError(path_ + ": nothing to index: no FASTA or FASTQ entry");
        throw SeqArchiveError(path_ + ": the last entry '" + entry_.name + "' is incomplete" +
                              (format_ == '@' ? " (its qualities are missing or short)"
                                              : " (it has no residues)"));
    }

private:
    enum class State { Between, Residues, AfterResidues, Qualities };

    [[noreturn]] void fail(const std::string& reason) const {
        throw SeqArchiveError(path_ + ":" + std::to_string(lineNumber_) + ": " + reason);
    }

    void insert() {
        index_.add(std::move(entry_), ctx_);
        entry_ = SeqIndexEntry();
        done_ = false;
    }

    void title(const char* p, std::size_t size, bool newline) {
        if (done_)
            insert();
        else if (started_ && ctx_) // left out, as the field's tools leave it out
            ctx_->warning(path_ + ": entry '" + entry_.name +
                          "' has no residues and is left out of the index");
        std::size_t i = 1;
        while (i < size && isSpace(static_cast<unsigned char>(p[i])))
            ++i;
        std::size_t j = i;
        while (j < size && !isSpace(static_cast<unsigned char>(p[j])))
            ++j;
        entry_ = SeqIndexEntry();
        entry_.name.assign(p + i, j - i);
        if (!newline)
            fail("the last entry '" + entry_.name + "' has no sequence");
        entry_.offset = next_;
        started_ = true;
        state_ = State::Residues;
        qualityLength_ = 0;
    }

    // A line of residues (or qualities): its bytes with the line end, and its residues.
    void layout(const char* p, std::size_t size, std::uint64_t& bytes, std::uint64_t& count) const {
        bytes = size + 1;
        count = graphicCount(p, size);
    }

    void line(const char* p, std::size_t size, bool newline) {
        ++lineNumber_;
        const std::uint64_t start = next_;
        next_ = start + size + (newline ? 1 : 0);
        const unsigned char first = size ? static_cast<unsigned char>(p[0]) : '\n';
        switch (state_) {
        case State::Between:
            if (first == '>' || first == '@') {
                if (format_ && format_ != static_cast<char>(first))
                    fail(first == '>' ? "a FASTA title ('>') in a FASTQ file"
                                      : "a FASTQ title ('@') in a FASTA file");
                format_ = static_cast<char>(first);
                index_.fastq_ = first == '@';
                title(p, size, newline);
                return;
            }
            if (size == 0 || (size == 1 && first == '\r'))
                return; // a blank line
            if (first == '\r')
                fail("carriage return not followed by a line end");
            if (started_)
                fail("unexpected " + quoted(first) + " in entry '" + entry_.name +
                     "': lines of residues must all be as long as the first, but the last; after a "
                     "shorter line or a blank line only a blank line or the next title may follow");
            fail("unexpected " + quoted(first) + " where a title ('>' or '@') should begin");
        case State::Residues:
            if (format_ == '>') {
                if (size == 0) {
                    state_ = State::Between;
                    return;
                }
                if (first == '>') {
                    state_ = State::Between;
                    --lineNumber_;
                    next_ = start;
                    line(p, size, newline);
                    return;
                }
            } else {
                if (first == '+') {
                    state_ = State::Qualities;
                    entry_.qualityOffset = next_;
                    return;
                }
                if (size == 0)
                    fail("blank line inside the residues of '" + entry_.name + "'");
            }
            residueLine(p, size);
            return;
        case State::AfterResidues:
            if (first != '+')
                fail("expected the '+' line of '" + entry_.name + "', found " + quoted(first));
            state_ = State::Qualities;
            entry_.qualityOffset = next_;
            return;
        case State::Qualities:
            if (size == 0) {
                if (!done_)
                    fail("blank line inside the qualities of '" + entry_.name + "'");
                state_ = State::Between;
                return;
            }
            if (first == '@' && done_) {
                state_ = State::Between;
                --lineNumber_;
                next_ = start;
                line(p, size, newline);
                return;
            }
            qualityLine(p, size);
            return;
        }
    }

    void residueLine(const char* p, std::size_t size) {
        std::uint64_t bytes, count;
        layout(p, size, bytes, count);
        if (format_ == '>')
            done_ = true;
        entry_.length += count;
        if (entry_.lineBytes == 0) {
            entry_.lineBytes = bytes;
            entry_.lineBases = count;
        } else if (entry_.lineBytes > bytes) {
            state_ = format_ == '>' ? State::Between : State::AfterResidues;
        } else if (entry_.lineBytes < bytes) {
            fail("different line length in sequence '" + entry_.name +
                 "': every line but the last must be as long as the first");
        }
    }

    void qualityLine(const char* p, std::size_t size) {
        std::uint64_t bytes, count;
        layout(p, size, bytes, count);
        qualityLength_ += count;
        if (entry_.lineBytes < bytes)
            fail("quality line longer than the residue lines of '" + entry_.name + "'");
        else if (qualityLength_ == entry_.length)
            done_ = true;
        else if (qualityLength_ > entry_.length)
            fail("more qualities than residues in '" + entry_.name + "'");
        else if (entry_.lineBytes > bytes)
            fail("quality line shorter than the residue lines of '" + entry_.name + "'");
    }

    SeqIndex& index_;
    std::string path_;
    cmn::OpContext* ctx_;
    std::string carry_;
    SeqIndexEntry entry_;
    State state_ = State::Between;
    char format_ = 0; // '>' or '@' once known
    bool done_ = false;    // the current entry is complete and not yet inserted
    bool started_ = false; // a title was seen
    std::uint64_t next_ = 0;       // content offset of the next line
    std::uint64_t qualityLength_ = 0;
    unsigned long lineNumber_ = 0;
};

SeqIndex::SeqIndex() = default;
SeqIndex::~SeqIndex() = default;
SeqIndex::SeqIndex(SeqIndex&&) noexcept = default;
SeqIndex& SeqIndex::operator=(SeqIndex&&) noexcept = default;
SeqIndex::SeqIndex(const SeqIndex&) = default;
SeqIndex& SeqIndex::operator=(const SeqIndex&) = default;

void SeqIndex::add(SeqIndexEntry&& entry, cmn::OpContext* ctx) {
    if (byName_.count(entry.name)) {
        if (ctx)
            ctx->warning("duplicate sequence name '" + entry.name + "' at byte offset " +
                         std::to_string(entry.offset) + " left out of the index");
        return;
    }
    byName_.emplace(entry.name, entries_.size());
    entries_.push_back(std::move(entry));
}

const SeqIndexEntry* SeqIndex::find(const std::string& name) const {
    auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &entries_[found->second];
}

SeqIndex SeqIndex::build(const std::string& path, cmn::OpContext* ctx) {
    FileDescriptor file(path);
    if (file.get() < 0)
        throw SeqArchiveError(path + ": " + std::strerror(errno));
    SeqIndex index;
    SeqIndexBuilder builder(index, path, ctx);
    unsigned char head[512];
    const ssize_t got = ::pread(file.get(), head, sizeof head, 0);
    if (got < 0)
        throw SeqArchiveError(path + ": " + std::strerror(errno));
    const std::size_t headSize = static_cast<std::size_t>(got);
    switch (bgzf::kindOf(head, headSize)) {
    case bgzf::Kind::OtherCompression:
        throw SeqArchiveError(path + ": cannot index a compressed file other than BGZF (plain gzip "
                                     "cannot be read from the middle): recompress it with bgzip");
    case bgzf::Kind::Bgzf: {
        index.compressed_ = true;
        bgzf::BlockReader reader(file.get(), path);
        std::string block;
        std::uint64_t at = 0, content = 0;
        while (const std::size_t size = reader.read(at, block)) {
            if (!block.empty()) {
                index.blocks_.emplace_back(at, content);
                builder.feed(block.data(), block.size());
                content += block.size();
            }
            at += size;
        }
        break;
    }
    case bgzf::Kind::Plain: {
        std::string buffer(1u << 20, '\0');
        while (const std::size_t got = readSome(file.get(), &buffer[0], buffer.size(), path))
            builder.feed(buffer.data(), got);
        break;
    }
    }
    builder.finish();
    return index;
}

std::string SeqIndex::faiText() const {
    std::string text;
    for (const SeqIndexEntry& e : entries_) {
        text += e.name;
        for (std::uint64_t value : {e.length, e.offset, e.lineBases, e.lineBytes}) {
            text += '\t';
            text += std::to_string(value);
        }
        if (fastq_) {
            text += '\t';
            text += std::to_string(e.qualityOffset);
        }
        text += '\n';
    }
    return text;
}

std::string SeqIndex::gziBytes() const {
    if (!compressed_)
        return std::string();
    std::string bytes;
    auto put = [&bytes](std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    put(blocks_.empty() ? 0 : blocks_.size() - 1);
    for (std::size_t i = 1; i < blocks_.size(); ++i) {
        put(blocks_[i].first);
        put(blocks_[i].second);
    }
    return bytes;
}

void SeqIndex::write(const std::string& faiPath, const std::string& gziPath) const {
    int error = 0;
    if (compressed_ && !cmn::replaceFileContents(gziPath, gziBytes(), error))
        throw SeqArchiveError("cannot write " + gziPath + ": " + std::strerror(error));
    if (!cmn::replaceFileContents(faiPath, faiText(), error))
        throw SeqArchiveError("cannot write " + faiPath + ": " + std::strerror(error));
}

SeqIndex SeqIndex::load(const std::string& faiPath, const std::string& gziPath) {
    std::ifstream in(faiPath, std::ios::binary);
    if (!in)
        throw SeqArchiveError(faiPath + ": " + std::strerror(errno));
    SeqIndex index;
    std::string line;
    unsigned long number = 0;
    int fields = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const auto bad = [&](const std::string& why) {
            return SeqArchiveError(faiPath + ":" + std::to_string(number) + ": " + why);
        };
        std::size_t tab = line.find('\t');
        if (tab == std::string::npos)
            throw bad("not an index line (name and four or five numbers, tab separated)");
        SeqIndexEntry e;
        e.name = line.substr(0, tab);
        std::vector<std::uint64_t> values;
        std::size_t at = tab + 1;
        while (at <= line.size()) {
            std::size_t end = line.find('\t', at);
            if (end == std::string::npos)
                end = line.size();
            const std::string field = line.substr(at, end - at);
            if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos)
                throw bad("not a number: '" + field + "'");
            errno = 0;
            values.push_back(std::strtoull(field.c_str(), nullptr, 10));
            if (errno == ERANGE)
                throw bad("number out of range: '" + field + "'");
            at = end + 1;
        }
        if (values.size() != 4 && values.size() != 5)
            throw bad("an index line has four numbers (FASTA) or five (FASTQ), not " +
                      std::to_string(values.size()));
        if (fields && static_cast<int>(values.size()) != fields)
            throw bad("FASTA and FASTQ index lines mixed");
        fields = static_cast<int>(values.size());
        e.length = values[0];
        e.offset = values[1];
        e.lineBases = values[2];
        e.lineBytes = values[3];
        if (fields == 5)
            e.qualityOffset = values[4];
        if (e.length && (e.lineBases == 0 || e.lineBytes < e.lineBases))
            throw bad("bases a line and bytes a line do not fit entry '" + e.name + "'");
        index.add(std::move(e), nullptr);
    }
    if (in.bad())
        throw SeqArchiveError(faiPath + ": " + std::strerror(errno));
    index.fastq_ = fields == 5;
    if (!gziPath.empty()) {
        std::ifstream gzi(gziPath, std::ios::binary);
        if (!gzi)
            throw SeqArchiveError(gziPath + ": " + std::strerror(errno));
        const std::string bytes((std::istreambuf_iterator<char>(gzi)), std::istreambuf_iterator<char>());
        auto get = [&bytes](std::size_t at) {
            std::uint64_t value = 0;
            for (int i = 7; i >= 0; --i)
                value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
            return value;
        };
        if (bytes.size() < 8 || (bytes.size() - 8) / 16 < get(0) || bytes.size() != 8 + 16 * get(0))
            throw SeqArchiveError(gziPath + ": not a BGZF block index (.gzi)");
        index.compressed_ = true;
        index.blocks_.emplace_back(0, 0);
        for (std::uint64_t i = 0; i < get(0); ++i) {
            index.blocks_.emplace_back(get(8 + 16 * i), get(16 + 16 * i));
            if (index.blocks_.back().second <= index.blocks_[index.blocks_.size() - 2].second &&
                i > 0)
                throw SeqArchiveError(gziPath + ": block offsets out of order");
        }
    }
    return index;
}

} // namespace Ovik
