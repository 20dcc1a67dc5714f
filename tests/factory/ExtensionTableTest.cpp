#include <factory/CompareNoCase.h>
#include <factory/ExtensionTable.h>

#include <contracts/SeqArchive.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Ovik::ExtensionEntry;

TEST(ExtensionTable, HasTheFortyOneRowsSortedWithNoPrefixes) {
    ASSERT_EQ(Ovik::extensionTableSize(), 41u);
    const ExtensionEntry* table = Ovik::extensionTable();
    for (std::size_t i = 0; i + 1 < 41; ++i)
        EXPECT_LT(Ovik::compareNoCase(table[i].ext, table[i + 1].ext, 10), 0)
            << table[i].ext << " before " << table[i + 1].ext;
    for (std::size_t i = 0; i < 41; ++i)
        for (std::size_t j = 0; j < 41; ++j) {
            if (i == j)
                continue;
            EXPECT_NE(std::strncmp(table[i].ext, table[j].ext, std::strlen(table[i].ext)), 0)
                << table[i].ext << " is a prefix of " << table[j].ext;
        }
}

TEST(ExtensionTable, RowsCarryTheirFieldsAndFormats) {
    struct Row { const char* ext; unsigned length, flags, kind; const char* format; };
    const Row rows[] = {
        {"abi", 3, 1, 2, nullptr},   {"align", 5, 4, 0, nullptr}, {"assembly", 8, 5, 0, nullptr},
        {"avi", 3, 0, 0, nullptr},   {"bat", 3, 0, 0, nullptr},   {"bmp", 3, 0, 0, nullptr},
        {"com", 3, 0, 0, nullptr},   {"dll", 3, 0, 0, nullptr},   {"doc", 3, 0, 0, nullptr},
        {"emb", 3, 3, 1, Ovik::SALSource::EMBL},                  {"exe", 3, 0, 0, nullptr},
        {"exp", 3, 2, 0, nullptr},   {"fa", 2, 3, 1, Ovik::SALSource::FASTA},
        {"gb", 2, 3, 1, Ovik::SALSource::GB},                     {"gif", 3, 0, 0, nullptr},
        {"gz", 2, 0, 0, nullptr},    {"htm", 3, 0, 0, nullptr},   {"ig", 2, 0, 0, nullptr},
        {"jp", 3, 0, 0, nullptr},    {"lib", 3, 0, 0, nullptr},   {"mp", 2, 0, 0, nullptr},
        {"msa", 3, 4, 0, nullptr},   {"msf", 3, 7, 1, Ovik::SALSource::MSF},
        {"nex", 3, 4, 0, nullptr},   {"obj", 3, 0, 0, nullptr},   {"ocx", 3, 0, 0, nullptr},
        {"pdb", 3, 0, 0, nullptr},   {"phy", 3, 4, 0, nullptr},   {"pir", 3, 3, 0, nullptr},
        {"rsf", 3, 3, 1, Ovik::SALSource::RSF},                   {"rtf", 3, 0, 0, nullptr},
        {"scf", 3, 1, 2, nullptr},   {"seq", 3, 1, 0, nullptr},
        {"spt", 3, 3, 1, Ovik::SALSource::SPT},                   {"ssf", 3, 3, 1, Ovik::SALSource::SSF},
        {"sta", 3, 1, 1, nullptr},   {"swl", 3, 3, 1, Ovik::SALSource::SW},
        {"tar", 3, 0, 0, nullptr},   {"tgz", 3, 0, 0, nullptr},   {"wav", 3, 0, 0, nullptr},
        {"zip", 3, 0, 0, nullptr},
    };
    ASSERT_EQ(sizeof(rows) / sizeof(rows[0]), Ovik::extensionTableSize());
    const ExtensionEntry* table = Ovik::extensionTable();
    for (std::size_t i = 0; i < 41; ++i) {
        SCOPED_TRACE(rows[i].ext);
        EXPECT_STREQ(table[i].ext, rows[i].ext);
        EXPECT_EQ(table[i].length, rows[i].length);
        EXPECT_EQ(table[i].flags, rows[i].flags);
        EXPECT_EQ(table[i].kind, rows[i].kind);
        EXPECT_EQ(table[i].format, rows[i].format); // the constant's own pointer
        // Every row is found by its own text, in any case.
        EXPECT_EQ(Ovik::findExtension(rows[i].ext), &table[i]);
        std::string upper(rows[i].ext);
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        EXPECT_EQ(Ovik::findExtension(upper.c_str()), &table[i]);
    }
}

