#include "trace/TraceFile.h"

#include "trace/IoLibLock.h"
#include "trace/TraceConversion.h"
#include "trace/TraceFileBytes.h"
#include "trace/TraceShape.h"

#include <contracts/Common.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// The decoder's headers come last: they define macros of their own.
#include <io_lib/Read.h>
#include <io_lib/expFileIO.h>
#include <io_lib/open_trace_file.h>
#include <io_lib/traceType.h>
#include <io_lib/ztr.h>

namespace Ovik {

namespace detail {

std::mutex& ioLibMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace detail

namespace {

using detail::ioLibMutex;

/// Longest file the decoder's in-memory files can hold (their size is an int).
constexpr std::size_t maxTraceFileBytes = static_cast<std::size_t>(INT_MAX);
/// The decoder copies linked trace names into fixed buffers of about these sizes.
constexpr std::size_t maxLinkNameLength = 1000;
constexpr std::size_t maxLinkPathLength = 4000;

struct MFileDestroy {
    void operator()(mFILE* file) const { mfdestroy(file); }
};
typedef std::unique_ptr<mFILE, MFileDestroy> MFilePtr;

struct ExpInfoDestroy {
    void operator()(Exp_info* info) const { exp_destroy_info(info); }
};
typedef std::unique_ptr<Exp_info, ExpInfoDestroy> ExpInfoPtr;

/// Releases a decoded record; never destroyed while the lock is held.
struct ReadRelease {
    void operator()(Read* read) const {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        read_deallocate(read);
    }
};
typedef std::unique_ptr<Read, ReadRelease> ReadPtr;

/// A copy of `bytes` as an in-memory file of the decoder (which takes over the copy). Lock held.
MFilePtr memoryFileLocked(std::string_view bytes) {
    char* copy = static_cast<char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!copy)
        return MFilePtr();
    std::memcpy(copy, bytes.data(), bytes.size());
    return MFilePtr(mfcreate(copy, static_cast<int>(bytes.size())));
}

/// Compressed content would be unpacked by the decoder, for most methods by running an external
/// program. Chromatograms are never stored that way, so such files are simply not chromatograms.
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

/// The decoder's verdict on a file's first bytes; 0 for plain text, unknown and compressed
/// content. Lock held.
int classifySignatureLocked(std::string_view prefix) {
    if (prefix.empty() || looksCompressed(prefix))
        return TT_UNK;
    MFilePtr file = memoryFileLocked(prefix);
    if (!file)
        return TT_UNK;
    const int code = fdetermine_trace_type(file.get());
    // Only the chromatogram kinds this reader lists: the decoder also recognises other kinds
    // (flowgram archives) whose readers it does not guard against malformed input.
    return code <= TT_UNK || code == TT_PLN || code > detail::lastTraceFormatCode ? TT_UNK : code;
}

/// The chromatogram code of an open file from its first bytes, which are left in `prefix`: the
/// signature, and for an experiment file as far as its trace link (none: 0).
int classifyFile(detail::TraceFileBytes& file, std::string& prefix) {
    prefix = file.readNext(detail::traceSignatureBytes);
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
    void operator()(ztr_t* ztr) const { delete_ztr(ztr); }
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
    ZtrPtr ztr(mfread_ztr(file));
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
    if (uncompress_ztr(ztr.get()) != 0 || !ztrChunksAgreeLocked(*ztr))
        return ZtrPtr();
    return ztr;
}

/// The same checks on a file the decoder will read by itself (an experiment file's linked
/// trace), made on a copy. Lock held.
bool ztrBytesAgreeLocked(const char* bytes, std::size_t size) {
    MFilePtr copy = memoryFileLocked(std::string_view(bytes, size));
    return copy && readCheckedZtrLocked(copy.get());
}

/// The folder of `path` as the decoder's search-path element needs it; "" when it cannot be
/// expressed (a "%s" in it would be expanded as a pattern).
std::string searchElementForFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string folder;
    if (slash == std::string::npos)
        folder = ".";
    else if (slash == 0)
        folder = "/";
    else
        folder = path.substr(0, slash);
    for (std::size_t at = folder.find('%'); at != std::string::npos; at = folder.find('%', at + 1)) {
        std::size_t next = at + 1;
        while (next < folder.size() && std::isdigit(static_cast<unsigned char>(folder[next])))
            ++next;
        if (next < folder.size() && folder[next] == 's')
            return std::string();
    }
    if (folder[0] != '/' && folder != ".")
        folder = "./" + folder; // never read as a "URL=", "TAR=" ... element
    // "|": no compressed variants; "::" is how the search path spells a literal colon.
    std::string element = "|";
    for (char c : folder) {
        element += c;
        if (c == ':')
            element += ':';
    }
    return element;
}

/// For an experiment file: checks that its trace link names a usable chromatogram beside it (or at
/// an absolute path) and returns the only search-path element the decoder may then use, so that
/// it never looks in $TRACE_PATH, $RAWDATA, URLs or the current folder. "" to refuse. Lock held.
std::string linkedTraceSearchPathLocked(mFILE* experiment, const std::string& path) {
    ExpInfoPtr info(exp_mfread_info(experiment));
    mrewind(experiment);
    if (!info || exp_Nentries(info.get(), EFLT_LN) == 0)
        return std::string();
    const char* linkEntry = exp_get_entry(info.get(), EFLT_LN);
    const std::string link = linkEntry ? linkEntry : "";
    if (link.empty() || link.size() >= maxLinkNameLength || path.size() >= maxLinkPathLength)
        return std::string();

    const bool absolute = link[0] == '/';
    const std::size_t slash = path.rfind('/');
    const std::string linkedPath =
        absolute ? link : (slash == std::string::npos ? link : path.substr(0, slash + 1) + link);
    if (linkedPath.size() >= maxLinkPathLength || !cmn::isRegularFile(linkedPath))
        return std::string();

    // The linked file is decoded by type, so it must be a chromatogram itself (never another
    // experiment file: a file linking to itself would recurse without end).
    detail::TraceFileBytes linked(linkedPath.c_str());
    const std::string linkedPrefix = linked.readNext(detail::traceSignatureBytes);
    const int linkedCode = classifySignatureLocked(linkedPrefix);
    if (linkedCode == TT_UNK || linkedCode == TT_EXP)
        return std::string();
    // The decoder reads the linked file itself: its layout is checked as the file's own would be.
    std::size_t linkedSize = 0;
    detail::MallocBuffer linkedBytes = linked.readAll(linkedPrefix, maxTraceFileBytes, linkedSize);
    if (!linkedBytes || !layoutFits(linkedCode, linkedBytes.get(), linkedSize) ||
        (isZtrCode(linkedCode) && !ztrBytesAgreeLocked(linkedBytes.get(), linkedSize)))
        return std::string();
    if (exp_Nentries(info.get(), EFLT_LT) != 0) {
        const char* typeEntry = exp_get_entry(info.get(), EFLT_LT);
        std::vector<char> type(typeEntry, typeEntry + std::strlen(typeEntry) + 1);
        const int declared = trace_type_str2int(type.data());
        const bool agrees = declared == TT_UNK || declared == TT_ANYTR || declared == linkedCode ||
                            (isZtrCode(declared) && isZtrCode(linkedCode));
        if (!agrees)
            return std::string();
    }
    return absolute ? std::string("|/") : searchElementForFolderOf(path);
}

/// Points the decoder's trace search path at one element while it decodes, then puts back what
/// was there. Lock held throughout.
class TracePathOverride {
public:
    explicit TracePathOverride(std::string* element) : active_(element != nullptr) {
        if (active_) {
            previous_ = iolib_get_trace_path();
            iolib_set_trace_path(&(*element)[0]);
        }
    }
    ~TracePathOverride() {
        if (active_)
            iolib_set_trace_path(previous_);
    }
    TracePathOverride(const TracePathOverride&) = delete;
    TracePathOverride& operator=(const TracePathOverride&) = delete;

private:
    bool active_;
    char* previous_ = nullptr;
};

/// Takes the file's bytes back from the in-memory file once decoding is over (on every way out)
/// and offers them as the thread's spare buffer for the next file. Lock held while it ends.
class SpareBufferReturn {
public:
    SpareBufferReturn(MFilePtr& memory, char* data, std::size_t capacity)
        : memory_(memory), data_(data), capacity_(capacity) {}
    ~SpareBufferReturn() {
        if (!memory_)
            return;
        detail::MallocBuffer bytes(static_cast<char*>(mfsteal(memory_.release(), nullptr)));
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

/// Decodes the whole file (already known by its first bytes to be a chromatogram of kind `code`)
/// from memory. Null when it cannot be read or decoded.
ReadPtr decode(const char* path, detail::TraceFileBytes& file, const std::string& prefix, int code) {
    std::size_t size = 0;
    detail::MallocBuffer bytes = file.readAll(prefix, maxTraceFileBytes, size);
    if (!bytes || !layoutFits(code, bytes.get(), size))
        return ReadPtr();
    const std::string pathText(path);
    std::vector<char> name(pathText.begin(), pathText.end());
    name.push_back('\0');

    Read* read = nullptr;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        char* const data = bytes.get();
        MFilePtr memory(mfcreate(bytes.release(), static_cast<int>(size)));
        if (!memory) {
            std::free(data);
            return ReadPtr();
        }
        SpareBufferReturn spareReturn(memory, data, file.bufferCapacity());
        if (isZtrCode(code)) {
            // Checked and converted from the one uncompressed copy: decoding it a second time
            // would double the cost of every ZTR read.
            ZtrPtr ztr = readCheckedZtrLocked(memory.get());
            if (!ztr)
                return ReadPtr();
            read = ztr2read(ztr.get());
            if (read) {
                read->format = code;
                read->trace_name = static_cast<char*>(std::malloc(name.size()));
                if (read->trace_name)
                    std::memcpy(read->trace_name, name.data(), name.size());
            }
            return ReadPtr(read);
        }
        std::string searchPath;
        if (code == TT_EXP) {
            searchPath = linkedTraceSearchPathLocked(memory.get(), pathText);
            if (searchPath.empty())
                return ReadPtr();
        }
        TracePathOverride override(code == TT_EXP ? &searchPath : nullptr);
        read = mfread_reading(memory.get(), name.data(), TT_ANY);
    }
    return ReadPtr(read);
}

} // namespace

TraceFile::FormatType TraceFile::getFormat(const char* path) {
    // The first bytes come from the record that the other sniffers of the same file share; the
    // verdict is the one classifyFile gives when it reads them itself.
    std::string_view head;
    bool complete = false;
    if (!path || !cmn::peekFileHead(path, detail::tracePrefixBytes, head, complete))
        return Unknown;
    const std::string_view signature = head.substr(0, detail::traceSignatureBytes);
    // Detection over many files asks this mostly of text files without a trace link, which can
    // be no chromatogram (see plausibleCode); the decoder's classifier would copy and scan each
    // of them under the global lock.
    const bool linked = hasTraceLink(head);
    if (!holdsNul(signature) && !linked)
        return Unknown;
    int code;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        code = classifySignatureLocked(signature);
    }
    return static_cast<FormatType>(plausibleCode(code, signature, linked));
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

boost::shared_ptr<Velm::TraceData> TraceFile::read(const char* path, cmn::OpContext* /*ctx*/) {
    boost::shared_ptr<Velm::TraceData> result;
    detail::TraceFileBytes file(path);
    if (!file.isOpen())
        return result;
    // Only files whose first bytes carry a chromatogram signature are read in full.
    std::string prefix;
    const int code = classifyFile(file, prefix);
    if (code == TT_UNK)
        return result;
    ReadPtr record = decode(path, file, prefix, code);
    if (!record || record->format <= 0)
        return result;
    boost::shared_ptr<Velm::TraceData> data(new Velm::TraceData());
    if (detail::fillTraceData(*record, *data))
        result = data;
    return result;
}

} // namespace Ovik
