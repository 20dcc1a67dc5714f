#ifndef MODELFACTORY_CONTRACTS_SEQARCHIVE_H
#define MODELFACTORY_CONTRACTS_SEQARCHIVE_H

#include <contracts/Common.h>
#include <contracts/Compression.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>
#include <contracts/RecordView.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cmn {
class InputStream;
}

namespace Ovik {

/// Thrown by the archive library: opening, reading (with path and line) and writing failures.
class MF_API SeqArchiveError : public std::runtime_error {
public:
    explicit SeqArchiveError(const std::string& what) : std::runtime_error(what) {}
};

/// The sequence-archive formats: their names, and which of them the library knows.
/// The names are listed in docs/seqarchive-formats.md.
class MF_API SALSource {
public:
    /// Format names. GetFileFormat answers exactly these texts; callers may match them
    /// case-insensitively as prefixes (no name is a prefix of another).
    static const char* const EMBL;    ///< "EMBL"
    static const char* const GENPEPT; ///< "GenPept"
    static const char* const GB;      ///< "GenBank"
    static const char* const RSF;     ///< "RSF" (GCG rich sequence format)
    static const char* const MSF;     ///< "MSF" (GCG multiple sequence format)
    static const char* const FASTA;   ///< "FASTA"
    static const char* const FASTQ;   ///< "FASTQ" (reads with per-base qualities)
    static const char* const NBRF;    ///< "NBRF" (NBRF/PIR)
    static const char* const STADEN;  ///< "Staden" (read only; "SDN" is accepted for it)
    static const char* const SSF;     ///< "GCG" (GCG single sequence)
    static const char* const SW;      ///< "Swiss" (Swiss-Prot flat file)
    static const char* const SPT;     ///< "TrEMBL" (unreviewed, Swiss-Prot layout)
    /// "Experiment" (Staden experiment file: the reading's own sequence and confidences; read only)
    static const char* const EXPERIMENT;
    static const char* const QUERY;   ///< "Query" (query/result listing; not sequence data)
    static const char* const LST;     ///< "List" (list of file names; not sequence data)

    enum OpenMode { Read = 0, Write = 1 };

    /// True when the archive layer knows the format name: a constant's text or an alias
    /// ("fasta", "fa", "gb", "genbank", "embl", "swissprot", "pir", "SDN", ...), ignoring case.
    static bool supports(const char* format);
    /// One (name, description) pair per readable format (QUERY and LST are not listed).
    static Velm::FormatList getSupportedFormats();
    /// The constant a known name or alias stands for (its own text pointer), or null.
    static const char* canonicalName(const char* format);
    /// True when the named format can be written.
    static bool isWritable(const char* format);
};

class ArchiveReader;
class ArchiveWriter;
class LineSource;
struct OutputTarget;
class ISeqArchive;
class OSeqArchive;

/// Sequence data arriving on an open descriptor that cannot be reopened or sought: standard input,
/// a pipe. It is read once, front to back, as files are (gzip unpacked by its magic bytes); its
/// first bytes can be looked at before an archive takes it over, and the archive still reads them.
/// It need not be a regular file. The descriptor is never closed.
class MF_API SeqInputStream {
public:
    /// `name` stands for the path in messages and URLs ("-" for standard input).
    SeqInputStream(int fd, const std::string& name);
    ~SeqInputStream();
    SeqInputStream(const SeqInputStream&) = delete;
    SeqInputStream& operator=(const SeqInputStream&) = delete;

