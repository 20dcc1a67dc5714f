#include <contracts/Sequence.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(TraceData, SettersCopyTheirArrays) {
    std::vector<unsigned short> a = {1, 2, 3}, c = {4, 5, 6}, g = {7, 8, 9}, t = {10, 11, 12};
    std::vector<char> pa = {10, 20}, pc = {11, 21}, pg = {12, 22}, pt = {13, 23};
    std::vector<unsigned short> pos = {0, 2};
    std::string bases = "AC";

    Velm::TraceData trace;
    trace.setTraces(3, a.data(), c.data(), g.data(), t.data());
    trace.setProbs(2, pa.data(), pc.data(), pg.data(), pt.data());
    trace.setBasePos(2, pos.data());
    trace.setEditBasePos(2, pos.data());
    trace.setBases(2, bases.data());

    // Overwrite and free the caller's copies: the record must not notice.
    a.assign(3, 99); pa.assign(2, 99); pos.assign(2, 99); bases = "GG";
    a.clear(); a.shrink_to_fit();

    EXPECT_EQ(trace.channel(0), (std::vector<std::uint16_t>{1, 2, 3}));
    EXPECT_EQ(trace.channel(3), (std::vector<std::uint16_t>{10, 11, 12}));
    EXPECT_EQ(trace.probs(0), (std::vector<unsigned char>{10, 20}));
    EXPECT_EQ(trace.probs(3), (std::vector<unsigned char>{13, 23}));
    EXPECT_EQ(trace.basePos(), (std::vector<std::uint16_t>{0, 2}));
    EXPECT_EQ(trace.editBasePos(), (std::vector<std::uint16_t>{0, 2}));
    EXPECT_EQ(trace.bases(), "AC");
    EXPECT_EQ(trace.numPoints(), 3u);
    EXPECT_EQ(trace.numBases(), 2u);
}

TEST(TraceData, NullArraysAreZerosAndNeverRead) {
    Velm::TraceData trace;
    trace.setTraces(4, nullptr, nullptr, nullptr, nullptr);
    trace.setProbs(2, nullptr, nullptr, nullptr, nullptr);
    trace.setBasePos(2, nullptr);
    trace.setEditBasePos(2, nullptr);
    trace.setBases(2, nullptr);
    EXPECT_EQ(trace.channel(2), (std::vector<std::uint16_t>(4, 0)));
    EXPECT_EQ(trace.probs(1), (std::vector<unsigned char>(2, 0)));
    EXPECT_EQ(trace.basePos(), (std::vector<std::uint16_t>(2, 0)));
    EXPECT_EQ(trace.bases(), "NN");
}

// Adopted channels keep their storage (no copy) and always end up of one length.
TEST(TraceData, AdoptedChannelsAreTakenOverAndCutToTheShortest) {
    std::vector<std::uint16_t> a = {1, 2, 3, 4}, c = {5, 6, 7, 8}, g = {9, 10, 11, 12}, t = {13, 14, 15, 16};
    const std::uint16_t* storage = a.data();
    Velm::TraceData trace;
    trace.adoptTraces(std::move(a), std::move(c), std::move(g), std::move(t));
    EXPECT_EQ(trace.channel(0).data(), storage);
    EXPECT_EQ(trace.channel(3), (std::vector<std::uint16_t>{13, 14, 15, 16}));
    EXPECT_EQ(trace.numPoints(), 4u);

    trace.adoptTraces({1, 2, 3}, {4, 5}, {6, 7, 8}, {9, 10, 11, 12});
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(trace.channel(i).size(), 2u) << i;
    EXPECT_EQ(trace.channel(0), (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(trace.channel(3), (std::vector<std::uint16_t>{9, 10}));
}

TEST(TraceData, FixupBasesNormalisesCallsAndClampsPositions) {
    const std::string calls = "acgt-NnRyX*.kmswbdhvU";
    std::vector<unsigned short> pos(calls.size());
    for (std::size_t i = 0; i < pos.size(); ++i)
        pos[i] = static_cast<unsigned short>(i * 3); // runs past the 10 samples below
    Velm::TraceData trace;
    trace.setTraces(10, nullptr, nullptr, nullptr, nullptr);
    trace.setBases(static_cast<unsigned>(calls.size()), calls.data());
    trace.setBasePos(static_cast<unsigned>(pos.size()), pos.data());
    trace.setEditBasePos(static_cast<unsigned>(pos.size()), pos.data());
    trace.fixupBases();
    EXPECT_EQ(trace.bases(), "ACGTNNNRYNNNKMSWBDHVU");
    for (std::size_t i = 0; i < pos.size(); ++i) {
        const unsigned expected = std::min<unsigned>(static_cast<unsigned>(i * 3), 9);
        EXPECT_EQ(trace.basePos()[i], expected) << "base " << i;
        EXPECT_EQ(trace.editBasePos()[i], expected) << "base " << i;
    }
}

TEST(TraceData, EmptyBelowTwoPointsOrTwoBases) {
    struct Case { unsigned points, bases; bool empty; };
    for (const Case& c : {Case{0, 0, true}, Case{1, 5, true}, Case{5, 1, true}, Case{2, 2, false},
                          Case{100, 50, false}}) {
        Velm::TraceData trace;
        trace.setTraces(c.points, nullptr, nullptr, nullptr, nullptr);
        trace.setBases(c.bases, nullptr);
        EXPECT_EQ(trace.empty(), c.empty) << c.points << " points, " << c.bases << " bases";
    }
}

} // namespace
