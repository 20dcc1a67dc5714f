#ifndef MODELFACTORY_CONTRACTS_ALIGNFORMATS_H
#define MODELFACTORY_CONTRACTS_ALIGNFORMATS_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>

// The four alignment-format sources. Each one behaves the same way:
// - handles(path): true when the file's first bytes are of its format; the extension decides only
//   when the content cannot (missing or empty file, or a weak sniff). A format-qualified path
//   FORMAT@@FILE is claimed exactly when FORMAT names the source's format (ignoring case).
// - getType(path): Velm::AlignModel::className for a file of its format, "" otherwise.
// - retrieve: appends the rows, gaps as '-', to any Velm::BioModel (alignment, assembly,
//   sequence model...). Nothing is added when the file is malformed: the result is false and the
//   context gets one error naming the file and line. The qualifier argument is not used.
//   The five-argument form reads only when supports(format) is true.
// - save: writes any Velm::BioModel whose rows all have the same, non-zero length. The target is
//   replaced only when the whole file was written (a temporary file beside it is renamed).
// Sources keep no state; one object may serve several threads.

namespace Ovik {

/// GCG MSF multiple alignments (`!!AA_MULTIPLE_ALIGNMENT`/`!!NA_MULTIPLE_ALIGNMENT`, the
/// `MSF: ... ..` line, Name: lines, `//`, blocks). Dots and tildes read as gaps.
class MF_API MSFModelSource : public Velm::ModelSource {
public:
    /// "MSF-ALN": distinct from the sequence-archive layer's MSF name so that a format-directed
    /// open does not read the file twice.
    static const char* const MSF_ALN_Format;
    MSFModelSource();
    bool handles(const char* path) const override;
    /// "MSFModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;
};

/// NEXUS files: the first DATA or CHARACTERS block, sequential or interleaved, with MISSING, GAP
/// and MATCHCHAR honoured, quoted taxon names, comments and TAXLABELS of a TAXA block.
class MF_API NexusModelSource : public Velm::ModelSource {
public:
    /// "NEXUS".
    static const char* const NEX_ALN_Format;
    NexusModelSource();
    bool handles(const char* path) const override;
    /// "NexusModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;
};

/// PHYLIP alignments, sequential or interleaved, strict (10-character) or relaxed names.
class MF_API PHYModelSource : public Velm::ModelSource {
public:
    /// "PHYLIP".
    static const char* const PHY_ALN_Format;
    PHYModelSource();
    bool handles(const char* path) const override;
    /// "PHYModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;
};

/// Clustal multiple alignments: the CLUSTAL header line, blocks, conservation lines and optional
/// residue counts at the end of the rows.
class MF_API MMSAModelSource : public Velm::ModelSource {
public:
    /// "CLUSTAL".
    static const char* const MSA_ALN_Format;
    MMSAModelSource();
    bool handles(const char* path) const override;
    /// "MMSAModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;
};

} // namespace Ovik

#endif
