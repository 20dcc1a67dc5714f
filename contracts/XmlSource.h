#ifndef MODELFACTORY_CONTRACTS_XMLSOURCE_H
#define MODELFACTORY_CONTRACTS_XMLSOURCE_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>

namespace Velm {

/// Reads and writes this library's own XML document for any model class.
class MF_API XMLModelSource : public ModelSource {
public:
    /// The format name of the document ("XML").
    static const char* const XML_Format;

    XMLModelSource();
    bool handles(const char* path) const override;
    /// "XMLModelSource".
    const char* getName() const override;
    const char* getType(const char* path) const override;
    FormatList getSupportedFormats() override;
    bool retrieve(const char* path, Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    bool retrieve(const char* path, Model& model, cmn::OpContext* ctx, const char* qualifier) override;
    bool save(const char* path, Model& model, const char* format, cmn::OpContext* ctx) override;
    bool save(const char* path, Model& model, cmn::OpContext* ctx) override;
};

} // namespace Velm

#endif
