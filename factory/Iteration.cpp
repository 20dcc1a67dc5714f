// Model iteration: a source's own iterator, one loaded model, or the entries of an archive.
#include "factory/ModelFactory.h"

#include "factory/CompareNoCase.h"
#include "factory/ExtensionTable.h"
#include "factory/Messages.h"

#include <contracts/SeqArchive.h>
#include <trace/TraceFile.h>

namespace Ovik {

namespace {

// One retrieve attempt with the same form as the caller's request; it counts only when the model
// holds something afterwards.
bool readInto(Velm::ModelSource& source, const char* path, Velm::Model& model,
              const std::string& format, cmn::OpContext* ctx, const char* qualifier) {
    const bool done = format.empty()
                          ? source.retrieve(path, model, ctx, qualifier)
                          : source.retrieve(path, model, format.c_str(), ctx, qualifier);
    return done && !model.empty();
}

boost::shared_ptr<Velm::ModelIter> single(const boost::shared_ptr<Velm::Model>& model,
                                          const char* path, cmn::OpContext* ctx) {
    model->setURL(path);
    return boost::shared_ptr<Velm::ModelIter>(new Velm::SimpleModelIter(model, ctx));
}

} // namespace

boost::shared_ptr<Velm::ModelIter> ModelFactory::iterate(const char* path, const char* qualifier,
                                                         cmn::OpContext* ctx, std::string format) {
    boost::shared_ptr<Velm::ModelSource> source =
        format.empty() ? findSource(path) : findSourceFormat(format);

    if (source) {
        if (boost::shared_ptr<Velm::ModelIter> own = source->openIterator(path, ctx))
            return own;
        boost::shared_ptr<Velm::Model> sequences(new Velm::SeqModel);
        boost::shared_ptr<Velm::Model> alignment(new Velm::AlignModel);
        if (readInto(*source, path, *sequences, format, ctx, qualifier))
            return single(sequences, path, ctx);
        if (readInto(*source, path, *alignment, format, ctx, qualifier))
            return single(alignment, path, ctx);
        if (ctx) {
            if (format.empty())
                ctx->error(msg::SourceCannotIterate + std::string(path) + "'");
            else
                ctx->error(msg::InputFile + std::string(path) + msg::CannotBeReadInFormat + format);
        }
        return boost::shared_ptr<Velm::ModelIter>();
    }

    if (!isFile(path)) {
        if (ctx)
            ctx->error(msg::CannotIterate + std::string(path) + "'");
        return boost::shared_ptr<Velm::ModelIter>();
    }

    // A chromatogram takes the chromatogram route by its extension, or by its content: ".ab1",
    // the name every ABI instrument writes, is no format name, and such files would otherwise go
    // to the archive iterator, which cannot read them.
    boost::shared_ptr<Velm::SeqModel> model(new Velm::SeqModel);
    const char* ext = extensionOf(path);
    const bool chromatogram = (ext && TraceFile::supports(ext)) || TraceFile::getFormat(path) != 0;
    if (chromatogram && openTrace(path, *model, ctx))
        return single(model, path, ctx);
    return openSALIter(path, qualifier, ctx, format);
}

boost::shared_ptr<Velm::ModelIter> ModelFactory::openSALIter(const char* path, const char* qualifier,
                                                             cmn::OpContext* ctx, std::string format) {
    std::string name(path);
    const char* ext = extensionOf(path);
    if (ext && compareNoCase(ext, "sta", 3) == 0)
        name = "SDN@@" + name; // the Staden format name, as the archive reader route uses
    return boost::shared_ptr<Velm::ModelIter>(
        new SALArchiveModelIter(name.c_str(), qualifier, ctx, format));
}

} // namespace Ovik
