// Compressed files through the factory: detection, reading and writing by the inner name.
#include "factory/CompressedFileSource.h"

#include "factory/CompareNoCase.h"
#include "factory/ExtensionTable.h"
#include "factory/ModelFactory.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <trace/TraceFile.h>

namespace Ovik {

const char* const CompressedFileSource::SourceName = "ZCompressedFileSource";

namespace {

// The archive format name the archive route uses for a file: the FORMAT of FORMAT@@FILE, the
// Staden name for an inner ".sta..." name (as the factory's own archive route), else "" (sniffed).
std::string archiveFormat(const cmn::QualifiedPath& split) {
    if (split.qualified)
        return split.format;
    const std::string inner = cmn::withoutCompressionExtension(split.file); // outlives `ext`
    const char* ext = extensionOf(inner.c_str());
    return ext && compareNoCase(ext, "sta", 3) == 0 ? "SDN" : "";
}

// Whether the chromatogram reader may take the file: no format named, or a chromatogram format.
bool chromatogramAllowed(const cmn::QualifiedPath& split) {
    return !split.qualified || TraceFile::supports(split.format.c_str());
}

} // namespace

bool CompressedFileSource::handles(const char* path) const {
    if (!path)
        return false;
    const std::string file = cmn::QualifiedPath(path).file;
    return cmn::compressionOfName(file) != cmn::Compression::None;
}

const char* CompressedFileSource::getType(const char* path) const {
    if (!path || !cmn::isRegularFile(path))
        return "";
    const std::string inner = cmn::withoutCompressionExtension(path);
    if (const ExtensionEntry* row = findExtension(extensionOf(inner.c_str()))) {
        // A chromatogram's name: the chromatogram inside when the reader can inflate it (gzip).
        if (row->kind == ExtKindTrace)
            return TraceFile::getFormat(path) != 0 ? Velm::TraceModel::className : "";
        if (row->flags & ExtFlagAlignment)
            return Velm::AlignModel::className;
        return row->flags != 0 ? Velm::SeqModel::className : "";
    }
    // A chromatogram under a name that is no format's (".ab1.gz", "read.gz"): what it holds.
    if (TraceFile::getFormat(path) != 0)
        return Velm::TraceModel::className;
    // Unlike a plain file, content nobody recognises is not taken for a sequence archive: a
    // compressed file is as likely to hold anything else.
    const std::string format = SeqArchive::GetFileFormat(path);
    if (format.empty() || format == SALSource::QUERY || format == SALSource::LST)
        return "";
    return Velm::SeqModel::className;
}

bool CompressedFileSource::retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                                    const char*) {
    auto* bio = dynamic_cast<Velm::BioModel*>(&model);
    if (!path || !bio)
        return false;
    const cmn::QualifiedPath split(path);
    if (!cmn::isRegularFile(split.file))
        return false; // nothing to read: as the factory's own route, an empty model, no report
    // A gzip chromatogram under a name this source takes ("read.gz") is the chromatogram inside,
    // as under a chromatogram's name (left to the factory's route): its reader inflates it itself.
    if (chromatogramAllowed(split) && factory_.openTrace(split.file.c_str(), *bio, ctx))
        return true;
    // A fault part way passes to the caller, exactly as the factory's archive route lets it pass.
    ISeqArchive archive(split.file, archiveFormat(split), "");
    try {
        while (!archive.atEnd())
            bio->addSeq(createSequence(archive));
        bio->setEncoding("SAL");
    } catch (...) {
        if (!archive.atEnd()) // as the archive route: a failure past the end costs nothing
            throw;
    }
    return !model.empty();
}

boost::shared_ptr<Velm::ModelIter> CompressedFileSource::openIterator(const char* path, cmn::OpContext* ctx) {
    if (!path)
        return boost::shared_ptr<Velm::ModelIter>();
    const cmn::QualifiedPath split(path);
    if (!cmn::isRegularFile(split.file))
        return boost::shared_ptr<Velm::ModelIter>(); // the caller fails at once, not at the first read
    // A chromatogram is one model, which retrieve() reads; entries are for sequence text.
    if (chromatogramAllowed(split) && TraceFile::getFormat(split.file.c_str()) != 0)
        return boost::shared_ptr<Velm::ModelIter>();
    const std::string format = archiveFormat(split);
    const std::string name = format.empty() || split.qualified ? std::string(path) : format + "@@" + path;
    return boost::shared_ptr<Velm::ModelIter>(new SALArchiveModelIter(name.c_str(), nullptr, ctx, ""));
}

bool CompressedFileSource::save(const char* path, Velm::Model& model, cmn::OpContext* ctx) {
    if (!path)
        return false;
    const std::string inner = cmn::withoutCompressionExtension(path);
    if (boost::shared_ptr<Velm::ModelSource> source = factory_.findSource(inner.c_str())) {
        if (source.get() != this)
            return source->save(path, model, ctx);
    }
    const ExtensionEntry* row = findExtension(extensionOf(inner.c_str()));
    return row && row->kind == ExtKindArchive && row->format &&
           factory_.saveSAL(path, row->format, model, ctx);
}

} // namespace Ovik
