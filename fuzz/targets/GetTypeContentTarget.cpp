// The factory on arbitrary file contents: detection under several file names, then opening what
// detection answered and iterating the file, as a host does with a user's file.
#include "FuzzSupport.h"

#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <cstring>

namespace {

// The first byte picks the name the file gets, so that each detection road is taken.
const char* const kNames[] = {"input",     "input.fa",  "input.gb",  "input.embl", "input.nex",
                              "input.phy", "input.aln", "input.msf", "input.xml",  "input.scf",
                              "input.ab1", "input.exp", "input.pir", "input.gcg",  "input.txt",
                              "input.swl"};
const char* const kFormats[] = {"", "FASTA", "GenBank", "NEXUS", "CLUSTAL", "MSF-ALN", "PHYLIP",
                                "XML", "SCF", "ZTR", "EMBL", "Staden"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t pick = data[0];
    const std::string path = mffuzz::writeInput(kNames[pick % (sizeof kNames / sizeof *kNames)],
                                                data + 1, size - 1);
    const char* format = kFormats[(pick >> 4) % (sizeof kFormats / sizeof *kFormats)];
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();

    const std::string type = factory.getType(path.c_str());
    cmn::OpContext typeCtx;
    factory.getType(path.c_str(), format, &typeCtx);

    // The sequence opener and iteration let the archive layer's exceptions reach the host (the
    // factory's documented rule); what reaches it must name the file.
    try {
        if (!type.empty()) {
            cmn::OpContext ctx;
            boost::shared_ptr<Velm::Model> model = factory.open(path.c_str(), type.c_str(), &ctx);
            mffuzz::require(model || ctx.hasErrors(), "no model and no error");
        }
        cmn::OpContext iterCtx;
        boost::shared_ptr<Velm::ModelIter> iter = factory.iterate(path.c_str(), nullptr, &iterCtx, format);
        if (iter) {
            std::size_t models = 0;
            while (iter->next())
                mffuzz::require(models++ <= size, "more models than bytes: the iterator does not advance");
        } else {
            mffuzz::require(iterCtx.hasErrors(), "no iterator and no error");
        }
    } catch (const Ovik::SeqArchiveError& error) {
        mffuzz::require(mffuzz::contains(error.what(), path), "an error that does not name the file");
    }
    return 0;
}
