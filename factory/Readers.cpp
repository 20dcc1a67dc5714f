// The factory's own readers: a chromatogram as one sequence, a sequence archive entry by entry.
#include "factory/ModelFactory.h"

#include "factory/CompareNoCase.h"
#include "factory/ExtensionTable.h"
#include "factory/Messages.h"

#include <contracts/SeqArchive.h>
#include <trace/TraceFile.h>

#include <exception>

namespace Ovik {

namespace {

// True when the path's extension begins with `name` (three characters, ignoring case).
bool extensionBegins(const char* path, const char* name) {
    const char* ext = extensionOf(path);
    return ext && compareNoCase(ext, name, 3) == 0;
}

} // namespace

bool ModelFactory::openTrace(const char* path, Velm::BioModel& model, cmn::OpContext* ctx) {
    try {
        TraceFile reader;
        boost::shared_ptr<Velm::TraceData> trace = reader.read(path, nullptr);
        if (!trace)
            return false;
        // An experiment file is only taken for a chromatogram under its own extension.
        if (trace->formatName() == "exp" && !extensionBegins(path, "exp"))
            return false;
        boost::shared_ptr<Velm::Sequence> sequence = Velm::NASequence::create(trace);
        sequence->setSource(path);
        model.addSeq(sequence);
        model.setEncoding("trace");
        return true;
    } catch (const std::exception& e) {
        if (ctx)
            ctx->error(msg::ReadingFile + std::string(path) + ": " + e.what());
        return false;
    }
}

bool ModelFactory::openSAL(const char* path, Velm::BioModel& model, cmn::OpContext*) {
    const cmn::QualifiedPath split(path);
    std::string format = split.format;
    if (!split.qualified && extensionBegins(path, "sta"))
        format = "SDN";

    ISeqArchive archive(split.file, format, "");
    try {
        while (!archive.atEnd())
            model.addSeq(createSequence(archive));
        model.setEncoding("SAL");
    } catch (...) {
        // A failure once the input is exhausted costs nothing that was read; earlier ones pass on
        // (the archive closes as the exception leaves).
        if (!archive.atEnd())
            throw;
    }
    model.setURL(path);
    return !model.empty();
}

bool ModelFactory::openFile(const char* path, Velm::BioModel& model, cmn::OpContext* ctx) {
    if (openTrace(path, model, ctx))
        return true;
    return openSAL(path, model, ctx);
}

bool ModelFactory::openFile(const char* path, Velm::BioModel& model, const char* format,
                            cmn::OpContext* ctx) {
    if (TraceFile::supports(format) && openTrace(path, model, ctx))
        return true;
    if (SALSource::supports(format))
        return openSAL(path, model, ctx);
    if (ctx)
        ctx->error(msg::CannotUnderstandFormat + std::string(format));
    return false;
}

} // namespace Ovik
