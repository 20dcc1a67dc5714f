// Opening by model class name: choose the typed opener by exact, case-sensitive name equality.
#include "factory/ModelFactory.h"

#include "factory/Messages.h"

#include <cstring>

namespace Ovik {

namespace {

bool is(const char* type, const char* className) { return std::strcmp(type, className) == 0; }

} // namespace

boost::shared_ptr<Velm::Model> ModelFactory::open(const char* path, cmn::OpContext* ctx) {
    return openSequence(path, ctx);
}

boost::shared_ptr<Velm::Model> ModelFactory::open(const char* path, const char* type,
                                                  cmn::OpContext* ctx) {
    if (!type)
        type = "";
    if (is(type, Velm::AlignModel::className))
        return openAlignment(path, ctx);
    if (is(type, Velm::AssemblyModel::className))
        return openAssembly(path, ctx);
    if (is(type, Velm::SeqModel::className))
        return openSequence(path, ctx);
    if (is(type, Velm::BlastModel::className))
        return openBlast(path, new Velm::BlastModel, ctx);
    if (is(type, Velm::NCBIBlastModel::className))
        return openXBlast(path, new Velm::NCBIBlastModel, ctx);
    if (is(type, Velm::WPBlastModel::className))
        return openXBlast(path, new Velm::WPBlastModel, ctx);
    if (is(type, Velm::WPFastAModel::className))
        return openXBlast(path, new Velm::WPFastAModel, ctx);
    if (is(type, Velm::WPLookupModel::className))
        return openDBQuery(path, new Velm::WPLookupModel, ctx);
    if (is(type, Velm::NCBIEntrezModel::className))
        return openDBQuery(path, new Velm::NCBIEntrezModel, ctx);
    if (is(type, Velm::CFProjModel::className))
        return openCFProj(path, ctx);
    if (is(type, Velm::DotPlotModel::className))
        return openDotPlot(path, ctx);
    if (is(type, Velm::PrimerModel::className))
        return openPrimer(path, ctx);
    if (ctx)
        ctx->error(msg::UnknownModelType + std::string(type));
    return boost::shared_ptr<Velm::Model>();
}

boost::shared_ptr<Velm::Model> ModelFactory::open(const char* path, const char* type,
                                                  const char* format, cmn::OpContext* ctx) {
    if (!type)
        type = "";
    if (!format)
        format = "";
    if (is(type, Velm::AlignModel::className))
        return openAlignment(path, format, ctx);
    if (is(type, Velm::AssemblyModel::className))
        return openAssembly(path, format, ctx);
    if (is(type, Velm::SeqModel::className))
        return openSequence(path, format, ctx);
    if (ctx)
        ctx->error(msg::FormatNotSupported + std::string(msg::FormatPart) + format +
                   msg::ModelTypePart + type);
    return boost::shared_ptr<Velm::Model>();
}

} // namespace Ovik
