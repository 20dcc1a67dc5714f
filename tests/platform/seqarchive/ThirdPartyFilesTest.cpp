// Each reader on real files written by other tools: entry counts, first and last names and
// lengths, features, as the files hold them (see testdata/SOURCES.md).
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

struct SampleFile {
    const char* file;
    const char* format; // what GetFileFormat answers
    std::size_t count;
    const char* firstName;
    std::size_t firstLength;
    const char* lastName;
    std::size_t lastLength; // 0: not checked
    std::size_t features;   // summed over the entries
    Velm::Sequence::MoleculeType type; // of the first entry
};

using T = Velm::Sequence::MoleculeType;

const SampleFile kSamples[] = {
    {"lupine.fasta", "FASTA", 1, "gi|5049839|gb|AI730987.1|AI730987", 655, "gi|5049839|gb|AI730987.1|AI730987", 655, 0, T::DNA},
    {"aster_no_wrap.fasta", "FASTA", 1, "gi|3298468|dbj|BAA31520.1|", 107, "gi|3298468|dbj|BAA31520.1|", 107, 0, T::Protein},
    {"f002.fasta", "FASTA", 3, "gi|1348912|gb|G26680|G26680", 633, "gi|1592936|gb|G29385|G29385", 471, 0, T::DNA},
    {"NC_005816.fna", "FASTA", 1, "gi|45478711|ref|NC_005816.1|", 9609, "gi|45478711|ref|NC_005816.1|", 9609, 0, T::DNA},
    {"NC_005816.faa", "FASTA", 10, "gi|45478712|ref|NP_995567.1|", 340, "gi|45478721|ref|NP_995576.1|", 0, 0, T::Protein},
    {"example_unwrapped.fa", "FASTA", 3, "EAS54_6_R1_2_1_413_324", 25, "EAS54_6_R1_2_1_443_348", 25, 0, T::DNA},
    {"spaced_fasta.fa", "FASTA", 37, "CEESC12R", 0, "CEESC41F", 0, 0, T::DNA},
    {"NC_005816.gb", "GenBank", 1, "NC_005816", 9609, "NC_005816", 9609, 41, T::DNA},
    {"cor6_6.gb", "GenBank", 6, "ATCOR66M", 513, "AF297471", 497, 38, T::RNA},
    {"AF032047.gbk", "GenBank", 1, "ALSEB2MP1", 291, "ALSEB2MP1", 291, 7, T::DNA},
    {"1MRR_A.gp", "GenPept", 1, "1MRR_A", 375, "1MRR_A", 375, 28, T::Protein},
    {"YP_007988852.gp", "GenPept", 1, "YP_007988852", 205, "YP_007988852", 205, 11, T::Protein},
    {"TRBG361.embl", "EMBL", 1, "X56734", 1859, "X56734", 1859, 3, T::RNA},
    {"U87107.embl", "EMBL", 1, "U87107", 8840, "U87107", 8840, 6, T::DNA},
    {"epo_prt_selection.embl", "EMBL", 9, "A00022", 14, "CQ797900", 496, 9, T::Protein},
    {"cor6_6.emb", "EMBL", 6, "X55053", 513, "AF297471", 497, 0, T::RNA},
    {"multi_ex.swl", "Swiss", 8, "TPA_HUMAN", 562, "CEF_BPT4", 71, 170, T::Protein},
    {"P60137.swiss", "Swiss", 1, "PSBL_ORYSJ", 38, "PSBL_ORYSJ", 38, 2, T::Protein},
    {"F2CXE6.spt", "TrEMBL", 1, "F2CXE6_HORVD", 291, "F2CXE6_HORVD", 291, 0, T::Protein},
    {"DMB_prot.pir", "NBRF", 6, "HLA:HLA00489", 263, "HLA:HLA01083", 0, 0, T::Protein},
    {"DMA_nuc.pir", "NBRF", 4, "HLA:HLA00485", 786, "HLA:HLA00488", 279, 0, T::DNA},
    {"seqfile.pir", "NBRF", 6, "CCHU", 105, "C44264", 0, 0, T::Protein},
    {"test.gcg", "GCG", 1, "roa1_drome", 358, "roa1_drome", 358, 0, T::Protein},
    {"lupine.ssf", "GCG", 1, "AI730987", 655, "AI730987", 655, 0, T::DNA},
    {"cysprot.msf", "MSF", 7, "CATH_HUMAN", 393, "CYS1_DICDI", 393, 0, T::Protein},
    {"lupine.sta", "Staden", 1, "AI730987", 655, "AI730987", 655, 0, T::DNA},
};

class ThirdPartyFiles : public ::testing::TestWithParam<SampleFile> {};