TEST(ExtensionTable, MatchesOverTheShorterLength) {
    struct Case { const char* key; const char* row; };
    const Case cases[] = {
        {"fasta", "fa"}, {"FASTA", "fa"}, {"Fa", "fa"}, {"gbk", "gb"}, {"GBK", "gb"},
        {"embl", "emb"}, {"mpg", "mp"},   {"mp3", "mp"}, {"seqs", "seq"},
        {"a", "abi"},    {"s", "scf"},    {"b", "bat"},    {"o", "obj"},  {"ms", "msa"}, {"j", "jp"}, {"jp", "jp"},
        {"nex", "nex"},  {"NEX", "nex"},  {"assembly", "assembly"}, {"stab", "sta"},
    };
    for (const Case& c : cases) {
        const ExtensionEntry* row = Ovik::findExtension(c.key);
        ASSERT_NE(row, nullptr) << c.key;
        EXPECT_STREQ(row->ext, c.row) << c.key;
    }
    for (const char* key : {"jpg", "jpeg", "txt", "xyz", "zz", "", "fna", "ztr", "ab1", "q"})
        EXPECT_EQ(Ovik::findExtension(key), nullptr) << key;
    EXPECT_EQ(Ovik::findExtension(nullptr), nullptr);
}

TEST(ExtensionTable, ExtensionIsTheTextAfterTheLastDotOfTheWholePath) {
    struct Case { const char* path; const char* ext; };
    const Case cases[] = {
        {"reads.fasta", "fasta"}, {"a.b.c", "c"},         {"dir.v2/file", "v2/file"},
        {"file.", ""},            {"noext", nullptr},     {"/x/y.z/w.gb", "gb"},
    };
    for (const Case& c : cases) {
        const char* ext = Ovik::extensionOf(c.path);
        if (!c.ext)
            EXPECT_EQ(ext, nullptr) << c.path;
        else
            EXPECT_STREQ(ext, c.ext) << c.path;
    }
    // A dotted folder gives an extension that matches no row unless it happens to begin like one.
    EXPECT_EQ(Ovik::findExtension(Ovik::extensionOf("run.v2/reads")), nullptr);
    EXPECT_STREQ(Ovik::findExtension(Ovik::extensionOf("old.fasta_dir/reads"))->ext, "fa");
}

TEST(ExtensionTable, SavingRulesMapFormatNamesToRows) {
    using S = Ovik::SALSource;
    struct Case { std::string format; const char* row; const char* written; };
    const Case cases[] = {
        {S::RSF, "rsf", S::RSF},     {S::MSF, "msf", S::MSF},     {S::FASTA, "fa", S::FASTA},
        {"fasta", "fa", S::FASTA},   {"FastA-wide", "fa", S::FASTA},
        {S::NBRF, "pir", nullptr},   {S::STADEN, "sta", nullptr}, {S::SSF, "ssf", S::SSF},
        {S::EMBL, "emb", S::EMBL},   {S::GB, "gb", S::GB},        {S::SW, "swl", S::SW},
        {S::SPT, "spt", S::SPT},     {S::GENPEPT, "gb", S::GB},
    };
    for (const Case& c : cases) {
        const ExtensionEntry* row = Ovik::findArchiveEntry(c.format.c_str());
        ASSERT_NE(row, nullptr) << c.format;
        EXPECT_STREQ(row->ext, c.row) << c.format;
        EXPECT_EQ(row->format, c.written) << c.format;
    }
    EXPECT_EQ(Ovik::findArchiveEntry("XML"), nullptr);
    EXPECT_EQ(Ovik::findArchiveEntry(""), nullptr);
}

} // namespace
