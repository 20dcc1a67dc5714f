// The FASTQ format source: the factory's way in to the archive layer's FASTQ reader and writer.
#include <contracts/SeqArchive.h>

#include "FastqVariants.h"
#include "Messages.h"
#include "TextUtil.h"

#include <cstring>
#include <unistd.h>

namespace Ovik {

namespace {

const char* const kEncoding = "FASTQ";
const char* const kNotSequenceModel = ": the model cannot hold sequences";
const char* const kNothingToSave = ": nothing to save";
const char* const kOtherFormat = ": the path names another format: ";
const char* const kNotSupported = ": format not supported by this source: ";

// FASTQ and its named old encodings (fastq-illumina, fastq-solexa).
bool isFastqName(const std::string& format) {
    return fastq::isVariant(SALSource::canonicalName(format.c_str()));
}

// The canonical name the archive layer reads or writes a path with: the path's own FASTQ name,
// or plain FASTQ.
const char* variantOf(const char* path) {
    const cmn::QualifiedPath split(path ? path : "");
    const char* name = split.qualified ? SALSource::canonicalName(split.format.c_str()) : nullptr;
    return fastq::isVariant(name) ? name : SALSource::FASTQ;
}

bool endsWithNoCase(const std::string& text, std::size_t end, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return end >= n && text::equalNoCase(text.substr(end - n, n).c_str(), suffix);
}

// .fq or .fastq, alone or before a compression suffix.
bool hasFastqName(const std::string& file) {
    std::size_t end = file.size();
    for (const char* packed : {".gz", ".bz2", ".xz", ".zst"})
        if (endsWithNoCase(file, end, packed)) {
            end -= std::strlen(packed);
            break;
        }
    return endsWithNoCase(file, end, ".fq") || endsWithNoCase(file, end, ".fastq");
}

// The first bytes could start FASTQ text, or a compressed file that may hold it. Every file the
// factory classifies is asked about: most are turned away here, without judging their content.
bool mayBeFastq(const std::string& file) {
    std::string_view head;
    bool complete = false;
    if (!cmn::peekFileHead(file, 64, head, complete))
        return false;
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && head[first] == '@')
        return true;
    for (const char* magic : {"\x1f\x8b", "BZh", "\xfd" "7zXZ", "\x28\xb5\x2f\xfd"})
        if (head.compare(0, std::strlen(magic), magic) == 0)
            return true;
    return false;
}

// Ours: FASTQ content, or a FASTQ name over content that no other format marks as its own. Plain
// letters (which the archive probe calls Staden) and file lists are not marks: a FASTQ name wins
// over them.
bool claims(const std::string& file) {
    const bool named = hasFastqName(file);
    if (!named && !mayBeFastq(file))
        return false;
    const std::string format = SeqArchive::GetFileFormat(file);
    return format == SALSource::FASTQ ||
           (named && (format.empty() || format == SALSource::STADEN || format == SALSource::LST));
}

void report(cmn::OpContext* ctx, const std::string& text) {
    if (ctx)
        ctx->error(text);
}

// The model as a sequence model, with `file` set to the path's file part, when the path's format
// part (if any) names FASTQ and the model can hold sequences; otherwise null, after a report.
Velm::BioModel* sequencesOf(const char* path, Velm::Model& model, std::string& file,
                            cmn::OpContext* ctx) {
    const cmn::QualifiedPath split(path ? path : "");
    file = split.file;
    if (split.qualified && !isFastqName(split.format)) {
        report(ctx, file + kOtherFormat + split.format);
        return nullptr;
    }
    auto* bio = dynamic_cast<Velm::BioModel*>(&model);
    if (!bio)
        report(ctx, file + kNotSequenceModel);
    return bio;
}

// True when `format` names FASTQ; otherwise false, after a report.
bool namesFastq(const char* path, const char* format, cmn::OpContext* ctx) {
    if (format && isFastqName(format))
        return true;
    report(ctx, cmn::QualifiedPath(path ? path : "").file + kNotSupported + (format ? format : ""));
    return false;
}

// One sequence model per read, through the archive layer's iterator, marked as FASTQ.
class FastqModelIter : public Velm::ModelIter, public RecordViewSource {
public:
    FastqModelIter(const char* path, const char* qualifier, cmn::OpContext* ctx)
        : entries_(path, qualifier, ctx, variantOf(path)) {
        entries_.setEncoding(kEncoding);
    }

    boost::shared_ptr<Velm::Model> next() override { return entries_.next(); }

