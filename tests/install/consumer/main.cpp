#include <factory/ModelFactory.h>

#include <boost/make_shared.hpp>

#include <fstream>
#include <iostream>

// Uses the installed package the way a host does: the factory, the data model, the trace reader.
int main(int argc, char** argv) {
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    const Velm::FormatList formats = factory.getSupportedFormats();
    if (formats.empty() || formats.back().first != "BIO") {
        std::cerr << "unexpected format list\n";
        return 1;
    }
    const std::string path = std::string(argc > 1 ? argv[1] : ".") + "/consumer.fa";
    std::ofstream(path) << ">probe demo\nACGTACGT\n";
    cmn::OpContext ctx;
    auto model = factory.open(path.c_str(), factory.getType(path.c_str()).c_str(), &ctx);
    auto bio = boost::dynamic_pointer_cast<Velm::BioModel>(model);
    if (!bio || bio->sequences().size() != 1 || bio->sequences()[0]->residues() != "ACGTACGT") {
        std::cerr << "could not read back " << path << "\n";
        return 1;
    }
    std::cout << "consumer ok: " << model->getType() << " with " << bio->calcSize() << " residues, "
              << formats.size() << " formats, trace formats include "
              << Ovik::TraceFile::getSupportedFormats().front().first << "\n";
    return 0;
}
