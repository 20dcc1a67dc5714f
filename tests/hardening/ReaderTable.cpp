#include "ReaderTable.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <contracts/Sequence.h>
#include <contracts/XmlSource.h>
#include <factory/ModelFactory.h>
#include <trace/TraceFile.h>

#include <exception>
#include <memory>

namespace hardening {

namespace {

void summarise(Outcome& out, const Velm::Sequence& sequence) {
    out.summary += sequence.name() + ":" + sequence.residues() + ";";
}

void collect(Outcome& out, const cmn::OpContext& ctx) {
    for (const std::string& error : ctx.errors())
        out.errors.push_back(error);
}

Outcome readTrace(const std::string& path) {
    Outcome out;
    Ovik::TraceFile reader;
    boost::shared_ptr<Velm::TraceData> trace = reader.read(path.c_str(), nullptr);
    out.success = trace != nullptr;
    if (trace) {
        out.entries = 1;
        out.summary = trace->bases() + "/" + std::to_string(trace->numPoints());
    }
    return out;
}

Outcome readArchive(const std::string& path, const std::string& format) {
    Outcome out;
    try {
        Ovik::ISeqArchive archive(path, format, "");
        cmn::OpContext ctx;
        archive.setContext(&ctx);
        struct Collect {
            Outcome& out;
            cmn::OpContext& ctx;
            ~Collect() { out.warnings = ctx.warnings(); }
        } collectWarnings{out, ctx};
        while (!archive.atEnd()) {
            summarise(out, *Ovik::createSequence(archive));
            ++out.entries;
        }
        out.success = true;
    } catch (const std::exception& error) {
        out.errors.push_back(error.what());
    }
    return out;
}

template <class Source>
Outcome readSource(const std::string& path) {
    Outcome out;
    Source source;
    Velm::AlignModel model;
    cmn::OpContext ctx;
    out.success = source.retrieve(path.c_str(), model, &ctx, nullptr);
    collect(out, ctx);
    for (const auto& sequence : model.sequences())
        summarise(out, *sequence);
    out.entries = model.sequences().size();
    return out;
}

Outcome readXml(const std::string& path) {
    Outcome out;
    Velm::XMLModelSource source;
    Velm::SeqModel model;
    cmn::OpContext ctx;
    out.success = source.retrieve(path.c_str(), model, &ctx, nullptr);
    collect(out, ctx);
    for (const auto& sequence : model.sequences())
        summarise(out, *sequence);
    out.entries = model.sequences().size();
    return out;
}

// The factory lets the archive layer's exceptions reach the host; they count as error texts.
Outcome factoryOpen(const std::string& path) {
    Outcome out;
    cmn::OpContext ctx;
    try {
        boost::shared_ptr<Velm::Model> model =
            Ovik::GetModelFactory().open(path.c_str(), Velm::SeqModel::className, &ctx);
        if (auto* bio = dynamic_cast<Velm::BioModel*>(model.get())) {
            for (const auto& sequence : bio->sequences())
                summarise(out, *sequence);
            out.entries = bio->sequences().size();
        }
        // A load counts as successful by the model's own answer.
        out.success = model && !model->empty();
    } catch (const std::exception& error) {
        out.errors.push_back(error.what());
    }
    collect(out, ctx);
    return out;
}

Outcome factoryGetType(const std::string& path) {
    Outcome out;
    const std::string type = Ovik::GetModelFactory().getType(path.c_str());
    out.success = !type.empty();
    out.summary = type;
    out.entries = type.empty() ? 0 : 1;
    return out;
}

Outcome factoryIterate(const std::string& path) {
    Outcome out;
    cmn::OpContext ctx;
    try {
        boost::shared_ptr<Velm::ModelIter> iter =
            Ovik::GetModelFactory().iterate(path.c_str(), nullptr, &ctx, "");
        if (iter) {
            while (boost::shared_ptr<Velm::Model> model = iter->next()) {
                ++out.entries;
                if (auto* bio = dynamic_cast<Velm::BioModel*>(model.get()))
                    for (const auto& sequence : bio->sequences())
                        summarise(out, *sequence);
            }
        }
        out.success = iter && out.entries > 0 && !ctx.hasErrors();
    } catch (const std::exception& error) {
        out.errors.push_back(error.what());
    }
    collect(out, ctx);
    return out;
}

} // namespace

std::string seedFile(const std::string& relative) { return std::string(MF_SEEDS_DIR) + "/" + relative; }

const std::vector<Reader>& allReaders() {
    static const std::vector<Reader> readers = [] {
        std::vector<Reader> list;
        list.push_back({"trace", "", false, false, false, readTrace});
        struct ArchiveFormat {
            const char* name;
            const char* sample;
            bool cutReadsShorter;
        };
        const ArchiveFormat formats[] = {
            {"EMBL", "seqarchive/c.embl", false},    {"GenPept", "seqarchive/k.gp", false},
            {"GenBank", "seqarchive/b.gb", false},   {"RSF", "seqarchive/i.rsf", false},
            {"MSF", "seqarchive/h.msf", false},      {"FASTA", "seqarchive/a.fasta", true},
            {"NBRF", "seqarchive/f.pir", false},     {"Staden", "seqarchive/j.sta", true},
            {"GCG", "seqarchive/g.gcg", true},       {"Swiss", "seqarchive/d.swiss", false},
            {"TrEMBL", "seqarchive/e.trembl", false}, {"", "seqarchive/b.gb", false}};
        for (const ArchiveFormat& f : formats) {
            const std::string format = f.name;
            list.push_back({"archive " + (format.empty() ? std::string("(recognised)") : format),
                            seedFile(f.sample), f.cutReadsShorter, true, true,
                            [format](const std::string& path) { return readArchive(path, format); }});
        }
        list.push_back({"MSF source", seedFile("align/a.msf"), false, false, true, readSource<Ovik::MSFModelSource>});
        list.push_back({"NEXUS source", seedFile("align/b.nex"), false, false, true, readSource<Ovik::NexusModelSource>});
        list.push_back({"PHYLIP source", seedFile("align/c.phy"), false, false, true, readSource<Ovik::PHYModelSource>});
        list.push_back({"Clustal source", seedFile("align/e.aln"), false, false, true, readSource<Ovik::MMSAModelSource>});
        list.push_back({"XML source", seedFile("xml/a.xml"), false, false, true, readXml});
        // The sequence opener reports nothing of its own: an empty model is its documented answer.
        list.push_back({"factory open", seedFile("seqarchive/b.gb"), false, false, false, factoryOpen});
        list.push_back({"factory getType", "", false, false, false, factoryGetType});
        list.push_back({"factory iterate", seedFile("seqarchive/a.fasta"), true, false, true, factoryIterate});
        return list;
    }();
    return readers;
}

} // namespace hardening
