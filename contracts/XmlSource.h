#ifndef MODELFACTORY_CONTRACTS_XMLSOURCE_H
#define MODELFACTORY_CONTRACTS_XMLSOURCE_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>

namespace Velm {

/// Reads and writes this library's own XML document (root element <modelfactory-document>, laid
/// out in docs/xml-document.md) for every model class: the class name, the properties that do not
/// depend on where the model is stored (title, author, project, project ID, owner, group, free
/// properties) and the content of the class (sequences with annotations and features, project
/// files, query and results, search hits). The model's URL and encoding are not stored.
class MF_API XMLModelSource : public ModelSource {
public:
    /// The format name of the document ("XML").
    static const char* const XML_Format;

    XMLModelSource();
    /// True for a document whose root element is ours (judged from the first bytes); for a file
    /// that does not exist yet or is empty, true when its extension is xml. A format-qualified
    /// path FORMAT@@FILE is claimed exactly when FORMAT is "XML" (ignoring case).
    bool handles(const char* path) const override;
    /// "XMLModelSource".
    const char* getName() const override;
    /// The className constant of the class the document records, or "" (not our document, or a
    /// class this library does not know).
    const char* getType(const char* path) const override;
    /// One entry: "XML".
    FormatList getSupportedFormats() override;
    /// Reads only when `format` is "XML"; otherwise false with an error.
    bool retrieve(const char* path, Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override;
    /// Fills `model` when it can hold everything the document records: a sequence document fills
    /// any sequence-holding model, a search-result document a model of the same result family, a
    /// project or query document a project or query model. Otherwise, and for a malformed
    /// document, false with one error naming the file (and line); the model is left unchanged.
    /// The qualifier is not used.
    bool retrieve(const char* path, Model& model, cmn::OpContext* ctx, const char* qualifier) override;
    /// Writes only when `format` is "XML"; otherwise false with an error.
    bool save(const char* path, Model& model, const char* format, cmn::OpContext* ctx) override;
    /// Writes any model (an empty one too). The target is replaced only once the whole document
    /// is written (a temporary file beside it is renamed).
    bool save(const char* path, Model& model, cmn::OpContext* ctx) override;
};

} // namespace Velm

#endif
