#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H

#include "OutputFile.h"

#include <contracts/Common.h>
#include <contracts/Sequence.h>

#include <memory>
#include <string>

namespace Ovik {

/// Writes the entries of one format into an OutputFile.
class ArchiveWriter {
public:
    explicit ArchiveWriter(const std::string& path) : out_(path), path_(path) {}
    virtual ~ArchiveWriter() = default;

    void write(const Velm::Sequence& seq) {
        writeEntry(seq, count_);
        ++count_;
    }
    /// Writes what the format keeps until the end, then puts the file in place. A failure throws
    /// and removes the temporary file; a later commit throws it again. Committed or discarded, it
    /// does nothing.
    void commit();
    /// Removes the temporary file unless the file is already in place.
    void discard();
    /// True until the file is committed, discarded or has failed to commit.
    bool open() const { return state_ == State::Open; }
    /// False once a write failed: what the file holds is incomplete.
    bool ok() const { return out_.ok(); }
    /// Where the writer's warnings go (something of an entry that the format cannot hold was
    /// left out); null drops them.
    void setContext(cmn::OpContext* ctx) { ctx_ = ctx; }

protected:
    virtual void writeEntry(const Velm::Sequence& seq, std::size_t index) = 0;
    virtual void finish() {}
    void warn(const std::string& text) const {
        if (ctx_)
            ctx_->warning(path_ + ": " + text);
    }

    OutputFile out_;
    std::string path_;
    std::size_t count_ = 0;
    cmn::OpContext* ctx_ = nullptr;

private:
    enum class State { Open, Committed, Discarded, Failed };
    State state_ = State::Open;
    std::string failure_;
};

/// The writer for a writable format constant of SALSource.
std::unique_ptr<ArchiveWriter> makeWriter(const char* format, const std::string& path);

std::unique_ptr<ArchiveWriter> makeFastaWriter(const std::string& path);
std::unique_ptr<ArchiveWriter> makeGenBankWriter(const std::string& path, bool protein);
std::unique_ptr<ArchiveWriter> makeEmblWriter(const std::string& path);
std::unique_ptr<ArchiveWriter> makeSwissWriter(const std::string& path, bool reviewed);
std::unique_ptr<ArchiveWriter> makeNbrfWriter(const std::string& path);
std::unique_ptr<ArchiveWriter> makeGcgWriter(const std::string& path);
std::unique_ptr<ArchiveWriter> makeMsfWriter(const std::string& path);
std::unique_ptr<ArchiveWriter> makeRsfWriter(const std::string& path);

} // namespace Ovik

#endif
