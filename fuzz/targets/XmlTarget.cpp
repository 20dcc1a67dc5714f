// The XML source on arbitrary bytes, read into models of each family: a document that does not
// fit leaves the model unchanged and reports one error naming the file.
#include "FuzzSupport.h"

#include <contracts/Blast.h>
#include <contracts/XmlSource.h>

#include <boost/make_shared.hpp>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Velm::XMLModelSource source;
    const std::string path = mffuzz::writeInput("input.xml", data, size);
    source.handles(path.c_str());
    mffuzz::require(source.getType(path.c_str()) != nullptr, "getType answered null");

    const std::vector<boost::shared_ptr<Velm::Model>> models = {
        boost::make_shared<Velm::SeqModel>(),     boost::make_shared<Velm::AlignModel>(),
        boost::make_shared<Velm::CFProjModel>(),  boost::make_shared<Velm::DBQueryModel>(),
        boost::make_shared<Velm::NCBIBlastModel>(), boost::make_shared<Velm::BlastModel>()};
    for (const auto& model : models) {
        cmn::OpContext ctx;
        if (source.retrieve(path.c_str(), *model, &ctx, nullptr)) {
            mffuzz::require(!ctx.hasErrors(), "a successful read with errors");
            if (const auto* bio = dynamic_cast<const Velm::BioModel*>(model.get()))
                for (const auto& sequence : bio->sequences())
                    for (const char c : sequence->residues())
                        mffuzz::require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F,
                                        "a control character read into residues");
        } else {
            mffuzz::require(model->empty(), "a failed read changed the model");
            const std::vector<std::string> errors = ctx.errors();
            mffuzz::require(errors.size() == 1, "a failed read without exactly one error");
            mffuzz::require(mffuzz::contains(errors[0], path), "an error that does not name the file");
        }
    }
    return 0;
}
