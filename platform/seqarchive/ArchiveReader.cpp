#include "ArchiveReader.h"
#include "TextUtil.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>

#include <cstdio>
#include <cstring>

namespace Ovik {

namespace {

// A dropped entry is reused only when it holds nothing a reader would not set again; buffers of
// big entries are let go, so that a spare never holds a chromosome.
bool emptyForReuse(Velm::NASequence& seq) {
    const Velm::NASequence& view = seq;
    if (!view.accession().empty() || !view.annotations().empty() || !view.features().empty() ||
        view.trace() || view.declaredLength() != 0)
        return false;
    constexpr std::size_t kKeep = 1u << 16;
    if (seq.residues().capacity() > kKeep)
        std::string().swap(seq.residues());
    seq.residues().clear();
    seq.dropConfidences(kKeep); // the next entry holds confidences only if its reader sets them
    seq.setName(std::string()); // a move from an empty text keeps the buffer
    seq.setDescription(std::string());
    return true;
}

} // namespace

ArchiveReader::ArchiveReader(const std::string& path) : ArchiveReader(LineSource(path)) {}

ArchiveReader::ArchiveReader(LineSource&& source)
    : src_(std::move(source)), path_(boost::make_shared<const std::string>(src_.path())),
      spareEntries_(&emptyForReuse) {}

bool ArchiveReader::atEnd() {
    if (!error_.empty())
        return false;
    try {
        ready_ = ready_ || hasMore();
        return !ready_;
    } catch (const SeqArchiveError& e) {
        error_ = e.what();
        return false;
    }
}

boost::shared_ptr<Velm::Sequence> ArchiveReader::read() {
    if (!error_.empty())
        throw SeqArchiveError(error_);
    try {
        if (!ready_ && !hasMore())
            src_.fail(msg::kNoEntry);
        ready_ = false;
        return readEntry();
    } catch (const SeqArchiveError& e) {
        error_ = e.what();
        throw;
    }
}

bool ArchiveReader::readView(RecordView& view) {
    if (!error_.empty())
        throw SeqArchiveError(error_);
    // The entry the last view showed is let go first, so that it can be reused for this one.
    held_.reset();
    recycling_ = true;
    try {
        if (!ready_ && !hasMore())
            return false;
        ready_ = false;
        readEntryView(view);
        return true;
    } catch (const SeqArchiveError& e) {
        error_ = e.what();
        throw;
    }
}

void ArchiveReader::readEntryView(RecordView& view) { viewEntry(readEntry(), view); }

void ArchiveReader::viewEntry(boost::shared_ptr<Velm::Sequence> entry, RecordView& view) {
    held_ = std::move(entry);
    const Velm::Sequence& seq = *held_;
    view.name = seq.name();
    view.description = seq.description();
    view.accession = seq.accession();
    view.residues = seq.residues();
    const auto* na = dynamic_cast<const Velm::NASequence*>(&seq);
    view.hasQualities = na && na->hasConfidences();
    view.qualities = view.hasQualities ? std::string_view(reinterpret_cast<const char*>(na->confidences().data()),
                                                          na->confidences().size())
                                       : std::string_view();
    view.moleculeType = seq.moleculeType();
    view.sequence = &seq;
}

void ArchiveReader::warn(const std::string& text) const {
    if (ctx_)
        ctx_->warning(text);
}

boost::shared_ptr<Velm::Sequence> ArchiveReader::makeSequence(Velm::Sequence::MoleculeType type) const {
    // One allocation for the object and its count: it matters for files of many short entries.
    boost::shared_ptr<Velm::Sequence> seq;
    if (type == Velm::Sequence::MoleculeType::DNA)
        seq = recycling_ ? spareEntries_.get() : boost::make_shared<Velm::NASequence>();
    else
        seq = boost::make_shared<Velm::Sequence>();
    seq->setMoleculeType(type);
    if (&seq->source() != path_.get()) // a reused entry has it already
        seq->setSource(path_);
    return seq;
}

boost::shared_ptr<Velm::Sequence> ArchiveReader::retype(boost::shared_ptr<Velm::Sequence> seq,
                                                        Velm::Sequence::MoleculeType type) const {
    using Type = Velm::Sequence::MoleculeType;
    if ((seq->moleculeType() == Type::DNA) == (type == Type::DNA)) {
        seq->setMoleculeType(type);
        return seq;
    }
    boost::shared_ptr<Velm::Sequence> other = makeSequence(type);
    other->setName(seq->name());
    other->setDescription(seq->description());
    return other;
}

boost::shared_ptr<Velm::Sequence> ArchiveReader::makeAnnotatedEntry(
    Velm::Sequence::MoleculeType type, const std::string& name, const std::string& accession,
    const std::string& description, Velm::PropertyList&& annotations,
    std::vector<Velm::Feature>&& features, const std::string& residues) const {
    if (type == Velm::Sequence::MoleculeType::Unknown)
        type = text::guessType(residues);
    boost::shared_ptr<Velm::Sequence> seq = makeSequence(type);
    seq->setName(name);
    seq->setAccession(accession);
    seq->setDescription(description);
    // Entries without them keep no block for the rarely used fields.
    if (!annotations.empty())
        seq->annotations() = std::move(annotations);
    if (!features.empty())
        seq->features() = std::move(features);
    takeResidues(*seq, residues);
    return seq;
}

void ArchiveReader::setTitle(Velm::Sequence& seq, const char* p, const char* end) {
    // No copy of the title on the way: each part goes straight into the entry.
    std::string_view name, description;
    splitTitle(p, end, name, description);
    seq.setName(name.data(), name.size());
    seq.setDescription(description.data(), description.size());
}

void ArchiveReader::splitTitle(const char* p, const char* end, std::string_view& name,
                               std::string_view& description) {
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    // Names rarely hold a tab: two byte searches beat a loop over both characters.
    const char* nameEnd = static_cast<const char*>(std::memchr(p, ' ', static_cast<std::size_t>(end - p)));
    if (!nameEnd)
        nameEnd = end;
    if (const void* tab = std::memchr(p, '\t', static_cast<std::size_t>(nameEnd - p)))
        nameEnd = static_cast<const char*>(tab);
    const char* desc = nameEnd;
    while (desc < end && (*desc == ' ' || *desc == '\t'))
        ++desc;
    while (end > desc && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    name = std::string_view(p, static_cast<std::size_t>(nameEnd - p));
    description = std::string_view(desc, static_cast<std::size_t>(end - desc));
}

void ArchiveReader::takeTitle(Velm::Sequence& seq, std::string& title) {
    // The split setTitle makes: blanks, the name, blanks, the description, blanks.
    const std::size_t size = title.size();
    std::size_t p = 0;
    while (p < size && (title[p] == ' ' || title[p] == '\t'))
        ++p;
    std::size_t nameEnd = p;
    while (nameEnd < size && title[nameEnd] != ' ' && title[nameEnd] != '\t')
        ++nameEnd;
    std::size_t desc = nameEnd;
    while (desc < size && (title[desc] == ' ' || title[desc] == '\t'))
        ++desc;
    std::size_t end = size;
    while (end > desc && (title[end - 1] == ' ' || title[end - 1] == '\t'))
        --end;
    if (end - desc <= nameEnd - p) {
        std::string description(title, desc, end - desc);
        title.erase(nameEnd);
        title.erase(0, p);
        seq.setName(std::move(title));
        seq.setDescription(std::move(description));
    } else {
        std::string name(title, p, nameEnd - p);
        title.erase(end);
        title.erase(0, desc);
        seq.setDescription(std::move(title));
        seq.setName(std::move(name));
    }
    title = std::string();
}

void ArchiveReader::takeResidues(Velm::Sequence& seq, const std::string& scratch) const {
    refuseHighBytes(scratch);
    if (recycling_)
        seq.residues().assign(scratch.data(), scratch.size());
    else
        seq.setResidues(std::string(scratch.data(), scratch.size()));
}

void ArchiveReader::refuseHighBytes(const std::string& residues) const {
    if (const char* high = text::firstHighByte(residues)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(*high));
        src_.fail(std::string(msg::kNotAResidue) + hex + msg::kResiduesAreAscii);
    }
}

void ArchiveReader::takeResidues(Velm::Sequence& seq, std::string& scratch) const {
    constexpr std::size_t kHandOver = 1u << 20;
    // Handed over rather than copied: the room past the residues was never written, so it costs
    // address space, not memory.
    if (scratch.size() >= kHandOver && scratch.capacity() - scratch.size() <= scratch.size()) {
        refuseHighBytes(scratch);
        seq.residues().swap(scratch);
        std::string().swap(scratch); // the next entry starts a buffer of its own
        return;
    }
    takeResidues(seq, static_cast<const std::string&>(scratch));
}

std::unique_ptr<ArchiveReader> makeReader(const char* format, LineSource&& source) {
    if (format == SALSource::FASTA)
        return makeFastaReader(std::move(source));
    if (fastq::isVariant(format))
        return makeFastqReader(std::move(source), fastq::encodingOf(format));
    if (format == SALSource::GB || format == SALSource::GENPEPT)
        return makeGenBankReader(std::move(source));
    if (format == SALSource::EMBL)
        return makeEmblReader(std::move(source), false);
    if (format == SALSource::SW || format == SALSource::SPT)
        return makeEmblReader(std::move(source), true);
    if (format == SALSource::NBRF)
        return makeNbrfReader(std::move(source));
    if (format == SALSource::SSF)
        return makeGcgReader(std::move(source));
    if (format == SALSource::MSF)
        return makeMsfReader(std::move(source));
    if (format == SALSource::RSF)
        return makeRsfReader(std::move(source));
    if (format == SALSource::STADEN)
        return makeStadenReader(std::move(source));
    if (format == SALSource::EXPERIMENT)
        return makeExperimentReader(std::move(source));
    throw SeqArchiveError(std::string(msg::kCannotOpen) + source.path() + ": " +
                          msg::kUnknownFormatName + (format ? format : ""));
}

std::unique_ptr<ArchiveReader> makeReader(const char* format, const std::string& path) {
    return makeReader(format, LineSource(path));
}

} // namespace Ovik
