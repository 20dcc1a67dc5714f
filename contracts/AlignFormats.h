#ifndef MODELFACTORY_CONTRACTS_ALIGNFORMATS_H
#define MODELFACTORY_CONTRACTS_ALIGNFORMATS_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>

namespace Ovik {

/// Shared behaviour of the alignment-format sources: content sniffing, format-qualified paths,
/// reading rows into a sequence-holding model and writing equal-length rows back.
class MF_API AlignmentSource : public Velm::ModelSource {
public:
    bool handles(const char* path) const override;
    const char* getType(const char* path) const override;
    Velm::FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx) override;

protected:
    AlignmentSource(const char* formatName, const char* description);
    const char* formatName() const { return formatName_; }

private:
    const char* formatName_;
    const char* description_;
};

/// GCG MSF multiple alignments.
class MF_API MSFModelSource : public AlignmentSource {
public:
    static const char* const MSF_ALN_Format;
    MSFModelSource();
    const char* getName() const override;
};

/// NEXUS DATA/CHARACTERS blocks.
class MF_API NexusModelSource : public AlignmentSource {
public:
    static const char* const NEX_ALN_Format;
    NexusModelSource();
    const char* getName() const override;
};

/// PHYLIP, sequential and interleaved.
class MF_API PHYModelSource : public AlignmentSource {
public:
    static const char* const PHY_ALN_Format;
    PHYModelSource();
    const char* getName() const override;
};

/// Clustal multiple alignments.
class MF_API MMSAModelSource : public AlignmentSource {
public:
    static const char* const MSA_ALN_Format;
    MMSAModelSource();
    const char* getName() const override;
};

} // namespace Ovik

#endif
