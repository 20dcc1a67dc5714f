#include "trace/TraceFile.h"

#include "trace/AbiCommentTitle.h"
#include "trace/AbiSparseRead.h"
#include "trace/IoLibLock.h"
#include "trace/TraceConversion.h"
#include "trace/TraceFileBytes.h"
#include "trace/TraceShape.h"

#include <contracts/Common.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// The decoder's headers come last: they define macros of their own.
#include "trace/IoLib.h"

namespace Ovik {

namespace detail {

std::mutex& ioLibMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace detail

namespace {

using detail::ioLibMutex;

/// Longest content the decoder's in-memory files can hold (their size is an int).
constexpr std::size_t maxTraceFileBytes = static_cast<std::size_t>(INT_MAX);
/// Longest content a compressed chromatogram is inflated to. A plain file costs its own size; a
/// compressed one would cost up to a thousand times its size (zeros deflate that well), so it
/// stops here, far above any instrument's file (the largest are a few MiB).
constexpr std::size_t maxInflatedTraceBytes = std::size_t(64) << 20;

/// How far the content of `file` is read: compressed content no further than it would cost.
std::size_t contentLimit(const detail::TraceFileBytes& file) {
    return file.isCompressed() ? maxInflatedTraceBytes : maxTraceFileBytes;
}

struct MFileDestroy {
    void operator()(mFILE* file) const { iolib::mfdestroy(file); }
};
typedef std::unique_ptr<mFILE, MFileDestroy> MFilePtr;

struct ExpInfoDestroy {
    void operator()(Exp_info* info) const { iolib::exp_destroy_info(info); }
};
typedef std::unique_ptr<Exp_info, ExpInfoDestroy> ExpInfoPtr;

/// Releases a decoded record; never destroyed while the lock is held.
struct ReadRelease {
    void operator()(Read* read) const {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        iolib::read_deallocate(read);
    }
};
typedef std::unique_ptr<Read, ReadRelease> ReadPtr;

/// A copy of `bytes` as an in-memory file of the decoder (which takes over the copy). Lock held.
MFilePtr memoryFileLocked(std::string_view bytes) {
    char* copy = static_cast<char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!copy)
        return MFilePtr();
    std::memcpy(copy, bytes.data(), bytes.size());
    return MFilePtr(iolib::mfcreate(copy, static_cast<int>(bytes.size())));
}

/// Compressed content would be unpacked by the decoder, for most methods by running an external
/// program. A gzip file is inflated here (see TraceFileBytes); what is still compressed after that
/// (another method, or gzip within gzip) is simply not a chromatogram.
bool looksCompressed(std::string_view prefix) {
    static const char* const magics[] = {"BZ0", "\037\213", "\037\235", "BZh", "SZ\n"};
    for (const char* magic : magics)
        if (prefix.compare(0, std::strlen(magic), magic) == 0)
            return true;
    return false;
}

/// Whether an experiment file's first bytes hold an "LN" line, the link to its trace. Without it
/// the file carries no sample points (and sequence entries such as "ID   X56734; SV 1; ..." start
/// the way an experiment file does).
bool hasTraceLink(std::string_view prefix) {
    for (std::size_t at = 0; at < prefix.size();) {
        if (prefix.compare(at, 2, "LN") == 0 && at + 2 < prefix.size() &&
            (prefix[at + 2] == ' ' || prefix[at + 2] == '\t'))
            return true;
        const std::size_t end = prefix.find('\n', at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return false;
}

bool holdsNul(std::string_view bytes) { return bytes.find('\0') != std::string_view::npos; }

/// The decoder's verdict `code` on a file's first bytes (`signature`), kept only when the file
/// can be of that kind: an experiment file only with its trace link (`linked`), and a
/// binary chromatogram only with NUL bytes in its signature (each kind stores counts and offsets
/// as big-endian words in its header, and no real file has counts that need all four bytes).
int plausibleCode(int code, std::string_view signature, bool linked) {
    if (code == TT_EXP)
        return linked ? code : TT_UNK;
    return code == TT_UNK || holdsNul(signature) ? code : TT_UNK;
}

/// The decoder's own verdict on a file's first bytes (plain text included); 0 for unknown and
/// compressed content. Lock held.
int decoderVerdictLocked(std::string_view prefix) {
    if (prefix.empty() || looksCompressed(prefix))
        return TT_UNK;
    MFilePtr file = memoryFileLocked(prefix);
    return file ? iolib::fdetermine_trace_type(file.get()) : TT_UNK;
}

/// The decoder's verdict on a file's first bytes; 0 for plain text, unknown and compressed
/// content. Lock held.
int classifySignatureLocked(std::string_view prefix) {
    const int code = decoderVerdictLocked(prefix);
    // Only the chromatogram kinds this reader lists: the decoder also recognises other kinds
    // (flowgram archives) whose readers it does not guard against malformed input.
    return code <= TT_UNK || code == TT_PLN || code > detail::lastTraceFormatCode ? TT_UNK : code;
}

/// The chromatogram code of an open file from its first bytes, which are left in `prefix`: the
/// signature, and for an experiment file as far as its trace link (none: 0).
int classifyFile(detail::TraceFileBytes& file, std::string& prefix) {
    prefix = file.readNext(detail::traceSignatureBytes);
    // Text without a trace link can be no chromatogram (see plausibleCode): the decoder is not
    // asked, nor loaded, for the sequence files every opener tries first.
    if (!holdsNul(prefix)) {
        if (prefix.size() == detail::traceSignatureBytes)
            prefix += file.readNext(detail::tracePrefixBytes - detail::traceSignatureBytes);
        if (!hasTraceLink(prefix))
            return TT_UNK;
    }
    int code;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        code = classifySignatureLocked(prefix);
    }
    bool linked = code == TT_EXP && hasTraceLink(prefix);
    if (code == TT_EXP && !linked && prefix.size() == detail::traceSignatureBytes) {
        prefix += file.readNext(detail::tracePrefixBytes - detail::traceSignatureBytes);
        linked = hasTraceLink(prefix);
    }
    return plausibleCode(code, std::string_view(prefix).substr(0, detail::traceSignatureBytes), linked);
}

bool isZtrCode(int code) { return code >= TT_ZTR && code <= TT_ZTR3; }

/// Whether the sizes and offsets the file declares fit inside it (see trace/TraceShape.h): the
/// decoder trusts them, so a file that fails is never handed over.
bool layoutFits(int code, const char* bytes, std::size_t size) {
    return detail::checkTraceShape(code, reinterpret_cast<const unsigned char*>(bytes), size) ==
           detail::ShapeFault::None;
}

struct ZtrDelete {
    void operator()(ztr_t* ztr) const { iolib::delete_ztr(ztr); }
};

typedef std::unique_ptr<ztr_t, ZtrDelete> ZtrPtr;

/// ZTR: the decoder copies the per-base chunks (positions, confidences) into arrays sized by the
/// BASE chunk, and the samples by their own count; a chunk that disagrees (or a missing BASE)
/// makes it copy past the end of an array. The chunks are uncompressed here and their decoded
/// sizes compared before the record is built. Lock held.
bool ztrChunksAgreeLocked(const ztr_t& ztrRef) {
    const ztr_t* ztr = &ztrRef;
    long long bases = -1;
    for (int i = 0; i < ztr->nchunks; ++i) {
        if (ztr->chunk[i].type != ZTR_TYPE_BASE)
            continue;
        if (bases >= 0 || ztr->chunk[i].dlength < 1)
            return false; // two BASE chunks, or one without its format byte
        bases = static_cast<long long>(ztr->chunk[i].dlength) - 1;
    }
    if (bases < 0)
        return false;
    for (int i = 0; i < ztr->nchunks; ++i) {
        const ztr_chunk_t& chunk = ztr->chunk[i];
        const long long length = chunk.dlength;
        switch (chunk.type) {
        case ZTR_TYPE_BPOS: // format byte, 3 padding bytes, 4 bytes a base
            if (length != 4 + 4 * bases)
                return false;
            break;
        case ZTR_TYPE_CNF4: // format byte, the called base's confidence, then the other three
            if (length != 1 + 4 * bases)
                return false;
            break;
        case ZTR_TYPE_CNF1:
            if (length != 1 + bases)
                return false;
            break;
        case ZTR_TYPE_SMP4: // format byte, padding, 4 channels of 2-byte samples
            if (length < 2 || (length - 2) % 8 != 0)
                return false;
            break;
        case ZTR_TYPE_SAMP:
            if (length < 2 || (length - 2) % 2 != 0)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

/// Reads a ZTR file (whose layout fits, see layoutFits) and uncompresses its chunks. The zlib
/// blocks are inflated here, each once, and checked as they are (see inflateZtrBlock): the
/// decoder's own inflation trusts a stream cut short. The decoder then undoes the other methods,
/// and the chunks must agree with each other. Null when anything is refused. Lock held.
ZtrPtr readCheckedZtrLocked(mFILE* file) {
    ZtrPtr ztr(iolib::mfread_ztr(file));
    if (!ztr)
        return ZtrPtr();
    for (int i = 0; i < ztr->nchunks; ++i) {
        ztr_chunk_t& chunk = ztr->chunk[i];
        if (chunk.dlength == 0 || !chunk.data || chunk.data[0] != ZTR_FORM_ZLIB)
            continue;
        if (!chunk.ztr_owns)
            return ZtrPtr(); // never so after mfread_ztr; the data could not be replaced
        detail::MallocBuffer inflated;
        std::size_t length = 0;
        if (detail::inflateZtrBlock(reinterpret_cast<const unsigned char*>(chunk.data), chunk.dlength,
                                    inflated, length) != detail::ShapeFault::None ||
            length > UINT_MAX)
            return ZtrPtr();
        std::free(chunk.data);
        chunk.data = inflated.release();
        chunk.dlength = static_cast<uint4>(length);
    }
    if (iolib::uncompress_ztr(ztr.get()) != 0 || !ztrChunksAgreeLocked(*ztr))
        return ZtrPtr();
    return ztr;
}

/// The trace-type code of a whole content whose first bytes are `prefix`: what classifyFile
/// gives, for an experiment file's linked trace (which must not be an experiment file itself: a
/// file linking to itself would recurse without end).
int classifyLinkedSignature(std::string_view signature) {
    int code;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        code = classifySignatureLocked(signature);
    }
    code = plausibleCode(code, signature, false);
    return code == TT_EXP ? TT_UNK : code;
}

/// Takes the file's bytes back from the in-memory file once decoding is over (on every way out)
/// and offers them as the thread's spare buffer for the next file. Lock held while it ends.
class SpareBufferReturn {
public:
    SpareBufferReturn(MFilePtr& memory, char* data, std::size_t capacity)
        : memory_(memory), data_(data), capacity_(capacity) {}
    ~SpareBufferReturn() {
        if (!memory_)
            return;
        detail::MallocBuffer bytes(static_cast<char*>(iolib::mfsteal(memory_.release(), nullptr)));
        // Only the very buffer handed over has the capacity recorded for it.
        if (bytes.get() == data_)
            detail::keepBuffer(std::move(bytes), capacity_);
    }
    SpareBufferReturn(const SpareBufferReturn&) = delete;
    SpareBufferReturn& operator=(const SpareBufferReturn&) = delete;

private:
    MFilePtr& memory_;
    char* data_;
    std::size_t capacity_;
};

/// The decoder decodes only `sections` (TraceFile::Part bits) while it lives, and what it decoded
/// before afterwards, on every way out. Lock held, the decoder loaded.
class DecoderSections {
public:
    explicit DecoderSections(int sections) : before_(iolib::read_sections(0)) {
        if (sections != before_)
            iolib::read_sections(sections);
    }
    ~DecoderSections() { iolib::read_sections(before_); }
    DecoderSections(const DecoderSections&) = delete;
    DecoderSections& operator=(const DecoderSections&) = delete;

private:
    int before_;
};

/// Decodes a chromatogram of kind `code` (never an experiment file) from `bytes`, its whole
/// content of `size` bytes in a buffer of `capacity` bytes from detail::takeBuffer, as far as
/// `sections` ask. The decoder is told the kind and gets no file name: it reads nothing but these
/// bytes. Null when the layout does not fit or decoding fails.
ReadPtr decodeChromatogram(detail::MallocBuffer bytes, std::size_t size, std::size_t capacity, int code,
                           int sections) {
    if (!bytes || !layoutFits(code, bytes.get(), size))
        return ReadPtr();
    std::lock_guard<std::mutex> lock(ioLibMutex());
    char* const data = bytes.get();
    MFilePtr memory(iolib::mfcreate(bytes.release(), static_cast<int>(size)));
    if (!memory) {
        std::free(data);
        return ReadPtr();
    }
    SpareBufferReturn spareReturn(memory, data, capacity);
    const DecoderSections decoded(sections);
    if (isZtrCode(code)) {
        // Checked and converted from the one uncompressed copy: decoding it a second time
        // would double the cost of every ZTR read.
        ZtrPtr ztr = readCheckedZtrLocked(memory.get());
        Read* read = ztr ? iolib::ztr2read(ztr.get()) : nullptr;
        if (read)
            read->format = code;
        return ReadPtr(read);
    }
    return ReadPtr(iolib::mfread_reading(memory.get(), nullptr, code));
}

/// What an experiment file adds to the record of its linked trace, copied out of the decoder's
/// parse of the file: each line's last entry, and whether the line is there at all.
struct ExperimentLines {
    struct Line {
        bool present = false;
        std::string text;
    };
    Line link, type, qualityLeft, qualityRight, sequenceLeft, sequenceRight, sequence, confidences;
};

/// The lines of the experiment file held in `bytes`; false when it cannot be parsed.
bool parseExperiment(std::string_view bytes, ExperimentLines& lines) {
    std::lock_guard<std::mutex> lock(ioLibMutex());
    MFilePtr memory = memoryFileLocked(bytes);
    if (!memory)
        return false;
    ExpInfoPtr info(iolib::exp_mfread_info(memory.get()));
    if (!info)
        return false;
    const std::pair<int, ExperimentLines::Line*> wanted[] = {
        {EFLT_LN, &lines.link},         {EFLT_LT, &lines.type},
        {EFLT_QL, &lines.qualityLeft},  {EFLT_QR, &lines.qualityRight},
        {EFLT_SL, &lines.sequenceLeft}, {EFLT_SR, &lines.sequenceRight},
        {EFLT_SQ, &lines.sequence},     {EFLT_AV, &lines.confidences}};
    for (const auto& line : wanted) {
        if (exp_Nentries(info.get(), line.first) == 0)
            continue;
        const char* entry = exp_get_entry(info.get(), line.first);
        line.second->present = entry != nullptr;
        line.second->text = entry ? entry : "";
    }
    return true;
}

/// The record of the trace an experiment file links to: its bytes are read once, from the file
/// beside the experiment file (or at an absolute link), checked as a file of its own would be, and
/// decoded from memory. Null when the link leads to no usable chromatogram or the file's declared
/// trace type ("LT") names another kind.
ReadPtr readLinkedTrace(const ExperimentLines& lines, const std::string& path, int sections) {
    const std::string& link = lines.link.text;
    if (!lines.link.present || link.empty())
        return ReadPtr();
    const std::size_t slash = path.rfind('/');
    const std::string linkedPath =
        link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
    detail::TraceFileBytes linked(linkedPath.c_str());
    if (!linked.isOpen())
        return ReadPtr();
    const std::string prefix = linked.readNext(detail::traceSignatureBytes);
    const int code = classifyLinkedSignature(prefix);
    if (code == TT_UNK)
        return ReadPtr();
    if (lines.type.present) {
        std::vector<char> type(lines.type.text.begin(), lines.type.text.end());
        type.push_back('\0');
        int declared;
        {
            std::lock_guard<std::mutex> lock(ioLibMutex());
            declared = iolib::trace_type_str2int(type.data());
        }
        const bool agrees = declared == TT_UNK || declared == TT_ANYTR || declared == code ||
                            (isZtrCode(declared) && isZtrCode(code));
        if (!agrees)
            return ReadPtr();
    }
    std::size_t size = 0;
    detail::MallocBuffer bytes = linked.readAll(prefix, contentLimit(linked), size);
    return decodeChromatogram(std::move(bytes), size, linked.bufferCapacity(), code, sections);
}

/// A clip point as the decoder reads it (atoi).
int clipValue(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 10)); }

/// Replaces `array` (malloc'ed, as the record's arrays are) by `count` zeroed bytes.
bool reallocZeroed(char*& array, std::size_t count) {
    char* grown = static_cast<char*>(std::realloc(array, count));
    if (!grown)
        return false;
    array = grown;
    std::memset(array, 0, count);
    return true;
}

/// Lays an experiment file's lines over its linked trace's record, as the decoder does: the clip
/// points from the quality and sequence clips (the inner of each pair), and the edited sequence
/// ("SQ", with its confidences "AV" credited to the called base, or to all four for another
/// code) in place of the calls, whose sample positions then no longer apply. False when memory
/// runs out.
bool applyExperiment(const ExperimentLines& lines, Read& read) {
    const int noLeft = -1;
    const int noRight = INT_MAX;
    const int qualityLeft = lines.qualityLeft.present ? clipValue(lines.qualityLeft.text) : noLeft;
    const int sequenceLeft = lines.sequenceLeft.present ? clipValue(lines.sequenceLeft.text) : noLeft;
    if (qualityLeft != noLeft || sequenceLeft != noLeft)
        read.leftCutoff = std::max(qualityLeft, sequenceLeft);
    const int qualityRight = lines.qualityRight.present ? clipValue(lines.qualityRight.text) : noRight;
    const int sequenceRight = lines.sequenceRight.present ? clipValue(lines.sequenceRight.text) : noRight;
    if (qualityRight != noRight || sequenceRight != noRight)
        read.rightCutoff = std::min(qualityRight, sequenceRight);
    if (read.rightCutoff != 0 && read.rightCutoff <= read.leftCutoff)
        read.rightCutoff = read.leftCutoff == INT_MAX ? INT_MAX : read.leftCutoff + 1;

    if (lines.sequence.present) {
        const std::string& sequence = lines.sequence.text;
        const std::size_t count = sequence.size();
        if (count > static_cast<std::size_t>(INT_MAX) - 1)
            return false;
        for (char** array : {&read.base, &read.prob_A, &read.prob_C, &read.prob_G, &read.prob_T})
            if (!reallocZeroed(*array, count + 1))
                return false;
        std::memcpy(read.base, sequence.c_str(), count + 1);
        read.NBases = static_cast<int>(count);
        std::free(read.basePos);
        read.basePos = nullptr;
        // Confidences: numbers separated by anything else, one a base; missing ones stay 0.
        static const char calls[] = "AaCcGgTt";
        const char* at = lines.confidences.present ? lines.confidences.text.c_str() : "";
        for (std::size_t i = 0; i < count && *at; ++i) {
            char* end = nullptr;
            const long value = std::strtol(at, &end, 10);
            if (end == at || *end == ',')
                break; // not a number, or the four-values-a-base form the decoder does not take
            at = end;
            const char confidence = static_cast<char>(static_cast<unsigned char>(value));
            char* probs[4] = {read.prob_A, read.prob_C, read.prob_G, read.prob_T};
            const char* called = std::strchr(calls, read.base[i]);
            if (read.base[i] != '\0' && called) {
                probs[(called - calls) / 2][i] = confidence;
            } else {
                for (char* prob : probs)
                    prob[i] = confidence;
            }
        }
    }
    read.format = TT_EXP;
    return true;
}

/// An experiment file held in `bytes`: its linked trace decoded from that file's own bytes, with
/// the experiment file's lines laid over it. The decoder never opens a file by name here.
ReadPtr decodeExperiment(const std::string& path, std::string_view bytes, int sections) {
    ExperimentLines lines;
    if (!parseExperiment(bytes, lines))
        return ReadPtr();
    ReadPtr read = readLinkedTrace(lines, path, sections);
    if (!read || !applyExperiment(lines, *read))
        return ReadPtr();
    return read;
}

/// Decodes the whole file (already known by its first bytes to be a chromatogram of kind `code`)
/// from memory, as far as `sections` ask; the record is named by `path`. With `titleOnly` the
/// comments are wanted for their first line alone, which for an ABI file is found without
/// decoding them (see AbiCommentTitle.h): the record's info is then that line. Null when it
/// cannot be read or decoded.
ReadPtr decode(const char* path, detail::TraceFileBytes& file, const std::string& prefix, int code,
               int sections, bool titleOnly) {
    std::size_t size = 0;
    detail::MallocBuffer bytes;
    if (code == TT_ABI && (sections & (TraceFile::Samples | TraceFile::Comments)) != (TraceFile::Samples | TraceFile::Comments)) {
        // Channels the decoder is not to decode are not read at all: they are most of the file.
        const auto holes = detail::abiUnreadRanges(file, prefix, (sections & TraceFile::Samples) != 0);
        if (!holes.empty())
            bytes = file.readAllBut(prefix, contentLimit(file), holes, size);
    }
    if (!bytes)
        bytes = file.readAll(prefix, contentLimit(file), size);
    if (!bytes)
        return ReadPtr();
    std::string title;
    const bool titled = titleOnly && code == TT_ABI &&
                        detail::abiCommentTitle(reinterpret_cast<const unsigned char*>(bytes.get()), size, title);
    if (titled)
        sections &= ~TraceFile::Comments;
    ReadPtr read;
    if (code == TT_EXP) {
        read = decodeExperiment(path, std::string_view(bytes.get(), size), sections);
        detail::keepBuffer(std::move(bytes), file.bufferCapacity());
    } else {
        read = decodeChromatogram(std::move(bytes), size, file.bufferCapacity(), code, sections);
    }
    if (!read)
        return read;
    if (titled) {
        char* info = static_cast<char*>(std::malloc(title.size() + 1));
        if (!info)
            return ReadPtr();
        std::memcpy(info, title.c_str(), title.size() + 1);
        std::free(read->info);
        read->info = info;
    }
    char* name = static_cast<char*>(std::malloc(std::strlen(path) + 1));
    if (!name)
        return ReadPtr();
    std::strcpy(name, path);
    std::free(read->trace_name);
    read->trace_name = name;
    return read;
}

/// The first bytes of the file's content as far as detection looks (see detail::tracePrefixBytes):
/// from the record the other sniffers of the same file share, or inflated here for a gzip file.
/// `storage` holds inflated bytes. False when the file cannot be read.
bool contentHead(const char* path, std::string& storage, std::string_view& head) {
    bool complete = false;
    if (!path || !cmn::peekFileHead(path, detail::tracePrefixBytes, head, complete))
        return false;
    if (!detail::startsGzip(head))
        return true;
    detail::TraceFileBytes file(path);
    storage = file.readNext(detail::tracePrefixBytes);
    head = storage;
    return file.isCompressed();
}

} // namespace

TraceFile::FormatType TraceFile::getFormat(const char* path) {
    // The verdict is the one classifyFile gives when it reads the first bytes itself.
    std::string inflated;
    std::string_view head;
    if (!contentHead(path, inflated, head))
        return Unknown;
    const std::string_view signature = head.substr(0, detail::traceSignatureBytes);
    // Detection over many files asks this mostly of text files without a trace link, which can
    // be no chromatogram (see plausibleCode); the decoder's classifier would copy and scan each
    // of them under the global lock.
    const bool linked = hasTraceLink(head);
    if (!holdsNul(signature) && !linked)
        return Unknown;
    int code;
    try {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        code = classifySignatureLocked(signature);
    } catch (const iolib::Unavailable&) {
        // Without the decoder no file is known for a chromatogram; reading one says why.
        return Unknown;
    }
    return static_cast<FormatType>(plausibleCode(code, signature, linked));
}

bool holdsTextWithoutSamples(const char* path) {
    std::string inflated;
    std::string_view head;
    if (!contentHead(path, inflated, head))
        return false;
    int code;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        code = decoderVerdictLocked(head.substr(0, detail::traceSignatureBytes));
    }
    return code == TT_PLN || (code == TT_EXP && !hasTraceLink(head));
}

bool TraceFile::supports(const char* format) {
    if (!format)
        return false;
    for (int code = 1; code <= detail::lastTraceFormatCode; ++code) {
        const char* name = detail::traceFormatNames[code];
        if (cmn::compareNoCase(format, name, static_cast<unsigned>(std::strlen(name))) == 0)
            return true;
    }
    return false;
}

Velm::FormatList TraceFile::getSupportedFormats() {
    Velm::FormatList formats;
    for (int code = 1; code <= detail::lastTraceFormatCode; ++code) {
        std::string name = detail::traceFormatNames[code];
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        formats.push_back(std::make_pair(name, name + " Sequence File Format"));
    }
    return formats;
}

boost::shared_ptr<Velm::TraceData> TraceFile::read(const char* path, cmn::OpContext* ctx) {
    return read(path, ctx, AllParts);
}

boost::shared_ptr<Velm::TraceData> TraceFile::read(const char* path, cmn::OpContext* /*ctx*/, unsigned parts) {
    // The calls are what makes a record; the decoder's section bits are these parts' values.
    const bool titleOnly = (parts & CommentTitle) && !(parts & Comments);
    const int sections = static_cast<int>((parts & AllParts) | Calls | (titleOnly ? Comments : 0));
    static_assert(Calls == READ_BASES && Samples == READ_SAMPLES && Comments == READ_COMMENTS,
                  "the parts are the decoder's section bits");
    boost::shared_ptr<Velm::TraceData> result;
    detail::TraceFileBytes file(path);
    if (!file.isOpen())
        return result;
    // Only files whose first bytes carry a chromatogram signature are read in full.
    std::string prefix;
    const int code = classifyFile(file, prefix);
    if (code == TT_UNK)
        return result;
    ReadPtr record = decode(path, file, prefix, code, sections, titleOnly);
    if (!record || record->format <= 0)
        return result;
    if (!(parts & (Comments | CommentTitle))) {
        // Formats decoded whole keep their comments: what was not asked for is not given.
        std::free(record->info);
        record->info = nullptr;
    } else if (titleOnly && record->info) {
        if (char* end = std::strchr(record->info, '\n'))
            *end = '\0';
    }
    boost::shared_ptr<Velm::TraceData> data(new Velm::TraceData());
    if (detail::fillTraceData(*record, *data, (sections & Samples) != 0))
        result = data;
    return result;
}

} // namespace Ovik
