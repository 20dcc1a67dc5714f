// One alignment source (MF_FUZZ_SOURCE) on arbitrary bytes: detection, then reading into an
// alignment model. A failed read adds nothing and reports one error naming the file.
#include "FuzzSupport.h"

#include <contracts/AlignFormats.h>
#include <contracts/Sequence.h>

#include <cstring>

#ifndef MF_FUZZ_SOURCE
#error "MF_FUZZ_SOURCE names the source class"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Ovik::MF_FUZZ_SOURCE source;
    const std::string path = mffuzz::writeInput("input.aln", data, size);
    const bool handled = source.handles(path.c_str());
    const char* type = source.getType(path.c_str());
    mffuzz::require(type != nullptr, "getType answered null");
    (void)handled;

    Velm::AlignModel model;
    cmn::OpContext ctx;
    const bool read = source.retrieve(path.c_str(), model, &ctx, nullptr);
    if (read) {
        mffuzz::require(!ctx.hasErrors(), "a successful read with errors");
    } else {
        mffuzz::require(model.sequences().empty(), "a failed read left rows in the model");
        const std::vector<std::string> errors = ctx.errors();
        mffuzz::require(errors.size() == 1, "a failed read without exactly one error");
        mffuzz::require(mffuzz::contains(errors[0], path), "an error that does not name the file");
    }
    return 0;
}
