#include <contracts/Sequence.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <sstream>

namespace {

boost::shared_ptr<Velm::TraceData> smallTrace(const std::string& ident, const std::string& name) {
    auto trace = boost::make_shared<Velm::TraceData>();
    trace->setIdent(ident);
    trace->setTraceName(name);
    const char a[] = {40, 1, 2, 3}, c[] = {1, 30, 2, 3}, g[] = {1, 2, 20, 3}, t[] = {1, 2, 3, 10};
    trace->setProbs(4, a, c, g, t);
    trace->setTraces(8, nullptr, nullptr, nullptr, nullptr);
    trace->setBases(4, "ACGT");
    return trace;
}

TEST(NASequence, CreateTakesCallsConfidencesAndKeepsTheTrace) {
    auto trace = smallTrace("read-17", "/data/run/read.ab1");
    auto sequence = Velm::NASequence::create(trace);
    ASSERT_TRUE(sequence);
    EXPECT_EQ(sequence->name(), "read-17");
    EXPECT_EQ(sequence->residues(), "ACGT");
    EXPECT_FALSE(sequence->isProtein());
    EXPECT_EQ(sequence->confidences(), (std::vector<unsigned char>{40, 30, 20, 10}));
    EXPECT_EQ(sequence->trace(), trace);
}

TEST(NASequence, CreateNamesAnUnidentifiedTraceAfterItsFile) {
    EXPECT_EQ(Velm::NASequence::create(smallTrace("", "/data/run/read.ab1"))->name(), "read");
    EXPECT_EQ(Velm::NASequence::create(smallTrace("", "plain"))->name(), "plain");
    EXPECT_EQ(Velm::NASequence::create(smallTrace("", "dir.v2/x.scf"))->name(), "x");
}

TEST(Alignment, WritesFastaIn60ColumnLines) {
    Velm::Alignment alignment;
    auto first = boost::make_shared<Velm::Sequence>(std::string("row1"), std::string(130, 'A'));
    first->setDescription("first row");
    alignment.addRow(first);
    alignment.addRow(boost::make_shared<Velm::Sequence>(std::string("row2"), std::string("AC--GT")));
    alignment.addRow(boost::shared_ptr<Velm::Sequence>()); // ignored

    std::ostringstream out;
    EXPECT_TRUE(alignment.writeFastA(out, nullptr).good());
    EXPECT_EQ(out.str(), ">row1 first row\n" + std::string(60, 'A') + "\n" + std::string(60, 'A') +
                             "\n" + std::string(10, 'A') + "\n>row2\nAC--GT\n");

    std::ostringstream dotted;
    alignment.writeFastA(dotted, ".");
    EXPECT_NE(dotted.str().find("AC..GT\n"), std::string::npos);
    EXPECT_EQ(alignment.rowCount(), 2u);
    EXPECT_EQ(alignment.length(), 130u);
    EXPECT_FALSE(alignment.isFlush());
}

TEST(Alignment, WritesNamesAsTheArchiveWritersDo) {
    Velm::Alignment alignment;
    auto spaced = boost::make_shared<Velm::Sequence>(std::string("two words"), std::string("AC-T"));
    spaced->setDescription("line\nbreak");
    alignment.addRow(spaced);
    alignment.addRow(boost::make_shared<Velm::Sequence>(std::string(""), std::string("ACGT")));
    std::ostringstream out;
    alignment.writeFastA(out, nullptr);
    EXPECT_EQ(out.str(), ">two_words line break\nAC-T\n>seq2\nACGT\n");
}

TEST(Alignment, WriteFastaReportsAFailedStream) {
    Velm::Alignment alignment;
    alignment.addRow(boost::make_shared<Velm::Sequence>(std::string("r"), std::string("ACGT")));
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(alignment.writeFastA(out, nullptr).good());
}

TEST(Sequence, GuessesMoleculeType) {
    using T = Velm::Sequence::MoleculeType;
    EXPECT_EQ(Velm::Sequence::guessMoleculeType("ACGTNacgtn--ACGT"), T::DNA);
    EXPECT_EQ(Velm::Sequence::guessMoleculeType("ACGUUGCA"), T::RNA);
    EXPECT_EQ(Velm::Sequence::guessMoleculeType("MKVLAAGIVGLLLAQ"), T::Protein);
    EXPECT_EQ(Velm::Sequence::guessMoleculeType("---"), T::Unknown);
}

TEST(Sequence, AnnotationsKeepOrderAndReplaceInPlace) {
    Velm::Sequence sequence;
    sequence.setAnnotation("KEYWORDS", "a");
    sequence.setAnnotation("ORGANISM", "b");
    sequence.setAnnotation("KEYWORDS", "c");
    EXPECT_EQ(sequence.annotations(),
              (Velm::PropertyList{{"KEYWORDS", "c"}, {"ORGANISM", "b"}}));
    EXPECT_EQ(sequence.annotation("ORGANISM"), "b");
    EXPECT_EQ(sequence.annotation("missing"), "");
}

// The rarely used fields live apart from the rest: copies take them along and own them.
TEST(Sequence, RarelyUsedFieldsAreCopiedAndOwnedByEachCopy) {
    Velm::NASequence original("n", "ACGT");
    original.setAccession("X1");
    original.setAnnotation("K", "v");
    original.addFeature({"CDS", "1..4", {{"gene", "g"}}});
    original.setConfidences({1, 2, 3, 4});

    Velm::NASequence copy(original);
    copy.setAccession("X2");
    copy.setAnnotation("K", "w");
    EXPECT_EQ(original.accession(), "X1");
    EXPECT_EQ(original.annotation("K"), "v");
    EXPECT_EQ(copy.annotation("K"), "w");
    EXPECT_EQ(copy.features(), original.features());
    EXPECT_EQ(copy.confidences(), original.confidences());

    Velm::NASequence assigned;
    assigned = original;
    EXPECT_EQ(assigned.accession(), "X1");
    EXPECT_EQ(assigned.features().size(), 1u);
    assigned = Velm::NASequence("plain", "AC"); // an assignment also drops what the source lacks
    EXPECT_EQ(assigned.accession(), "");
    EXPECT_TRUE(assigned.annotations().empty());
    EXPECT_TRUE(assigned.features().empty());

    Velm::NASequence moved(std::move(copy));
    EXPECT_EQ(moved.accession(), "X2");
    EXPECT_EQ(moved.residues(), "ACGT");
}

TEST(Sequence, RarelyUsedFieldsReadEmptyUntilSet) {
    const Velm::NASequence plain("n", "AC");
    EXPECT_EQ(plain.accession(), "");
    EXPECT_TRUE(plain.annotations().empty());
    EXPECT_TRUE(plain.features().empty());
    EXPECT_FALSE(plain.trace());
    EXPECT_EQ(plain.annotation("KEYWORDS"), "");
    Velm::Sequence sequence;
    sequence.setAccession("");
    EXPECT_EQ(sequence.accession(), "");
    sequence.features().push_back({"gene", "1..2", {}});
    EXPECT_EQ(sequence.features().size(), 1u);
}

} // namespace