    const std::string& name() const { return name_; }
    /// Up to `size` bytes from the start of the content (unpacked), read ahead and kept;
    /// `complete` tells whether that is all of it. Valid until the next call on the stream.
    /// Throws SeqArchiveError on a read error or once an archive took the stream over.
    std::string_view head(std::size_t size, bool& complete);
    /// The format name the content has, judged from its first 64 KiB as GetFileFormat judges a
    /// file; "" when nothing matches. Consumes nothing.
    std::string format();
    /// True when the content is white space only (judged from its first 64 KiB, and only when
    /// that is all of it).
    bool blank();
    /// Writes all of the content (unpacked) that no one has read yet to descriptor `fd`, for
    /// readers that need a file, but no more than `maxBytes`: false when the content goes on past
    /// them (what was written stays written). Throws SeqArchiveError on a read or write error.
    bool copyTo(int fd, std::size_t maxBytes = SIZE_MAX);

private:
    friend class SeqArchive;
    cmn::InputStream& input();
    LineSource take();

    std::string name_;
    std::unique_ptr<cmn::InputStream> in_; // null once an archive took the stream over
    std::string head_;                     // read ahead, not yet handed on
    bool ended_ = false;
};

/// An archive file opened for reading or writing.
///
/// Read mode: an empty format name lets the library recognise the format from the content
/// (gzip-compressed files are read transparently); an empty file opens as an empty archive.
/// Opening throws SeqArchiveError, whose what() names the path and the reason, when the file
/// cannot be opened or its format is not known.
///
/// Write mode: output goes to a temporary file beside the target (a device, FIFO or socket is
/// written straight through; a symbolic link keeps pointing to the file it names, which is
/// replaced). close() puts the file in place of the target and throws when it cannot. The
/// destructor closes an archive that is still open, except while an exception thrown after the
/// archive was opened is unwinding the stack, or after a write already failed: then, and after
/// discard(), the temporary file is removed and any existing target is left untouched. A
/// destructor cannot throw: when its close fails, the failure goes to the archive's context
/// (setContext) as an error, and without a context it is lost; the target is left as it was
/// either way. Call close() to learn of a failure by exception.
class MF_API SeqArchive {
public:
    SeqArchive(const std::string& path, const std::string& format, SALSource::OpenMode mode,
               const std::string& extra);
    /// Read mode over a stream, which the archive takes over (reading starts at the stream's first
    /// byte, whatever head() looked at). An empty format name lets the first bytes decide.
    SeqArchive(SeqInputStream& input, const std::string& format);
    /// Write mode to an open descriptor (standard output, a pipe), written as entries come;
    /// close() flushes. What reached the descriptor stays there if a later entry fails. `name`
    /// stands for the path in messages; the descriptor is not closed.
    SeqArchive(int fd, const std::string& name, const std::string& format,
               cmn::Compression compression = cmn::Compression::None);
    virtual ~SeqArchive();

    SeqArchive(const SeqArchive&) = delete;
    SeqArchive& operator=(const SeqArchive&) = delete;

    /// Readers: true once no entry is left (trailing blank lines do not count). False while a
    /// reading error is pending, so that a failure is never mistaken for the end of the input.
    /// Writers: always true.
    bool atEnd() const;
    /// The format name (one of the SALSource constants) of the file's content, judged from at most
    /// its first 64 KiB (decompressed when gzip); "" when nothing matches or the file cannot be read.
    static std::string GetFileFormat(const std::string& path);

    const std::string& path() const { return path_; }
    /// The format being read or written: the SALSource constant's text.
    const std::string& archiveFormat() const { return format_; }
    SALSource::OpenMode mode() const { return mode_; }

    /// Writers of formats with qualities (FASTQ): the Phred quality given to every residue of a
    /// sequence that has no confidences. Negative (the default) makes such a sequence an error.
    void setDefaultQuality(int quality);
    /// Writers of FASTA and NBRF/PIR: residues a sequence line holds (60 unless set; 0 puts each
    /// sequence on one line). The other formats keep their fixed layouts.
    void setLineWidth(std::size_t width);

    /// Where reading warnings go (for example a GCG checksum mismatch); null drops them.
    void setContext(cmn::OpContext* ctx) { ctx_ = ctx; }
    cmn::OpContext* context() const { return ctx_; }

