#include <contracts/DataModel.h>

#include <boost/make_shared.hpp>

#include <iostream>

int main() {
    Velm::SeqModel model;
    model.addSeq(boost::make_shared<Velm::NASequence>("probe", "ACGTACGT"));
    if (model.empty() || model.calcSize() != 8) {
        std::cerr << "unexpected model state\n";
        return 1;
    }
    std::cout << "consumer ok: " << model.getType() << " holds " << model.calcSize() << " residues\n";
    return 0;
}
