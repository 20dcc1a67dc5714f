#ifndef MODELFACTORY_CONTRACTS_SEQARCHIVE_H
#define MODELFACTORY_CONTRACTS_SEQARCHIVE_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

#include <memory>
#include <stdexcept>
#include <string>

namespace Ovik {

/// Thrown by the archive library: opening, reading (with path and line) and writing failures.
class MF_API SeqArchiveError : public std::runtime_error {
public:
    explicit SeqArchiveError(const std::string& what) : std::runtime_error(what) {}
};

/// The sequence-archive formats: their names, and which of them the library knows.
class MF_API SALSource {
public:
    /// Format names, matched by the factory case-insensitively as prefixes.
    static const char* const EMBL;
    static const char* const GENPEPT;
    static const char* const GB;
    static const char* const RSF;
    static const char* const MSF;
    static const char* const FASTA;
    static const char* const NBRF;
    static const char* const STADEN;
    static const char* const SSF;
    static const char* const SW;
    static const char* const SPT;
    static const char* const QUERY;
    static const char* const LST;

    enum OpenMode { Read = 0, Write = 1 };

    /// True when the archive layer knows the format name (a constant, an alias, ignoring case).
    static bool supports(const char* format);
    /// One (name, description) pair per readable format.
    static Velm::FormatList getSupportedFormats();
};

class ArchiveReader;
class ArchiveWriter;
class ISeqArchive;
class OSeqArchive;

/// An archive file opened for reading or writing. An empty format name in read mode lets the
/// library recognise the format from the content. Opening throws SeqArchiveError (what() names the
/// path and the reason) when the file cannot be opened or its format is unknown.
class MF_API SeqArchive {
public:
    SeqArchive(const std::string& path, const std::string& format, SALSource::OpenMode mode,
               const std::string& extra);
    /// Closes the file. A writer that has not been closed after a complete write discards its
    /// output and leaves any existing target untouched.
    virtual ~SeqArchive();

    SeqArchive(const SeqArchive&) = delete;
    SeqArchive& operator=(const SeqArchive&) = delete;

    /// True once the input is exhausted (always true for a writer).
    bool atEnd() const;
    /// The format name of the file's contents from a bounded prefix; "" when nothing matches.
    static std::string GetFileFormat(const std::string& path);

    const std::string& path() const { return path_; }
    /// The format being read or written (recognised from the content when none was given).
    const std::string& archiveFormat() const { return format_; }
    SALSource::OpenMode mode() const { return mode_; }

    /// Writers: finishes the file and puts it in place of the target. Throws on a write error.
    void close();

protected:
    friend boost::shared_ptr<Velm::Sequence> createSequence(ISeqArchive& archive);
    friend void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive);
    ArchiveReader* reader() { return reader_.get(); }
    ArchiveWriter* writer() { return writer_.get(); }

private:
    std::string path_;
    std::string format_;
    SALSource::OpenMode mode_;
    std::unique_ptr<ArchiveReader> reader_;
    std::unique_ptr<ArchiveWriter> writer_;
};

/// An archive opened for reading.
class MF_API ISeqArchive : public SeqArchive {
public:
    ISeqArchive(const std::string& path, const std::string& format, const std::string& extra);
};

/// An archive opened for writing; keeps its own copy of the format name.
class MF_API OSeqArchive : public SeqArchive {
public:
    OSeqArchive(const std::string& path, const std::string& format, const std::string& extra);
    const std::string& formatName() const { return formatName_; }

private:
    std::string formatName_;
};

/// Reads the next entry. Throws SeqArchiveError (path and line) on malformed input.
MF_API boost::shared_ptr<Velm::Sequence> createSequence(ISeqArchive& archive);
/// Appends one entry in the archive's format. Throws SeqArchiveError on a write error.
MF_API void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive);

/// Yields one sequence model per archive entry, lazily. `path` may be format-qualified
/// (FORMAT@@FILE; with several prefixes the first format name wins). Problems are reported
/// through `ctx` and end the iteration.
class MF_API SALArchiveModelIter : public Velm::ModelIter {
public:
    SALArchiveModelIter(const char* path, const char* qualifier, cmn::OpContext* ctx,
                        std::string format);
    ~SALArchiveModelIter() override;
    boost::shared_ptr<Velm::Model> next() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Ovik

#endif