    /// Writers: writes what is pending and puts the file in place of the target; throws
    /// SeqArchiveError on a write error (the target is then left as it was, and a later close()
    /// throws the same error again). Readers: releases the file. Calling it again does nothing.
    void close();
    /// Writers: gives the output up; the temporary file is removed, the target is left as it was
    /// and later entries are refused. After close() it does nothing. Readers: as close().
    void discard();

protected:
    friend boost::shared_ptr<Velm::Sequence> createSequence(ISeqArchive& archive);
    friend bool nextRecordView(ISeqArchive& archive, RecordView& view);
    friend void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive);
    friend class SALArchiveModelIter; // has the reader reuse the entries it drops

private:
    void openReader(LineSource&& source, const std::string& format, std::string detected);
    void openWriter(const OutputTarget& target, const std::string& format);

    std::string path_;
    std::string format_;
    SALSource::OpenMode mode_;
    cmn::OpContext* ctx_ = nullptr;
    std::unique_ptr<ArchiveReader> reader_;
    std::unique_ptr<ArchiveWriter> writer_;
    int uncaughtAtOpen_; ///< std::uncaught_exceptions() when the archive was opened
};

/// An archive opened for reading.
class MF_API ISeqArchive : public SeqArchive {
public:
    ISeqArchive(const std::string& path, const std::string& format, const std::string& extra);
    /// Reads a stream (see SeqArchive's stream constructor).
    ISeqArchive(SeqInputStream& input, const std::string& format);
};

/// An archive opened for writing; keeps its own copy of the format name it was given.
class MF_API OSeqArchive : public SeqArchive {
public:
    OSeqArchive(const std::string& path, const std::string& format, const std::string& extra);
    /// Writes to an open descriptor (see SeqArchive's descriptor constructor).
    /// Written to the open descriptor `fd` as entries come, compressed as `compression` says.
    OSeqArchive(int fd, const std::string& name, const std::string& format,
                cmn::Compression compression = cmn::Compression::None);
    const std::string& formatName() const { return formatName_; }

private:
    std::string formatName_;
};

/// Reads the next entry. Throws SeqArchiveError ("path:line: reason") on malformed or truncated
/// input, and when called at the end of the archive.
MF_API boost::shared_ptr<Velm::Sequence> createSequence(ISeqArchive& archive);
/// Reads the next entry as views (see RecordView), which the next call on the archive voids;
/// false at the end of the archive. Throws as createSequence() does, with the same messages; a
/// failure is latched in the same way. Views and createSequence() may take turns.
MF_API bool nextRecordView(ISeqArchive& archive, RecordView& view);
/// Appends one entry in the archive's format. Throws SeqArchiveError on a write error or when the
/// archive is closed.
MF_API void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive);

/// An iterator whose entries may also be taken as views (RecordView) rather than as models: each
/// call of either gives the next entry.
class MF_API RecordViewSource {
public:
    virtual ~RecordViewSource() = default;
    /// The next entry as views, valid until the next call; false at the end, and after a problem,
    /// reported as next() reports it. `entry` shares the entry when the reader built one
    /// (view.sequence set) and is emptied otherwise; `source` is set to the path the entries
    /// have as their source (left alone when it already shares it).
    virtual bool nextView(RecordView& view, boost::shared_ptr<Velm::Sequence>& entry,
                          boost::shared_ptr<const std::string>& source) = 0;
};

