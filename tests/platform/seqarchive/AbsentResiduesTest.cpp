// Entries whose residues are absent (master and CONTIG-only records) and reads whose qualities
// are empty: the model tells "none" from "empty", and writers keep or refuse what they cannot say.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <contracts/FeatureLocation.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

const char* const kGenBankMaster =
    "LOCUS       CM000001                1500 bp    DNA     linear   CON 01-JAN-2020\n"
    "DEFINITION  a constructed entry.\nACCESSION   CM000001\n"
    "FEATURES             Location/Qualifiers\n"
    "     source          1..1500\n                     /mol_type=\"genomic DNA\"\n"
    "CONTIG      join(AB000001.1:1..1000,gap(100),AB000002.1:1..400)\n//\n";
const char* const kEmblMaster =
    "ID   CM000002; SV 1; linear; genomic DNA; CON; SYN; 1500 BP.\nXX\nAC   CM000002;\nXX\n"
    "DE   a constructed entry\nXX\nCO   join(AB000003.1:1..1000,gap(100),AB000004.1:1..400)\n//\n";

std::string rewritten(const std::string& content, const std::string& from, const std::string& to,
                      cmn::OpContext* ctx = nullptr) {
    mftest::TempDir dir;
    const Sequences entries = readAll(mftest::writeFile(dir.file("in"), content), from);
    Ovik::OSeqArchive out(dir.file("out"), to, "");
    out.setContext(ctx);
    for (const auto& entry : entries)
        Ovik::saveSequence(*entry, out);
    out.close();
    return mftest::readFile(dir.file("out"));
}

TEST(AbsentResidues, MasterRecordsKeepTheirDeclaredLengthAndNoResidues) {
    mftest::TempDir dir;
    struct Case {
        const char* content;
        const char* format;
        const char* name;
    };
    const Case cases[] = {{kGenBankMaster, "GenBank", "CM000001"}, {kEmblMaster, "EMBL", "CM000002"}};
    for (const Case& c : cases) {
        const Sequences entries = readAll(mftest::writeFile(dir.file("in"), c.content), c.format);
        ASSERT_EQ(entries.size(), 1u) << c.format;
        EXPECT_EQ(entries[0]->name(), c.name);
        EXPECT_TRUE(entries[0]->residuesAbsent()) << c.format;
        EXPECT_EQ(entries[0]->declaredLength(), 1500u) << c.format;
        EXPECT_EQ(entries[0]->length(), 0u);
    }
    // Its features lie on residues the file does not hold: none is taken, with a reason.
    const Sequences master = readAll(mftest::writeFile(dir.file("m.gb"), kGenBankMaster), "GenBank");
    ASSERT_EQ(master.at(0)->features().size(), 1u);
    try {
        Velm::extractFeature(master[0]->features()[0], *master[0]);
        ADD_FAILURE() << "a feature taken from absent residues";
    } catch (const Velm::LocationError& e) {
        EXPECT_NE(std::string(e.what()).find("CM000001 holds no residues"), std::string::npos) << e.what();
    }
    // An entry that holds its residues declares nothing; an empty entry is empty, not absent.
    const Sequences plain = readAll(mftest::writeFile(dir.file("p.gb"),
        "LOCUS       X1                        4 bp    DNA     linear   PLN 01-JAN-2020\n"
        "ORIGIN\n        1 acgt\n//\n"), "GenBank");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_FALSE(plain[0]->residuesAbsent());
    EXPECT_EQ(plain[0]->declaredLength(), 0u);
    const Sequences empty = readAll(mftest::writeFile(dir.file("e.fa"), ">e\n"), "FASTA");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_FALSE(empty[0]->residuesAbsent());
}