TEST_P(ThirdPartyFiles, DetectsAndReadsEveryEntry) {
    MF_REQUIRE_TESTDATA();
    const SampleFile& s = GetParam();
    std::string path = mftest::testdataFile(std::string("sequences/") + s.file);
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), s.format);

    cmn::OpContext ctx;
    Sequences seqs = readAll(path, "", &ctx);
    ASSERT_EQ(seqs.size(), s.count);
    EXPECT_EQ(seqs.front()->name(), s.firstName);
    EXPECT_EQ(seqs.back()->name(), s.lastName);
    if (s.firstLength) {
        EXPECT_EQ(seqs.front()->length(), s.firstLength);
    }
    if (s.lastLength) {
        EXPECT_EQ(seqs.back()->length(), s.lastLength);
    }
    EXPECT_EQ(seqs.front()->moleculeType(), s.type);
    std::size_t features = 0;
    for (const auto& seq : seqs) {
        features += seq->features().size();
        EXPECT_EQ(seq->source(), path);
        EXPECT_EQ(seq->residues().find_first_of(" \t\r\n0123456789"), std::string::npos) << seq->name();
    }
    EXPECT_EQ(features, s.features);
    // The checksums and lengths in these files are right: no warning.
    EXPECT_TRUE(ctx.warnings().empty()) << (ctx.warnings().empty() ? "" : ctx.warnings()[0]);

    // Naming the format gives the same entries.
    Sequences named = readAll(path, s.format);
    ASSERT_EQ(named.size(), seqs.size());
    EXPECT_EQ(named.back()->residues(), seqs.back()->residues());
}

INSTANTIATE_TEST_SUITE_P(Sequences, ThirdPartyFiles, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<SampleFile>& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(ThirdPartyContent, GenBankHeaderFeaturesAndQualifiersAreKept) {
    MF_REQUIRE_TESTDATA();
    Sequences seqs = readAll(mftest::testdataFile("sequences/cor6_6.gb"));
    const Velm::Sequence& first = *seqs.front();
    EXPECT_EQ(first.accession(), "X55053");
    EXPECT_EQ(first.description(), "A.thaliana cor6.6 mRNA");
    EXPECT_EQ(first.annotation("VERSION"), "X55053.1  GI:16229");
    EXPECT_EQ(first.annotation("division"), "PLN");
    EXPECT_EQ(first.annotation("date"), "02-MAR-1992");
    EXPECT_EQ(first.annotation("molecule"), "mRNA");
    EXPECT_EQ(first.residues().substr(0, 10), "aacaaaacac");
    ASSERT_FALSE(first.features().empty());
    EXPECT_EQ(first.features()[0].key, "source");
    EXPECT_EQ(first.features()[0].location, "1..513");
    // A multi-line translation is joined without spaces.
    bool sawTranslation = false;
    for (const auto& f : first.features())
        for (const auto& q : f.qualifiers)
            if (q.first == "translation") {
                sawTranslation = true;
                EXPECT_EQ(q.second.find(' '), std::string::npos);
                EXPECT_EQ(q.second.substr(0, 10), "MSETNKNAFQ");
            }
    EXPECT_TRUE(sawTranslation);
}

TEST(ThirdPartyContent, OldSwissProtFeatureTableBecomesLocations) {
    MF_REQUIRE_TESTDATA();
    Sequences seqs = readAll(mftest::testdataFile("sequences/multi_ex.swl"));
    const Velm::Feature& signal = seqs.front()->features().at(0);
    EXPECT_EQ(signal.key, "SIGNAL");
    EXPECT_EQ(signal.location, "1..22");
    const Velm::Feature& propep = seqs.front()->features().at(1);
    EXPECT_EQ(propep.location, "23..32");
    ASSERT_EQ(propep.qualifiers.size(), 1u);
    EXPECT_EQ(propep.qualifiers[0], (std::pair<std::string, std::string>("id", "PRO_0000028348")));
    EXPECT_EQ(seqs.front()->accession(), "P00750");
}

TEST(ThirdPartyContent, EmptyFileIsAnEmptyArchive) {
    MF_REQUIRE_TESTDATA();
    std::string path = mftest::testdataFile("bad/empty.fa");
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), "");
    Ovik::ISeqArchive archive(path, "", "");
    EXPECT_TRUE(archive.atEnd());
    std::string error = errorOf([&] { Ovik::createSequence(archive); });
    EXPECT_NE(error.find(path), std::string::npos);
}

TEST(ThirdPartyContent, GenBankRecordWithoutOriginAndEndFails) {
    MF_REQUIRE_TESTDATA();
    std::string path = mftest::testdataFile("bad/no_origin_no_end.gb");
    Ovik::ISeqArchive archive(path, "", "");
    ASSERT_FALSE(archive.atEnd());
    std::string error = errorOf([&] { Ovik::createSequence(archive); });
    EXPECT_EQ(error, path + ":14: unexpected end of file in the entry that starts at line 1");
    // The failure is not mistaken for the end of the archive, and stays.
    EXPECT_FALSE(archive.atEnd());
    EXPECT_EQ(errorOf([&] { Ovik::createSequence(archive); }), error);
}

TEST(ThirdPartyContent, BinaryGarbageIsNotAnArchive) {
    MF_REQUIRE_TESTDATA();
    std::string path = mftest::testdataFile("bad/garbage.bin");
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), "");
    std::string error = errorOf([&] { Ovik::ISeqArchive archive(path, "", ""); });
    EXPECT_EQ(error, "Cannot open sequence file " + path + ": unrecognised sequence format");
}

} // namespace
