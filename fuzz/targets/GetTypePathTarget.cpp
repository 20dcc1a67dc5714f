// The factory's detection on arbitrary path texts: format-qualified forms ("FASTA@@file",
// "@@", several "@@"), dots in folder names, missing files and folders. The texts are taken both
// as they are and under a scratch folder holding a few real files.
#include "FuzzSupport.h"

#include <factory/ModelFactory.h>

#include <sys/stat.h>

#include <cstring>

namespace {

void makeTree() {
    static const std::uint8_t fasta[] = ">one\nACGT\n>two\nGGCC\n";
    static const std::uint8_t nexus[] = "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nmatrix\na ACGT\n;\nend;\n";
    const std::string& root = mffuzz::scratchDir();
    mkdir((root + "/dir.with.dots").c_str(), 0700);
    mkdir((root + "/plain").c_str(), 0700);
    mkdir((root + "/folder.fa").c_str(), 0700);
    mffuzz::writeInput("seq.fa", fasta, sizeof fasta - 1);
    mffuzz::writeInput("dir.with.dots/seq", fasta, sizeof fasta - 1);
    mffuzz::writeInput("dir.with.dots/align.nex", nexus, sizeof nexus - 1);
    mffuzz::writeInput("plain/noext", nexus, sizeof nexus - 1);
    mffuzz::writeInput("FASTA@@odd.fa", fasta, sizeof fasta - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (makeTree(), true);
    (void)ready;
    // A C path ends at its first NUL; the rest of the input is not part of it.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    for (const std::string& path : {text, mffuzz::scratchDir() + "/" + text}) {
        const std::string type = factory.getType(path.c_str());
        cmn::OpContext ctx;
        const std::string typed = factory.getType(path.c_str(), "FASTA", &ctx);
        (void)type;
        (void)typed;
    }
    return 0;
}
