// Every writable format: write, read back, compare what the format carries.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

using T = Velm::Sequence::MoleculeType;

struct WritableFormat {
    const char* name;
    bool protein;       // the format holds protein entries
    bool descriptions;  // carries the description text
    bool accessions;    // carries the accession
    bool features;      // carries the feature table
    bool alignment;     // rows must have one length
    bool swissFeatures = false; // the feature table is in the Swiss-Prot layout
};

const WritableFormat kFormats[] = {
    {"FASTA", false, true, false, false, false},  {"FASTA", true, true, false, false, false},
    {"GenBank", false, true, true, true, false},  {"GenPept", true, true, true, true, false},
    {"EMBL", false, true, true, true, false},     {"EMBL", true, true, true, true, false},
    {"Swiss", true, true, true, true, false, true}, {"TrEMBL", true, true, true, true, false, true},
    {"NBRF", false, true, false, false, false},   {"NBRF", true, true, false, false, false},
    {"GCG", false, true, false, false, false},    {"GCG", true, true, false, false, false},
    {"MSF", false, false, false, false, true},    {"MSF", true, false, false, false, true},
    {"RSF", false, true, true, false, false},     {"RSF", true, true, true, false, false},
};

std::string repeat(const std::string& unit, std::size_t length) {
    std::string out;
    while (out.size() < length)
        out += unit;
    out.resize(length);
    return out;
}

Sequences sample(const WritableFormat& f) {
    Sequences out;
    const char* names[] = {"first_entry", "SECOND", "x3"};
    const std::size_t lengths[] = {130, 60, 7};
    for (int i = 0; i < 3; ++i) {
        std::size_t length = f.alignment ? 130 : lengths[i];
        std::string residues = f.protein ? repeat("MKVLAWGHSTREDQNPYFCI", length) : repeat("acgtnACGTTGCA", length);
        if (f.alignment)
            residues[5 + i] = '.';
        boost::shared_ptr<Velm::Sequence> seq(new Velm::Sequence(names[i], residues, f.protein ? T::Protein : T::DNA));
        seq->setAccession("AB00012" + std::to_string(i));
        seq->setDescription(i == 0 ? "A long description that goes on well past the eighty columns that flat "
                                     "files allow on one line, with \"quotes\" and a full stop. inside"
                                   : "short one");
        if (i == 0 && f.swissFeatures) {
            // Swiss-Prot's own keys, positions and qualifiers.
            seq->addFeature(Velm::Feature{"CHAIN", "1..130", {{"note", "A long chain name that needs more than one line of the table"}, {"id", "PRO_0000058675"}}});
            seq->addFeature(Velm::Feature{"DISULFID", "?..40", {{"evidence", "ECO:0000250"}}});
        } else if (i == 0) {
            Velm::Feature source{"source", "1.." + std::to_string(length), {{"organism", "Homo sapiens"}, {"mol_type", "genomic DNA"}}};
            Velm::Feature cds{"CDS",
                              "join(complement(12..78),134..202,300..400,500..600,700..800,900..1000,1100..1200)",
                              {{"gene", "abc"},
                               {"codon_start", "1"},
                               {"note", "a note with \"quoted\" words that is long enough to need more than one line in the table"},
                               {"pseudo", ""},
                               {"translation", repeat("MKVLAWGHSTREDQNPYFCI", 150)}}};
            seq->addFeature(source);
            seq->addFeature(cds);
        }
        out.push_back(seq);
    }
    return out;
}

class RoundTrip : public ::testing::TestWithParam<WritableFormat> {};

