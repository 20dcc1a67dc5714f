#ifndef MODELFACTORY_FACTORY_COMPRESSEDFILESOURCE_H
#define MODELFACTORY_FACTORY_COMPRESSEDFILESOURCE_H

#include <contracts/DataModel.h>
#include <contracts/Export.h>

namespace Ovik {

class ModelFactory;

/// An extension source for compressed files, registered by addExtensionSources()
/// (factory/Extensions.h) or by the host's own addSource. It handles every path whose name ends in
/// ".gz", ".bz2", ".xz" or ".zst" (the file part of a FORMAT@@FILE path) and judges the
/// decompressed content, so that the extension table's "gz" row (no sequence data) keeps its
/// meaning for everything else. Without it the factory still reads a compressed archive through
/// its archive route, but classifies a ".gz" name as "" and writes no compressed file.
///
/// Its name sorts after the factory's other sources ("Z..."): the registry asks sources in name
/// order, so a source that knows such a file itself (the FASTQ source for ".fq.gz", the alignment
/// and XML sources, which judge a compressed file by its inflated head) is asked first, and this
/// one takes what they leave.
///
/// A read that fails part way (a truncated archive, a malformed record) throws, as the factory's
/// archive route does for the same bytes: a model is never left part-filled behind a success.
class MF_API CompressedFileSource : public Velm::ModelSource {
public:
    static const char* const SourceName; ///< "ZCompressedFileSource"

    /// `factory` is the factory the source is registered in: it reads chromatograms and writes
    /// the inner formats through that factory's own routes, so it must outlive the source.
    explicit CompressedFileSource(ModelFactory& factory) : factory_(factory) {}

    bool handles(const char* path) const override;
    const char* getName() const override { return SourceName; }
    /// What the table answers for the name without its compression extension; without a row,
    /// the sequence model when the decompressed content is a sequence archive, else "".
    const char* getType(const char* path) const override;
    /// None: the source has no format of its own (and supports no format name).
    Velm::FormatList getSupportedFormats() override { return Velm::FormatList(); }
    bool supports(const char*) const override { return false; }
    /// The chromatogram inside a gzip file, else every entry of the decompressed sequence archive,
    /// into `model` (a BioModel). A damaged archive or malformed entry throws the archive reader's
    /// error; a path that is no regular file reads nothing and returns false without a report.
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx, const char* qualifier) override;
    /// The entries of the decompressed archive one model at a time, streamed; none for a path that
    /// is no regular file or holds a chromatogram (which retrieve() reads as one model).
    boost::shared_ptr<Velm::ModelIter> openIterator(const char* path, cmn::OpContext* ctx) override;
    /// Writes the model compressed, in the format the name without its compression extension
    /// names: through the source that handles that name, else the archive writer of its row.
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;

private:
    ModelFactory& factory_;
};

} // namespace Ovik

#endif
