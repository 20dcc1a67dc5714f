// The sequence-archive reader on arbitrary bytes, in the format MF_FUZZ_FORMAT names ("" lets the
// archive layer recognise the format from the content, as a user's untyped file would be read).
#include "FuzzSupport.h"

#include <contracts/SeqArchive.h>

#ifndef MF_FUZZ_FORMAT
#define MF_FUZZ_FORMAT ""
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = mffuzz::writeInput("input.seq", data, size);
    const std::string detected = Ovik::SeqArchive::GetFileFormat(path);
    mffuzz::require(detected.empty() || Ovik::SALSource::supports(detected.c_str()),
                    "recognised a format the archive layer does not know");
    try {
        Ovik::ISeqArchive archive(path, MF_FUZZ_FORMAT, "");
        // Every call consumes at least one line, so the entries are bounded by the input's size.
        std::size_t entries = 0;
        while (!archive.atEnd()) {
            mffuzz::require(entries++ <= size, "more entries than bytes: the reader does not advance");
            boost::shared_ptr<Velm::Sequence> sequence = Ovik::createSequence(archive);
            mffuzz::require(sequence != nullptr, "an entry read as nothing without an error");
            // Confidences, where a reader keeps them, are one a residue.
            if (const auto* na = dynamic_cast<const Velm::NASequence*>(sequence.get()))
                mffuzz::require(na->confidences().empty() || na->confidences().size() == na->length(),
                                "confidences that do not match the residues");
        }
    } catch (const Ovik::SeqArchiveError& error) {
        // Every reading error says which file it is about.
        mffuzz::require(mffuzz::contains(error.what(), path), "an error that does not name the file");
    }
    return 0;
}