TEST(AbsentResidues, GenBankAndEmblWriteTheDeclaredLengthAndTheContigLine) {
    const std::string gb = rewritten(kGenBankMaster, "GenBank", "GenBank");
    EXPECT_EQ(gb.rfind("LOCUS       CM000001                1500 bp", 0), 0u) << gb;
    EXPECT_NE(gb.find("CONTIG      join(AB000001.1:1..1000,gap(100),AB000002.1:1..400)\n"), std::string::npos) << gb;
    const std::string embl = rewritten(kEmblMaster, "EMBL", "EMBL");
    EXPECT_NE(embl.find("; 1500 BP.\n"), std::string::npos) << embl;
    EXPECT_NE(embl.find("CO   join(AB000003.1:1..1000,gap(100),AB000004.1:1..400)\n//\n"), std::string::npos) << embl;
    EXPECT_EQ(embl.find("SQ   "), std::string::npos) << embl;
    // Across the two: GenBank's CONTIG becomes EMBL's CO, and the length goes with it.
    const std::string across = rewritten(kGenBankMaster, "GenBank", "EMBL");
    EXPECT_NE(across.find("; 1500 BP.\n"), std::string::npos) << across;
    EXPECT_NE(across.find("CO   join(AB000001.1:1..1000,gap(100),AB000002.1:1..400)\n//\n"), std::string::npos) << across;
    const std::string back = rewritten(kEmblMaster, "EMBL", "GenBank");
    EXPECT_NE(back.find("CONTIG      join(AB000003.1:1..1000,gap(100),AB000004.1:1..400)\n"), std::string::npos) << back;
    // A master record without a CONTIG line: EMBL's SQ line without sequence lines.
    const std::string master = rewritten(
        "LOCUS       ABCD01000000             800 bp    DNA     linear   PLN 01-JAN-2020\n"
        "DEFINITION  a master record.\nACCESSION   ABCD00000000\nWGS         ABCD01000001-ABCD01000004\n//\n",
        "GenBank", "EMBL");
    EXPECT_NE(master.find("; 800 BP.\n"), std::string::npos) << master;
    EXPECT_NE(master.find("SQ   Sequence 800 BP; 0 A; 0 C; 0 G; 0 T; 0 other;\n//\n"), std::string::npos) << master;
    mftest::TempDir dir;
    const Sequences again = readAll(mftest::writeFile(dir.file("m.embl"), master), "EMBL");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again[0]->residuesAbsent());
    EXPECT_EQ(again[0]->declaredLength(), 800u);
}

TEST(AbsentResidues, FormatsThatNeedResiduesRefuseTheEntryByName) {
    for (const char* format : {"GCG", "MSF", "RSF"}) {
        const std::string error = errorOf([&] { rewritten(kGenBankMaster, "GenBank", format); });
        EXPECT_NE(error.find("CM000001 holds no residues (its record declares 1500"), std::string::npos)
            << format << ": " << error;
    }
    // The others write an empty entry, and say so.
    cmn::OpContext ctx;
    EXPECT_EQ(rewritten(kGenBankMaster, "GenBank", "FASTA", &ctx), ">CM000001 a constructed entry\n");
    ASSERT_EQ(ctx.warnings().size(), 1u);
    EXPECT_NE(ctx.warnings()[0].find("CM000001 holds no residues"), std::string::npos) << ctx.warnings()[0];
    EXPECT_NE(ctx.warnings()[0].find("written as an empty sequence"), std::string::npos) << ctx.warnings()[0];
}

TEST(EmptyQualities, AZeroLengthReadHoldsEmptyQualitiesAndFastaHoldsNone) {
    mftest::TempDir dir;
    const Sequences reads =
        readAll(mftest::writeFile(dir.file("r.fq"), "@empty\n\n+\n\n@one\nA\n+\nI\n"), "FASTQ");
    ASSERT_EQ(reads.size(), 2u);
    for (const auto& read : reads) {
        const auto& na = dynamic_cast<const Velm::NASequence&>(*read);
        EXPECT_TRUE(na.hasConfidences()) << read->name();
        EXPECT_EQ(na.confidences().size(), read->length());
    }
    const Sequences fasta = readAll(mftest::writeFile(dir.file("f.fa"), ">a\nACGT\n>b\n\n"), "FASTA");
    for (const auto& entry : fasta) {
        const auto* na = dynamic_cast<const Velm::NASequence*>(entry.get());
        EXPECT_TRUE(!na || !na->hasConfidences()) << entry->name();
    }
    // Copies keep the difference; dropping makes them none again.
    Velm::NASequence copy(dynamic_cast<const Velm::NASequence&>(*reads[0]));
    EXPECT_TRUE(copy.hasConfidences());
    copy.dropConfidences(64);
    EXPECT_FALSE(copy.hasConfidences());
    Velm::NASequence again(copy);
    EXPECT_FALSE(again.hasConfidences());
    copy.setConfidences(std::vector<unsigned char>{});
    EXPECT_FALSE(copy.hasConfidences()); // an empty set alone does not make them held
}

} // namespace
