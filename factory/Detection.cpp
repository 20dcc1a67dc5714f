// File-type detection: which model class a file belongs in.
#include "factory/ModelFactory.h"

#include "factory/CompareNoCase.h"
#include "factory/ExtensionTable.h"
#include "factory/Messages.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <trace/TraceFile.h>


namespace Ovik {

namespace {

bool isRegularFile(const char* path) { return path && cmn::isRegularFile(path); }

// Archive contents that are not sequence data.
bool isNonSequenceArchive(const std::string& format) {
    return format == SALSource::QUERY || format == SALSource::LST;
}

} // namespace

bool ModelFactory::isFile(const char* path) const {
    return isRegularFile(cmn::QualifiedPath(path).file.c_str());
}

const char* ModelFactory::scanNative(const char* path) const {
    if (!isRegularFile(path))
        return "";
    if (const ExtensionEntry* row = findExtension(extensionOf(path))) {
        // A known extension decides alone: the file is not opened.
        if (row->flags & ExtFlagAlignment)
            return Velm::AlignModel::className;
        if (row->kind == ExtKindTrace)
            return Velm::TraceModel::className;
        if (row->flags != 0)
            return Velm::SeqModel::className;
        return "";
    }
    if (TraceFile::getFormat(path) != 0)
        return Velm::TraceModel::className;
    if (isNonSequenceArchive(SeqArchive::GetFileFormat(std::string(path))))
        return "";
    return Velm::SeqModel::className;
}

std::string ModelFactory::getType(const char* path) {
    // Every source and layer asks about the same file in turn: it is looked at once.
    cmn::ProbeScope probe;
    if (boost::shared_ptr<Velm::ModelSource> source = findSource(path))
        return std::string(source->getType(path));
    return std::string(scanNative(path));
}

std::string ModelFactory::getType(const char* path, const char* format, cmn::OpContext* ctx) const {
    if (!format)
        format = "";
    cmn::ProbeScope probe;
    for (const auto& entry : sources_) {
        if (!entry.second->supports(format))
            continue;
        const char* answer = entry.second->getType(path);
        if (answer && *answer)
            return std::string(answer);
    }
    if (!isRegularFile(path)) {
        if (ctx)
            ctx->warning(msg::NotARegularFile);
        return std::string();
    }
    if (SALSource::supports(format) && !isNonSequenceArchive(SeqArchive::GetFileFormat(path)))
        return Velm::SeqModel::className;
    if (TraceFile::supports(format))
        return TraceFile::getFormat(path) != 0 ? Velm::TraceModel::className : "";
    for (const char* alignment : {MMSAModelSource::MSA_ALN_Format, NexusModelSource::NEX_ALN_Format,
                                  MSFModelSource::MSF_ALN_Format, PHYModelSource::PHY_ALN_Format})
        if (compareNoCase(format, alignment, 3) == 0)
            return Velm::AlignModel::className;
    if (ctx)
        ctx->warning(msg::CannotFindDataType + std::string(path));
    return Velm::SeqModel::className;
}

} // namespace Ovik
