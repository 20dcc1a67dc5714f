#ifndef MODELFACTORY_FACTORY_COMPRESSEDFILESOURCE_H
#define MODELFACTORY_FACTORY_COMPRESSEDFILESOURCE_H

#include <contracts/DataModel.h>

namespace Ovik {

class ModelFactory;

/// The factory's built-in source for compressed files: it handles every path whose name ends in
/// ".gz", ".bz2", ".xz" or ".zst" (the file part of a FORMAT@@FILE path) and judges the
/// decompressed content, so that the extension table's "gz" row (no sequence data) keeps its
/// meaning for everything else.
///
/// Its name sorts after every other built-in name ("Z..."): the registry asks sources in name
/// order, so a source that knows such a file itself (the FASTQ source for ".fq.gz", the alignment
/// and XML sources, which judge a compressed file by its inflated head) is asked first, and this
/// one takes what they leave.
class CompressedFileSource : public Velm::ModelSource {
public:
    static const char* const SourceName; ///< "ZCompressedFileSource"

    /// `factory` is the factory the source is registered in (the inner formats' writers).
    explicit CompressedFileSource(ModelFactory& factory) : factory_(factory) {}

    bool handles(const char* path) const override;
    const char* getName() const override { return SourceName; }
    /// What the table answers for the name without its compression extension; without a row,
    /// the sequence model when the decompressed content is a sequence archive, else "".
    const char* getType(const char* path) const override;
    /// None: the source has no format of its own (and supports no format name).
    Velm::FormatList getSupportedFormats() override { return Velm::FormatList(); }
    bool supports(const char*) const override { return false; }
    /// Every entry of the decompressed sequence archive into `model` (a BioModel). Errors go to
    /// `ctx` ("Reading file: <path>: <reason>").
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx, const char* qualifier) override;
    /// The entries of the decompressed archive one model at a time, streamed.
    boost::shared_ptr<Velm::ModelIter> openIterator(const char* path, cmn::OpContext* ctx) override;
    /// Writes the model compressed, in the format the name without its compression extension
    /// names: through the source that handles that name, else the archive writer of its row.
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;

private:
    ModelFactory& factory_;
};

} // namespace Ovik

#endif
