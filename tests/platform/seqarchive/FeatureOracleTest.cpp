// Feature locations and translations against what the sample files themselves say: every location
// text parses and is written back unchanged, and every CDS that carries a /translation translates to
// exactly that protein.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <contracts/FeatureLocation.h>
#include <contracts/GeneticCode.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

using namespace satest;

namespace {

const char* const kAnnotatedFiles[] = {
    "sequences/NC_005816.gb", "sequences/cor6_6.gb", "sequences/AF032047.gbk",
    "sequences/1MRR_A.gp", "sequences/YP_007988852.gp", "sequences/TRBG361.embl",
    "sequences/U87107.embl", "sequences/epo_prt_selection.embl", "sequences/cor6_6.emb",
    "sequences/multi_ex.swl", "sequences/P60137.swiss"};

bool isInsdc(const std::string& file) {
    return file.find(".swl") == std::string::npos && file.find(".swiss") == std::string::npos;
}

TEST(FeatureOracle, EveryLocationTextRoundTrips) {
    MF_REQUIRE_TESTDATA();
    std::size_t checked = 0;
    for (const char* file : kAnnotatedFiles) {
        if (!isInsdc(file)) continue; // UniProt feature tables give positions, not INSDC locations
        for (const auto& entry : readAll(mftest::testdataFile(file))) {
            for (const Velm::Feature& f : entry->features()) {
                SCOPED_TRACE(std::string(file) + " " + entry->name() + " " + f.key + " " + f.location);
                Velm::FeatureLocation location;
                ASSERT_NO_THROW(location = Velm::FeatureLocation::parse(f.location));
                EXPECT_EQ(f.location, location.text());
                ++checked;
            }
        }
    }
    // 41 + 38 + 7 + 28 + 11 + 3 + 6 + 9 rows in the GenBank, GenPept and EMBL samples.
    EXPECT_EQ(143u, checked);
}

TEST(FeatureOracle, EveryCdsTranslationEqualsItsTranslationQualifier) {
    MF_REQUIRE_TESTDATA();
    std::size_t withTranslation = 0, agreed = 0, remote = 0;
    for (const char* file : kAnnotatedFiles) {
        if (!isInsdc(file)) continue;
        for (const auto& entry : readAll(mftest::testdataFile(file))) {
            if (entry->isProtein()) continue;
            for (const Velm::Feature& f : entry->features()) {
                bool found = false;
                std::string expected = Velm::qualifierValue(f, "translation", &found);
                if (f.key != "CDS" || !found) continue;
                ++withTranslation;
                SCOPED_TRACE(std::string(file) + " " + entry->name() + " CDS " + f.location);
                if (Velm::FeatureLocation::parse(f.location).isRemote()) {
                    // Parts in another entry cannot be translated from this one: reported, never guessed.
                    try {
                        Velm::translateFeature(f, *entry);
                        ADD_FAILURE() << "a CDS reaching into another entry was translated";
                    } catch (const Velm::LocationError& e) {
                        EXPECT_NE(std::string(e.what()).find("another entry"), std::string::npos) << e.what();
                    }
                    ++remote;
                    continue;
                }
                Velm::Translation t;
                ASSERT_NO_THROW(t = Velm::translateFeature(f, *entry));
                EXPECT_TRUE(t.problems.empty()) << t.problems.front();
                // Qualifier values wrapped over lines keep no white space inside a protein.
                expected.erase(std::remove_if(expected.begin(), expected.end(),
                                              [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                               expected.end());
                EXPECT_EQ(expected, t.protein);
                if (expected == t.protein) ++agreed;
            }
        }
    }
    std::printf("CDS with /translation: %zu, equal to our translation: %zu, in other entries: %zu\n",
                withTranslation, agreed, remote);
    EXPECT_EQ(23u, withTranslation);
    // AF032047.gbk's one CDS joins two parts of AF032048.1.
    EXPECT_EQ(1u, remote);
    EXPECT_EQ(withTranslation - remote, agreed);
}

TEST(FeatureOracle, EveryFeatureReadsTheSameOnceItsEntryIsReverseComplemented) {
    MF_REQUIRE_TESTDATA();
    std::size_t checked = 0;
    for (const char* file : kAnnotatedFiles) {
        if (!isInsdc(file)) continue;
        for (const auto& entry : readAll(mftest::testdataFile(file))) {
            if (entry->isProtein()) continue;
            Velm::NASequence turned(entry->name(), entry->residues());
            turned.setMoleculeType(entry->moleculeType());
            turned.features() = entry->features();
            Velm::reverseComplementEntry(turned);
            ASSERT_EQ(entry->features().size(), turned.features().size());
            for (std::size_t i = 0; i < turned.features().size(); ++i) {
                const Velm::Feature& before = entry->features()[i];
                SCOPED_TRACE(std::string(file) + " " + entry->name() + " " + before.location);
                const Velm::FeatureLocation location = Velm::FeatureLocation::parse(turned.features()[i].location);
                EXPECT_EQ(Velm::FeatureLocation::parse(before.location).partialStart(), location.partialStart());
                EXPECT_EQ(Velm::FeatureLocation::parse(before.location).partialEnd(), location.partialEnd());
                if (location.isRemote()) continue;
                EXPECT_EQ(Velm::extractFeature(before, *entry), Velm::extractFeature(turned.features()[i], turned));
                ++checked;
            }
        }
    }
    // The features of the nucleotide entries (epo_prt_selection.embl holds proteins), less the two
    // of AF032047.gbk that reach into AF032048.1.
    EXPECT_EQ(41u + 38u + 7u - 2u + 3u + 6u, checked);
}

} // namespace
