#include "factory/ExtensionTable.h"

#include "factory/CompareNoCase.h"

#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cstring>

namespace Ovik {

namespace {

// Built once at load time: the format column copies the archive library's constants, whose
// libraries are initialised before this one.
const ExtensionEntry kTable[] = {
    {"abi", 3, 1, ExtKindTrace, nullptr},
    {"align", 5, 4, ExtKindPlain, nullptr},
    {"assembly", 8, 5, ExtKindPlain, nullptr},
    {"avi", 3, 0, ExtKindPlain, nullptr},
    {"bat", 3, 0, ExtKindPlain, nullptr},
    {"bmp", 3, 0, ExtKindPlain, nullptr},
    {"com", 3, 0, ExtKindPlain, nullptr},
    {"dll", 3, 0, ExtKindPlain, nullptr},
    {"doc", 3, 0, ExtKindPlain, nullptr},
    {"emb", 3, 3, ExtKindArchive, SALSource::EMBL},
    {"exe", 3, 0, ExtKindPlain, nullptr},
    {"exp", 3, 2, ExtKindPlain, nullptr},
    {"fa", 2, 3, ExtKindArchive, SALSource::FASTA},
    {"gb", 2, 3, ExtKindArchive, SALSource::GB},
    {"gif", 3, 0, ExtKindPlain, nullptr},
    {"gz", 2, 0, ExtKindPlain, nullptr},
    {"htm", 3, 0, ExtKindPlain, nullptr},
    {"ig", 2, 0, ExtKindPlain, nullptr},
    // Compares three characters although its text has two: it matches "j" and "jp", not "jpg".
    {"jp", 3, 0, ExtKindPlain, nullptr},
    {"lib", 3, 0, ExtKindPlain, nullptr},
    {"mp", 2, 0, ExtKindPlain, nullptr},
    {"msa", 3, 4, ExtKindPlain, nullptr},
    {"msf", 3, 7, ExtKindArchive, SALSource::MSF},
    {"nex", 3, 4, ExtKindPlain, nullptr},
    {"obj", 3, 0, ExtKindPlain, nullptr},
    {"ocx", 3, 0, ExtKindPlain, nullptr},
    {"pdb", 3, 0, ExtKindPlain, nullptr},
    {"phy", 3, 4, ExtKindPlain, nullptr},
    {"pir", 3, 3, ExtKindPlain, nullptr},
    {"rsf", 3, 3, ExtKindArchive, SALSource::RSF},
    {"rtf", 3, 0, ExtKindPlain, nullptr},
    {"scf", 3, 1, ExtKindTrace, nullptr},
    {"seq", 3, 1, ExtKindPlain, nullptr},
    {"spt", 3, 3, ExtKindArchive, SALSource::SPT},
    {"ssf", 3, 3, ExtKindArchive, SALSource::SSF},
    {"sta", 3, 1, ExtKindArchive, nullptr},
    {"swl", 3, 3, ExtKindArchive, SALSource::SW},
    {"tar", 3, 0, ExtKindPlain, nullptr},
    {"tgz", 3, 0, ExtKindPlain, nullptr},
    {"wav", 3, 0, ExtKindPlain, nullptr},
    {"zip", 3, 0, ExtKindPlain, nullptr},
};

const std::size_t kTableSize = sizeof(kTable) / sizeof(kTable[0]);
static_assert(sizeof(kTable) / sizeof(kTable[0]) == 41, "the extension table has 41 rows");

struct Key {
    const char* text;
    std::size_t length;
};

unsigned shorter(std::size_t keyLength, std::uint32_t rowLength) {
    return static_cast<unsigned>(std::min<std::size_t>(keyLength, rowLength));
}

} // namespace

const ExtensionEntry* extensionTable() { return kTable; }
std::size_t extensionTableSize() { return kTableSize; }

const ExtensionEntry* findExtension(const char* ext) {
    if (!ext || !*ext)
        return nullptr;
    const Key key{ext, std::strlen(ext)};
    const ExtensionEntry* end = kTable + kTableSize;
    const ExtensionEntry* row = std::lower_bound(
        kTable, end, key, [](const ExtensionEntry& entry, const Key& k) {
            return compareNoCase(entry.ext, k.text, shorter(k.length, entry.length)) < 0;
        });
    if (row == end)
        return nullptr;
    if (compareNoCase(key.text, row->ext, shorter(key.length, row->length)) < 0)
        return nullptr;
    return row;
}

const char* extensionOf(const char* path) {
    if (!path)
        return nullptr;
    const char* dot = std::strrchr(path, '.');
    return dot ? dot + 1 : nullptr;
}

} // namespace Ovik
