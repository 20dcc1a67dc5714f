// Feature locations on arbitrary text: parsing either succeeds or throws LocationError; a parsed
// location writes back a text that parses to the same text, extracts from a fixed entry or throws
// LocationError, and on the other strand reads the same residues. Translation of what it extracts
// gives a protein or a TranslationError.
#include "FuzzSupport.h"

#include <contracts/FeatureLocation.h>
#include <contracts/GeneticCode.h>

#include <string>

namespace {

// One entry: the checks above on `entry`, whose reverse complement is `turnedEntry`.
void check(const Velm::FeatureLocation& location, const std::string& entry, const std::string& turnedEntry) {
    std::string residues;
    try {
        residues = location.extract(entry);
    } catch (const Velm::LocationError&) {
        return;
    }
    Velm::FeatureLocation turned;
    try {
        turned = location.reverseComplemented(static_cast<long>(entry.size()));
    } catch (const Velm::LocationError&) {
        mffuzz::require(false, "a location that extracts could not be turned");
    }
    mffuzz::require(Velm::FeatureLocation::parse(turned.text()).text() == turned.text(), "a turned location reads back otherwise");
    mffuzz::require(turned.extract(turnedEntry) == residues, "the other strand reads other residues");
    for (bool cds : {false, true}) {
        Velm::TranslationOptions options;
        options.cds = cds;
        options.partialStart = location.partialStart();
        options.partialEnd = location.partialEnd();
        try {
            const Velm::Translation t = Velm::translate(residues, options);
            mffuzz::require(t.protein.size() <= residues.size() / 3, "a protein longer than its codons");
        } catch (const Velm::TranslationError&) {
            mffuzz::require(cds, "a plain translation refused");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dna = "ATGGCCAAGTTACGTRYKMBVDHNacgtATGTAA-ATGCCCTGA";
    static const std::string rna = "AUGGCCAAGUUACGURYKMBVDHNacguAUGUAA-AUGCCCUGA";
    static const std::string turnedDna = Velm::reverseComplement(dna);
    static const std::string turnedRna = Velm::reverseComplement(rna, true);
    const std::string text(reinterpret_cast<const char*>(data), size);
    Velm::FeatureLocation location;
    try {
        location = Velm::FeatureLocation::parse(text);
    } catch (const Velm::LocationError&) {
        return 0;
    }
    const std::string written = location.text();
    mffuzz::require(Velm::FeatureLocation::parse(written).text() == written, "a written location reads back otherwise");
    check(location, dna, turnedDna);
    check(location, rna, turnedRna);
    return 0;
}
