// Typed openers: create (or receive) a model of the requested class and have the right reader fill
// it. Success is judged by the model's own empty(), never by what the readers return.
#include "factory/ModelFactory.h"

#include "factory/Messages.h"

#include <exception>

namespace Ovik {

namespace {

enum class Url { FullPath, FilePart };
enum class Sync { Yes, No };

// A loaded model gets its URL, then is synchronised; an empty one gets neither.
boost::shared_ptr<Velm::Model> finish(const boost::shared_ptr<Velm::Model>& model, const char* path,
                                      Url url, Sync sync) {
    if (!model->empty()) {
        model->setURL(url == Url::FullPath ? std::string(path) : cmn::QualifiedPath(path).file);
        if (sync == Sync::Yes)
            model->sync();
    }
    return model;
}

// The alignment and assembly openers turn any std::exception into one report and an empty result.
template <class Body>
boost::shared_ptr<Velm::Model> catching(const char* prefix, cmn::OpContext* ctx, Body body) {
    try {
        return body();
    } catch (const std::exception& e) {
        if (ctx)
            ctx->error(prefix + std::string(e.what()));
        return boost::shared_ptr<Velm::Model>();
    }
}

} // namespace

void ModelFactory::readByPath(const char* path, Velm::BioModel& model, cmn::OpContext* ctx) {
    if (boost::shared_ptr<Velm::ModelSource> source = findSource(path)) {
        source->retrieve(path, model, ctx, nullptr); // a source that was found has the only word
        return;
    }
    if (isFile(path) && !openTrace(path, model, ctx))
        openSAL(path, model, ctx);
}

void ModelFactory::readByFormat(const char* path, Velm::BioModel& model, const char* format,
                                cmn::OpContext* ctx) {
    // Every source that supports the format reads into the same model, in registry order.
    for (const auto& entry : sources_)
        if (entry.second->supports(format))
            entry.second->retrieve(path, model, format, ctx, nullptr);
    // The file route only when no source filled the model: running it as well would read a file
    // that both understand (an MSF file by the MSF source and the archive layer) twice over.
    if (model.empty() && isFile(path))
        openFile(path, model, format, ctx);
}

void ModelFactory::readFromSource(const char* path, Velm::Model& model, cmn::OpContext* ctx) {
    if (boost::shared_ptr<Velm::ModelSource> source = findSource(path))
        source->retrieve(path, model, ctx, nullptr);
}

boost::shared_ptr<Velm::Model> ModelFactory::openAlignment(const char* path, cmn::OpContext* ctx) {
    return catching(msg::LoadingAlignment, ctx, [&] {
        boost::shared_ptr<Velm::AlignModel> model(new Velm::AlignModel);
        readByPath(path, *model, ctx);
        return finish(model, path, Url::FullPath, Sync::Yes);
    });
}

boost::shared_ptr<Velm::Model> ModelFactory::openAssembly(const char* path, cmn::OpContext* ctx) {
    return catching(msg::LoadingAssembly, ctx, [&] {
        boost::shared_ptr<Velm::AssemblyModel> model(new Velm::AssemblyModel);
        readByPath(path, *model, ctx);
        return finish(model, path, Url::FullPath, Sync::Yes);
    });
}

boost::shared_ptr<Velm::Model> ModelFactory::openSequence(const char* path, cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::SeqModel> model(new Velm::SeqModel);
    readByPath(path, *model, ctx);
    return finish(model, path, Url::FilePart, Sync::Yes);
}

boost::shared_ptr<Velm::Model> ModelFactory::openAlignment(const char* path, const char* format,
                                                           cmn::OpContext* ctx) {
    return catching(msg::LoadingAlignment, ctx, [&] {
        boost::shared_ptr<Velm::AlignModel> model(new Velm::AlignModel);
        readByFormat(path, *model, format, ctx);
        return finish(model, path, Url::FilePart, Sync::Yes);
    });
}

boost::shared_ptr<Velm::Model> ModelFactory::openAssembly(const char* path, const char* format,
                                                          cmn::OpContext* ctx) {
    return catching(msg::LoadingAssembly, ctx, [&] {
        boost::shared_ptr<Velm::AssemblyModel> model(new Velm::AssemblyModel);
        readByFormat(path, *model, format, ctx);
        return finish(model, path, Url::FilePart, Sync::Yes);
    });
}

boost::shared_ptr<Velm::Model> ModelFactory::openSequence(const char* path, const char* format,
                                                          cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::SeqModel> model(new Velm::SeqModel);
    readByFormat(path, *model, format, ctx);
    return finish(model, path, Url::FullPath, Sync::Yes);
}

boost::shared_ptr<Velm::Model> ModelFactory::openCFProj(const char* path, cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::CFProjModel> model(new Velm::CFProjModel);
    readFromSource(path, *model, ctx);
    return finish(model, path, Url::FullPath, Sync::No);
}

boost::shared_ptr<Velm::Model> ModelFactory::openDotPlot(const char* path, cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::DotPlotModel> model(new Velm::DotPlotModel);
    readFromSource(path, *model, ctx);
    return finish(model, path, Url::FullPath, Sync::Yes);
}

boost::shared_ptr<Velm::Model> ModelFactory::openPrimer(const char* path, cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::PrimerModel> model(new Velm::PrimerModel);
    readFromSource(path, *model, ctx);
    return finish(model, path, Url::FullPath, Sync::Yes);
}

// The received models belong to the opener from the first statement on: an exception anywhere
// later destroys them.
boost::shared_ptr<Velm::Model> ModelFactory::openXBlast(const char* path, Velm::XBlastModel* model,
                                                        cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::Model> owned(model);
    readFromSource(path, *model, ctx);
    return finish(owned, path, Url::FullPath, Sync::Yes);
}

boost::shared_ptr<Velm::Model> ModelFactory::openBlast(const char* path, Velm::BlastModel* model,
                                                       cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::Model> owned(model);
    readFromSource(path, *model, ctx);
    return finish(owned, path, Url::FullPath, Sync::Yes);
}

boost::shared_ptr<Velm::Model> ModelFactory::openDBQuery(const char* path, Velm::DBQueryModel* model,
                                                         cmn::OpContext* ctx) {
    boost::shared_ptr<Velm::Model> owned(model);
    readFromSource(path, *model, ctx);
    return finish(owned, path, Url::FullPath, Sync::No);
}

} // namespace Ovik