TEST_P(RoundTrip, WritesWhatItReadsBack) {
    const WritableFormat& f = GetParam();
    mftest::TempDir dir;
    std::string path = dir.file("out.seq");
    Sequences in = sample(f);
    writeAll(path, f.name, in);

    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), f.name);
    cmn::OpContext ctx;
    Sequences back = readAll(path, "", &ctx);
    EXPECT_TRUE(ctx.reports().empty()) << ctx.reports()[0].text;
    ASSERT_EQ(back.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(in[i]->name());
        EXPECT_EQ(back[i]->name(), in[i]->name());
        EXPECT_EQ(back[i]->residues(), in[i]->residues());
        EXPECT_EQ(back[i]->isProtein(), f.protein);
        if (f.descriptions) {
            EXPECT_EQ(back[i]->description(), in[i]->description());
        }
        if (f.accessions) {
            EXPECT_EQ(back[i]->accession(), in[i]->accession());
        }
        if (f.features) {
            ASSERT_EQ(back[i]->features().size(), in[i]->features().size());
            for (std::size_t k = 0; k < in[i]->features().size(); ++k)
                EXPECT_EQ(back[i]->features()[k], in[i]->features()[k]);
        }
    }
    // Output lines end in LF only and stay within 80 columns (GCG and MSF rows aside).
    std::string text = mftest::readFile(path);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    if (std::string(f.name) != "FASTA" && std::string(f.name) != "NBRF" && std::string(f.name) != "RSF") {
        std::size_t start = 0, longest = 0;
        for (std::size_t nl = text.find('\n'); nl != std::string::npos; start = nl + 1, nl = text.find('\n', start))
            longest = std::max(longest, nl - start);
        EXPECT_LE(longest, 80u);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<WritableFormat>& info) {
                             return std::string(info.param.name) + (info.param.protein ? "_protein" : "_nucleotide");
                         });

TEST(RoundTripThirdParty, FlatFilesKeepTheirHeaderFieldsAndFeatures) {
    MF_REQUIRE_TESTDATA();
    const std::pair<const char*, const char*> files[] = {
        {"sequences/NC_005816.gb", "GenBank"}, {"sequences/1MRR_A.gp", "GenPept"},
        {"sequences/U87107.embl", "EMBL"},     {"sequences/TRBG361.embl", "EMBL"},
        {"sequences/P60137.swiss", "Swiss"},   {"sequences/F2CXE6.spt", "TrEMBL"},
        {"sequences/cor6_6.gb", "GenBank"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        mftest::TempDir dir;
        Sequences in = readAll(mftest::testdataFile(file.first));
        writeAll(dir.file("copy"), file.second, in);
        Sequences back = readAll(dir.file("copy"));
        ASSERT_EQ(back.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            EXPECT_EQ(back[i]->name(), in[i]->name());
            EXPECT_EQ(back[i]->accession(), in[i]->accession());
            EXPECT_EQ(back[i]->description(), in[i]->description());
            EXPECT_EQ(back[i]->residues(), in[i]->residues());
            EXPECT_EQ(back[i]->moleculeType(), in[i]->moleculeType());
            EXPECT_EQ(back[i]->features(), in[i]->features());
            // The writers fill in layout fields an old entry lacks (topology, version, class).
            Velm::PropertyList added;
            for (const auto& a : back[i]->annotations())
                if (in[i]->annotation(a.first).empty() && (a.first == "topology" || a.first == "sequence_version" || a.first == "class"))
                    continue;
                else
                    added.push_back(a);
            EXPECT_EQ(added, in[i]->annotations());
        }
    }
}

TEST(RoundTripNames, EmptyAndSpacedNamesBecomeTokens) {
    mftest::TempDir dir;
    Sequences in{boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("", "ACGT")),
                 boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("two words", "ACGT"))};
    writeAll(dir.file("n.fa"), "fasta", in);
    Sequences back = readAll(dir.file("n.fa"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]->name(), "seq1");
    EXPECT_EQ(back[1]->name(), "two_words");
}

TEST(RoundTripChecksum, GcgChecksumMatchesTheThirdPartyFile) {
    MF_REQUIRE_TESTDATA();
    // The checksum lupine.ssf carries (5203) is the one we compute and write.
    mftest::TempDir dir;
    Sequences in = readAll(mftest::testdataFile("sequences/lupine.ssf"));
    writeAll(dir.file("l.ssf"), "GCG", in);
    EXPECT_NE(mftest::readFile(dir.file("l.ssf")).find("Check: 5203  .."), std::string::npos);
}

TEST(RoundTripChecksum, SwissProtCrc64MatchesTheThirdPartyFile) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    Sequences in = readAll(mftest::testdataFile("sequences/P60137.swiss"));
    writeAll(dir.file("p.swl"), "Swiss", in);
    EXPECT_NE(mftest::readFile(dir.file("p.swl")).find("4497 MW;  55537AEC50D25E8D CRC64;"), std::string::npos);
}

} // namespace