    bool nextView(RecordView& view, boost::shared_ptr<Velm::Sequence>& entry,
                  boost::shared_ptr<const std::string>& source) override {
        return entries_.nextView(view, entry, source);
    }

private:
    SALArchiveModelIter entries_;
};

} // namespace

FastqModelSource::FastqModelSource(int defaultQuality) : defaultQuality_(defaultQuality) {}

const char* FastqModelSource::getName() const { return "FastqModelSource"; }

bool FastqModelSource::handles(const char* path) const {
    if (!path)
        return false;
    const cmn::QualifiedPath split(path);
    if (split.qualified)
        return isFastqName(split.format);
    if (!cmn::isRegularFile(split.file))
        // Nothing to judge: a file yet to be written is ours by its name.
        return hasFastqName(split.file) && ::access(split.file.c_str(), F_OK) != 0;
    return claims(split.file);
}

const char* FastqModelSource::getType(const char* path) const {
    if (!path)
        return "";
    const cmn::QualifiedPath split(path);
    if (split.qualified && !isFastqName(split.format))
        return "";
    if (!cmn::isRegularFile(split.file))
        return "";
    return split.qualified || claims(split.file) ? Velm::SeqModel::className : "";
}

Velm::FormatList FastqModelSource::getSupportedFormats() {
    return {{SALSource::FASTQ, "FASTQ reads with Phred+33 qualities (.fq, .fastq)"},
            {fastq::kIllumina, "FASTQ with old Illumina Phred+64 qualities, read and written only when named"},
            {fastq::kSolexa, "FASTQ with old Solexa+64 scores, read and written only when named"}};
}

bool FastqModelSource::supports(const char* format) const { return format && isFastqName(format); }

// A format argument names the encoding as a FORMAT@@FILE path would (the path's own name wins).
static std::string withFormat(const char* path, const char* format) {
    const std::string text = path ? path : "";
    return cmn::QualifiedPath(text).qualified ? text : std::string(format) + "@@" + text;
}

bool FastqModelSource::retrieve(const char* path, Velm::Model& model, const char* format,
                                cmn::OpContext* ctx, const char* qualifier) {
    return namesFastq(path, format, ctx) && retrieve(withFormat(path, format).c_str(), model, ctx, qualifier);
}

bool FastqModelSource::retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                                const char* /*qualifier*/) {
    std::string file;
    Velm::BioModel* bio = sequencesOf(path, model, file, ctx);
    if (!bio)
        return false;
    if (!cmn::isRegularFile(file))
        return false; // nothing to read: as the factory's own route, an empty model, no report
    // A fault part way (a malformed read, a truncated archive) passes to the caller as the
    // archive reader's own error, exactly as the factory's archive route lets it pass: a model
    // holding the reads before the fault must never be taken for a complete file.
    ISeqArchive archive(file, variantOf(path), "");
    archive.setContext(ctx);
    while (!archive.atEnd())
        bio->addSeq(createSequence(archive));
    model.setEncoding(kEncoding);
    return true;
}

bool FastqModelSource::save(const char* path, Velm::Model& model, const char* format,
                            cmn::OpContext* ctx) {
    return namesFastq(path, format, ctx) && save(withFormat(path, format).c_str(), model, ctx);
}

bool FastqModelSource::save(const char* path, Velm::Model& model, cmn::OpContext* ctx) {
    // The file about to be replaced may hold reads, but its name says what to write now.
    const cmn::QualifiedPath split(path ? path : "");
    if (!split.qualified && !hasFastqName(split.file))
        return false;
    std::string file;
    Velm::BioModel* bio = sequencesOf(path, model, file, ctx);
    if (!bio)
        return false;
    if (bio->empty()) {
        report(ctx, file + kNothingToSave);
        return false;
    }
    OSeqArchive archive(file, variantOf(path), "");
    archive.setDefaultQuality(defaultQuality_);
    for (const auto& sequence : bio->sequences())
        saveSequence(*sequence, archive);
    archive.close();
    model.setEncoding(kEncoding);
    return true;
}

boost::shared_ptr<Velm::ModelIter> FastqModelSource::openIterator(const char* path, cmn::OpContext* ctx) {
    // No file to read (the name alone made the path ours, for saving): no iterator, so that the
    // caller fails at once rather than at the first read.
    if (!path || !cmn::isRegularFile(cmn::QualifiedPath(path).file))
        return boost::shared_ptr<Velm::ModelIter>();
    return boost::shared_ptr<Velm::ModelIter>(new FastqModelIter(path, nullptr, ctx));
}

} // namespace Ovik
