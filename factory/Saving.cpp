// Saving: a source first, then the factory's archive writer or its FASTA alignment writer.
#include "factory/ModelFactory.h"

#include "factory/CompareNoCase.h"
#include "factory/ExtensionTable.h"
#include "factory/Messages.h"

#include <contracts/SeqArchive.h>

#include <cstring>
#include <sstream>

namespace Ovik {

const ExtensionEntry* findArchiveEntry(const char* format) {
    struct Rule {
        const char* prefix;
        const char* ext;
    };
    // Tested in this order: a format name matches a rule when it begins with the rule's text.
    const Rule rules[] = {
        {SALSource::RSF, "rsf"},   {SALSource::MSF, "msf"},  {SALSource::FASTA, "fa"},
        {"fasta", "fa"},           {SALSource::NBRF, "pir"}, {SALSource::STADEN, "sta"},
        {SALSource::SSF, "ssf"},   {SALSource::EMBL, "emb"}, {SALSource::GB, "gb"},
        {SALSource::SW, "swl"},    {SALSource::SPT, "spt"},  {SALSource::GENPEPT, "gb"},
    };
    if (!format)
        return nullptr;
    for (const Rule& rule : rules)
        if (compareNoCase(format, rule.prefix, static_cast<unsigned>(std::strlen(rule.prefix))) == 0)
            return findExtension(rule.ext);
    return nullptr;
}

bool ModelFactory::save(const char* path, Velm::Model& model, cmn::OpContext* ctx) {
    if (model.empty()) {
        if (ctx)
            ctx->error(msg::NothingToOpen);
        return false;
    }
    if (boost::shared_ptr<Velm::ModelSource> source = findSource(path)) {
        if (source->save(path, model, ctx)) {
            model.setURL(path);
            return true;
        }
    }
    const ExtensionEntry* row = findExtension(extensionOf(path));
    if (row && row->kind == ExtKindArchive && row->format && saveSAL(path, row->format, model, ctx)) {
        model.setURL(path);
        return true;
    }
    if (ctx)
        ctx->error(msg::UnsupportedFileType + std::string(path));
    return false;
}

bool ModelFactory::save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx) {
    if (model.empty()) {
        if (ctx)
            ctx->error(msg::NothingToOpen);
        return false;
    }
    if (!format)
        format = "";
    for (const auto& entry : sources_) {
        if (entry.second->supports(format) && entry.second->save(path, model, format, ctx)) {
            model.setURL(path);
            return true;
        }
    }
    if (compareNoCase(format, "fa", 2) == 0) {
        if (auto* alignment = dynamic_cast<Velm::AlignModel*>(&model))
            return saveFastA(path, alignment->alignment, ctx);
    }
    if (SALSource::supports(format)) {
        const ExtensionEntry* row = findArchiveEntry(format);
        if (row && row->format && saveSAL(path, row->format, model, ctx)) {
            model.setURL(path);
            return true;
        }
    }
    if (ctx)
        ctx->error(msg::UnsupportedFileType + std::string(path));
    return false;
}

bool ModelFactory::saveSAL(const char* path, const char* format, Velm::Model& model,
                           cmn::OpContext* ctx) {
    auto* bio = dynamic_cast<Velm::BioModel*>(&model);
    if (!bio || bio->empty()) {
        if (ctx)
            ctx->error(msg::SavingFile + std::string(path) + msg::NothingToSave);
        return false;
    }
    std::string written(format);
    if (written == SALSource::GB && !bio->sequences().empty() && bio->sequences().front()->isProtein())
        written = SALSource::GENPEPT;

    OSeqArchive archive(path, written, "");
    archive.setContext(ctx); // what the format cannot hold is left out with a warning
    for (const auto& sequence : bio->sequences())
        saveSequence(*sequence, archive);
    // Closing puts the finished file in place of the target and throws when it cannot; without
    // it a failed flush would be reported as a successful save.
    archive.close();
    model.setURL(path);
    bio->setEncoding(written);
    return true;
}

bool ModelFactory::saveFastA(const char* path, const Velm::Alignment& alignment, cmn::OpContext* ctx) {
    // Written beside the target and renamed over it when complete, so a failed write never
    // truncates or destroys the file being replaced.
    cmn::ReplacingFile file(path);
    if (!file.ok()) {
        if (ctx)
            ctx->error(msg::OpeningFile + std::string(path) + ": " + std::strerror(file.error()));
        return false;
    }
    std::ostringstream text;
    if (alignment.writeFastA(text, nullptr).fail())
        return false;
    // A failed write (a full disk) or rename is reported like a failed open: never a silent false.
    if (file.write(text.str()) && file.commit())
        return true;
    if (ctx)
        ctx->error(msg::SavingFile + std::string(path) + ": " + std::strerror(file.error()));
    return false;
}

} // namespace Ovik