/// Yields one sequence model per archive entry, lazily: the file is opened at the first next() and
/// one entry is read per call. `path` may be format-qualified (FORMAT@@FILE; with several leading
/// format names, as in SDN@@FASTA@@file, the first wins); otherwise `format`, when the archive layer
/// knows it, else the content decides. Each model has the given path as its URL and the encoding
/// "SAL". Problems are reported through `ctx` (errors) and end the iteration; `qualifier` is unused.
/// A model, or entry, that the caller no longer holds (by shared pointer) may be emptied and reused
/// for a later entry; weak pointers to it then stay valid and see the later entry.
class MF_API SALArchiveModelIter : public Velm::ModelIter, public RecordViewSource {
public:
    SALArchiveModelIter(const char* path, const char* qualifier, cmn::OpContext* ctx,
                        std::string format);
    /// Yields the entries of an archive already open (over a stream, say); `url` becomes each
    /// model's URL. Problems end the iteration as above.
    SALArchiveModelIter(std::unique_ptr<ISeqArchive> archive, const std::string& url,
                        cmn::OpContext* ctx);
    ~SALArchiveModelIter() override;
    boost::shared_ptr<Velm::Model> next() override;
    /// The encoding each model gets from then on ("SAL" unless set): a format source that
    /// reads through this iterator names its own.
    void setEncoding(const std::string& encoding);
    /// The next entry as views (see RecordViewSource); the entries' order is one with next()'s.
    bool nextView(RecordView& view, boost::shared_ptr<Velm::Sequence>& entry,
                  boost::shared_ptr<const std::string>& source) override;

    /// Splits a format-qualified path: returns the file part and sets `format` to the first format
    /// name ("" when the path is not format-qualified). Further leading names the archive layer
    /// knows are dropped.
    static std::string splitQualifiedPath(const std::string& path, std::string& format);

private:
    void open();
    void fail(const SeqArchiveError& e);

    struct State;
    std::unique_ptr<State> state_;
};

/// The format source of FASTQ files, reading and writing through the archive layer's FASTQ reader
/// and writer. An extension of the factory: Ovik::addExtensionSources (factory/Extensions.h)
/// registers it, or a host adds it with addSource (for instance with its own default quality).
/// Without it the factory still reads FASTQ through its archive route.
/// - handles(path): a FORMAT@@FILE path whose FORMAT is a FASTQ name (FASTQ, fastq, fq); a file
///   whose content is FASTQ; a name ending in .fq or .fastq, also followed by .gz, .bz2, .xz or
///   .zst (a file yet to be written included), unless its content is marked as another format
///   (a '>' line, a LOCUS line, ...).
/// - getType(path): Velm::SeqModel::className for an existing file it handles, else "".
/// - retrieve: appends one Velm::NASequence per read to any Velm::BioModel, the qualities as Phred
///   confidences, and sets the encoding "FASTQ". A malformed record or a damaged compressed file
///   throws SeqArchiveError ("path:line: reason"), as the factory's archive route does for the
///   same bytes, so that the reads before the fault are never taken for the whole file. A path
///   that is no regular file reads nothing and returns false without a report. The qualifier is
///   not used.
/// - save: writes every sequence of a Velm::BioModel; one without confidences takes the default
///   quality, and is an error without one. Write failures throw SeqArchiveError (the old target
///   stays as it was), so that no writer of another format takes over a FASTQ name. By path, only
///   a FORMAT@@FILE path naming FASTQ or a FASTQ file name is written: a target handled for its
///   old FASTQ content ("q.gb" holding reads) is declined without a report, and the factory writes
///   the format its name says.
/// - openIterator: one sequence model per read, read as the caller asks for them; their encoding
///   is "FASTQ". None for a path that is no regular file.
/// The source keeps no state besides its default quality; one object may serve several threads.
class MF_API FastqModelSource : public Velm::ModelSource {
public:
    /// `defaultQuality`: the Phred quality save() gives the residues of sequences without
    /// confidences; negative for none.
    explicit FastqModelSource(int defaultQuality = -1);
    bool handles(const char* path) const override;
    /// "FastqModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    /// True for every name the archive layer knows FASTQ by (FASTQ, fastq, fq), ignoring case.
    bool supports(const char* format) const override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;
    boost::shared_ptr<Velm::ModelIter> openIterator(const char* path, cmn::OpContext* ctx) override;

private:
    int defaultQuality_;
};

} // namespace Ovik

#endif
