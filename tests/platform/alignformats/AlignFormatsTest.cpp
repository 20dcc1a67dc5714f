#include <contracts/AlignFormats.h>

#include "platform/alignformats/AlignmentIO.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using SourcePtr = std::shared_ptr<Velm::ModelSource>;

enum class Fmt { MSF, Nexus, Phylip, Clustal };

SourcePtr makeSource(Fmt format) {
    switch (format) {
    case Fmt::MSF: return std::make_shared<Ovik::MSFModelSource>();
    case Fmt::Nexus: return std::make_shared<Ovik::NexusModelSource>();
    case Fmt::Phylip: return std::make_shared<Ovik::PHYModelSource>();
    case Fmt::Clustal: return std::make_shared<Ovik::MMSAModelSource>();
    }
    return nullptr;
}

const Fmt kAll[] = {Fmt::MSF, Fmt::Nexus, Fmt::Phylip, Fmt::Clustal};

const char* extensionOf(Fmt format) {
    switch (format) {
    case Fmt::MSF: return "msf";
    case Fmt::Nexus: return "nex";
    case Fmt::Phylip: return "phy";
    case Fmt::Clustal: return "aln";
    }
    return "";
}

std::vector<std::string> names(const Velm::BioModel& model) {
    std::vector<std::string> result;
    for (const auto& sequence : model.sequences())
        result.push_back(sequence->name());
    return result;
}

boost::shared_ptr<Velm::Sequence> seq(const std::string& name, const std::string& residues) {
    return boost::make_shared<Velm::Sequence>(name, residues);
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> result;
    if (DIR* handle = ::opendir(dir.c_str())) {
        while (dirent* entry = ::readdir(handle))
            if (entry->d_name[0] != '.')
                result.push_back(entry->d_name);
        ::closedir(handle);
    }
    return result;
}

// ---- format names and registration facts -------------------------------------------------------

TEST(AlignFormatNames, DistinctNamesAndFirstThreeLetters) {
    const std::vector<std::string> formats = {
        Ovik::MSFModelSource::MSF_ALN_Format, Ovik::NexusModelSource::NEX_ALN_Format,
        Ovik::PHYModelSource::PHY_ALN_Format, Ovik::MMSAModelSource::MSA_ALN_Format};
    std::set<std::string> prefixes, sourceNames;
    for (const std::string& format : formats)
        prefixes.insert(format.substr(0, 3));
    EXPECT_EQ(prefixes.size(), 4u);
    for (Fmt format : kAll) {
        SourcePtr source = makeSource(format);
        sourceNames.insert(source->getName());
        const Velm::FormatList list = source->getSupportedFormats();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_TRUE(source->supports(list[0].first.c_str()));
        EXPECT_FALSE(list[0].second.empty());
        EXPECT_FALSE(source->openIterator("x", nullptr));
    }
    EXPECT_EQ(sourceNames, (std::set<std::string>{"MSFModelSource", "NexusModelSource",
                                                   "PHYModelSource", "MMSAModelSource"}));
    EXPECT_TRUE(Ovik::NexusModelSource().supports("nexus"));
    EXPECT_FALSE(Ovik::NexusModelSource().supports("PHYLIP"));
}

// ---- the third-party files ---------------------------------------------------------------------

struct RealFile {
    Fmt format;
    const char* file;
    std::size_t rows;
    std::size_t length;
    const char* first;
    const char* last;
};

const RealFile kRealFiles[] = {
    {Fmt::Nexus, "alignments/test_Nexus_input.nex", 9, 48, "t1", "t9"},
    {Fmt::Nexus, "alignments/codonposset.nex", 2, 22, "Aegotheles", "Aerodramus"},
    {Fmt::Nexus, "alignments/testaln.nexus", 4, 50, "Homo sapiens", "Pongo pigmaeus"},
    {Fmt::Phylip, "alignments/sequential.phy", 3, 384, "CYS1_DICDI", "CATH_HUMAN"},
    {Fmt::Phylip, "alignments/interlaced.phy", 3, 384, "CYS1_DICDI", "CATH_HUMAN"},
    {Fmt::Phylip, "alignments/testaln.phylip", 4, 50, "Homo sapie", "Pongo pigm"},
    {Fmt::Clustal, "alignments/opuntia.aln", 7, 156, "gi|6273285|gb|AF191659.1|AF191",
     "gi|6273291|gb|AF191665.1|AF191"},
    {Fmt::Clustal, "alignments/protein.aln", 20, 411, "gi|14150838|gb|AAK54648.1|AF37",
     "gi|13936399|dbj|BAB47196.1|"},
    {Fmt::Clustal, "alignments/hedgehog.aln", 5, 447, "gi|167877390|gb|EDS40773.1|",
     "gi|56122354|gb|AAV74328.1|"},
    {Fmt::Clustal, "alignments/kalign.aln", 3, 26, "seqA", "seqC"},
    {Fmt::MSF, "alignments/W_prot.msf", 11, 99, "W*01:01:01:01", "W*05:01"},
    {Fmt::MSF, "sequences/cysprot.msf", 7, 393, "CATH_HUMAN", "CYS1_DICDI"},
};

TEST(AlignFormatsRealFiles, EachReaderReadsItsFiles) {
    MF_REQUIRE_TESTDATA();
    for (const RealFile& real : kRealFiles) {
        SCOPED_TRACE(real.file);
        const std::string path = mftest::testdataFile(real.file);
        SourcePtr source = makeSource(real.format);
        EXPECT_TRUE(source->handles(path.c_str()));
        EXPECT_STREQ(source->getType(path.c_str()), Velm::AlignModel::className);
        Velm::AlignModel model;
        cmn::OpContext ctx;
        ASSERT_TRUE(source->retrieve(path.c_str(), model, &ctx, nullptr));
        EXPECT_TRUE(ctx.reports().empty());
        ASSERT_EQ(model.sequences().size(), real.rows);
        EXPECT_EQ(model.alignment.rowCount(), real.rows);
        EXPECT_TRUE(model.alignment.isFlush());
        EXPECT_EQ(model.alignment.length(), real.length);
        EXPECT_EQ(model.sequences().front()->name(), real.first);
        EXPECT_EQ(model.sequences().back()->name(), real.last);
        EXPECT_EQ(model.sequences().front()->source(), path);
        EXPECT_EQ(model.encoding(), source->getSupportedFormats()[0].first);
    }
}

TEST(AlignFormatsRealFiles, NexusNamesCommentsMissingAndInterleavedBlocks) {
    MF_REQUIRE_TESTDATA();
    Velm::AlignModel model;
    ASSERT_TRUE(Ovik::NexusModelSource().retrieve(
        mftest::testdataFile("alignments/test_Nexus_input.nex").c_str(), model, nullptr, nullptr));
    EXPECT_EQ(names(model),
              (std::vector<std::string>{"t1", "t2 the name", "isn'that [a] strange name?",
                                        "one should be punished, for (that)!", "t5", "t6", "t7",
                                        "t8", "t9"}));
    // The second block spells taxon 2 as t2_the_name: it continues the same row.
    EXPECT_EQ(model.sequences()[1]->residues(),
              "A-C-GcTc-gtg-----tct-t-t----acac-gtg-----tct-t-t");
    EXPECT_EQ(model.sequences()[4]->residues(),
              R"(A-C?G-T?--acgt??-???-???--??---?--acgt??-???-???)");
    EXPECT_EQ(model.sequences()[0]->moleculeType(), Velm::Sequence::MoleculeType::DNA);
}

TEST(AlignFormatsRealFiles, MsfDotsAreGapsAndShortRowsArePadded) {
    MF_REQUIRE_TESTDATA();
    Velm::AlignModel model;
    ASSERT_TRUE(Ovik::MSFModelSource().retrieve(
        mftest::testdataFile("alignments/W_prot.msf").c_str(), model, nullptr, nullptr));
    const std::string& shortRow = model.sequences()[6]->residues();   // W*02:01, Len: 93
    EXPECT_EQ(model.sequences()[6]->name(), "W*02:01");
    EXPECT_EQ(shortRow.substr(87), "NPKRLT------");
    EXPECT_TRUE(model.sequences()[0]->isProtein());

    Velm::SeqModel cys;
    ASSERT_TRUE(Ovik::MSFModelSource().retrieve(
        mftest::testdataFile("sequences/cysprot.msf").c_str(), cys, nullptr, nullptr));
    EXPECT_EQ(cys.sequences()[0]->residues().substr(0, 14), "----MWATLPLLCA");
}

TEST(AlignFormatsRealFiles, SequentialAndInterleavedPhylipHoldTheSameData) {
    MF_REQUIRE_TESTDATA();
    Velm::AlignModel sequential, interleaved;
    Ovik::PHYModelSource source;
    ASSERT_TRUE(source.retrieve(mftest::testdataFile("alignments/sequential.phy").c_str(),
                                sequential, nullptr, nullptr));
    ASSERT_TRUE(source.retrieve(mftest::testdataFile("alignments/interlaced.phy").c_str(),
                                interleaved, nullptr, nullptr));
    ASSERT_EQ(sequential.sequences().size(), interleaved.sequences().size());
    for (std::size_t i = 0; i < sequential.sequences().size(); ++i) {
        EXPECT_EQ(sequential.sequences()[i]->name(), interleaved.sequences()[i]->name());
        EXPECT_EQ(sequential.sequences()[i]->residues(), interleaved.sequences()[i]->residues());
    }
    EXPECT_EQ(sequential.sequences()[2]->residues().substr(0, 12), "------MWATLP");
}

TEST(AlignFormatsRealFiles, NoSourceClaimsAnotherFormatsFiles) {
    MF_REQUIRE_TESTDATA();
    std::vector<std::pair<std::string, std::set<Fmt>>> files;
    for (const char* dir : {"alignments", "sequences", "bad", "traces"})
        for (const std::string& name : listDir(mftest::testdataFile(dir))) {
            std::set<Fmt> owners;
            for (const RealFile& real : kRealFiles)
                if (std::string(real.file) == std::string(dir) + "/" + name)
                    owners.insert(real.format);
            files.emplace_back(std::string(dir) + "/" + name, owners);
        }
    ASSERT_GT(files.size(), 40u);
    for (const auto& file : files)
        for (Fmt format : kAll) {
            SCOPED_TRACE(file.first + " / " + makeSource(format)->getName());
            const std::string path = mftest::testdataFile(file.first);
            const bool owned = file.second.count(format) > 0;
            EXPECT_EQ(makeSource(format)->handles(path.c_str()), owned);
            EXPECT_STREQ(makeSource(format)->getType(path.c_str()),
                         owned ? Velm::AlignModel::className : "");
        }
}

// ---- round trips ---------------------------------------------------------------------------------

TEST(AlignFormatsRoundTrip, EverySourceWritesWhatItReads) {
    for (Fmt format : kAll) {
        SourcePtr source = makeSource(format);
        SCOPED_TRACE(source->getName());
        mftest::TempDir dir;
        const std::string path = dir.file(std::string("out.") + extensionOf(format));
        Velm::AlignModel model;
        model.addSeq(seq("alpha", "ACGT-ACGTTGCA--ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTAC"));
        model.addSeq(seq("beta.2", "ACGTTACG-TGCAA-ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTAC"));
        model.addSeq(seq("gamma", "--GTTACGATGCAA-ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACG---"));
        cmn::OpContext ctx;
        ASSERT_TRUE(source->save(path.c_str(), model, &ctx)) << (ctx.errors().empty() ? "" : ctx.errors()[0]);
        EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"out." + std::string(extensionOf(format))});
        EXPECT_TRUE(source->handles(path.c_str()));
        for (Fmt other : kAll) {
            if (other != format) {
                EXPECT_FALSE(makeSource(other)->handles(path.c_str()));
            }
        }
        Velm::AlignModel back;
        ASSERT_TRUE(source->retrieve(path.c_str(), back, &ctx, nullptr))
            << (ctx.errors().empty() ? "" : ctx.errors()[0]);
        ASSERT_EQ(back.sequences().size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(back.sequences()[i]->name(), model.sequences()[i]->name());
            EXPECT_EQ(back.sequences()[i]->residues(), model.sequences()[i]->residues());
        }
    }
}

TEST(AlignFormatsRoundTrip, RealFilesSurviveEveryWriter) {
    MF_REQUIRE_TESTDATA();
    // Clustal, MSF and PHYLIP names carry no blanks (relaxed PHYLIP readers end a name at one,
    // whatever the layout); NEXUS keeps them.
    for (const RealFile& real : kRealFiles)
        for (Fmt format : kAll) {
            SourcePtr reader = makeSource(real.format), writer = makeSource(format);
            SCOPED_TRACE(std::string(real.file) + " -> " + writer->getName());
            Velm::SeqModel model;
            ASSERT_TRUE(reader->retrieve(mftest::testdataFile(real.file).c_str(), model, nullptr, nullptr));
            mftest::TempDir dir;
            const std::string path = dir.file(std::string("copy.") + extensionOf(format));
            cmn::OpContext ctx;
            ASSERT_TRUE(writer->save(path.c_str(), model, &ctx)) << ctx.errors().front();
            Velm::AlignModel back;
            ASSERT_TRUE(writer->retrieve(path.c_str(), back, &ctx, nullptr)) << ctx.errors().front();
            ASSERT_EQ(back.sequences().size(), model.sequences().size());
            for (std::size_t i = 0; i < model.sequences().size(); ++i) {
                EXPECT_EQ(back.sequences()[i]->residues(), model.sequences()[i]->residues());
                std::string expected = model.sequences()[i]->name();
                if (format == Fmt::MSF || format == Fmt::Clustal || format == Fmt::Phylip)
                    for (char& c : expected)
                        c = c == ' ' ? '_' : c;
                EXPECT_EQ(back.sequences()[i]->name(), expected);
            }
        }
}

TEST(AlignFormatsRoundTrip, NexusQuotesNamesThatNeedIt) {
    mftest::TempDir dir;
    const std::string path = dir.file("names.nex");
    Velm::AlignModel model;
    model.addSeq(seq("it's a name", "AC-T"));
    model.addSeq(seq("under_score", "ACGT"));
    model.addSeq(seq("[bracket];", "A?GT"));
    model.addSeq(seq("plain", "ACG-"));
    ASSERT_TRUE(Ovik::NexusModelSource().save(path.c_str(), model, nullptr));
    Velm::AlignModel back;
    ASSERT_TRUE(Ovik::NexusModelSource().retrieve(path.c_str(), back, nullptr, nullptr));
    EXPECT_EQ(names(back), names(model));
    EXPECT_EQ(back.sequences()[2]->residues(), "A?GT");
}

TEST(AlignFormatsRoundTrip, NexusQuotesPunctuationAndOthersReadItBack) {
    mftest::TempDir dir;
    const std::string path = dir.file("punct.nex");
    Velm::AlignModel model;
    for (const char* name : {"X01238.1/1-183", "a+b*c", "p(q)", "x=y:z", "back\\slash", "a<b>", "tick`",
                             "comma,name", "o'brien", "dot.ted|bar"})
        model.addSeq(seq(name, "ACGT"));
    ASSERT_TRUE(Ovik::NexusModelSource().save(path.c_str(), model, nullptr));
    const std::string text = mftest::readFile(path);
    EXPECT_NE(text.find("'X01238.1/1-183'"), std::string::npos);
    EXPECT_NE(text.find("'o''brien'"), std::string::npos);
    EXPECT_NE(text.find("    dot.ted|bar "), std::string::npos); // nothing to quote
    Velm::AlignModel back;
    ASSERT_TRUE(Ovik::NexusModelSource().retrieve(path.c_str(), back, nullptr, nullptr));
    EXPECT_EQ(names(back), names(model));
}

TEST(AlignFormatsRoundTrip, PhylipNamesStayUniqueOnceBlanksAreUnderscores) {
    mftest::TempDir dir;
    const std::string path = dir.file("long.phy");
    Velm::AlignModel model;
    model.addSeq(seq("a long name here", "ACGT"));
    model.addSeq(seq("a long_name here", "AGGT"));
    model.addSeq(seq("a_long_name_here", "TTGT"));
    ASSERT_TRUE(Ovik::PHYModelSource().save(path.c_str(), model, nullptr));
    Velm::AlignModel back;
    ASSERT_TRUE(Ovik::PHYModelSource().retrieve(path.c_str(), back, nullptr, nullptr));
    EXPECT_EQ(names(back),
              (std::vector<std::string>{"a_long_name_here", "a_long_name_here_2", "a_long_name_here_3"}));
}

TEST(AlignFormatsRoundTrip, StrictPhylipCutsNamesToTenAndKeepsThemUnique) {
    mftest::TempDir dir;
    const std::string path = dir.file("strict.phy");
    Velm::AlignModel model;
    model.addSeq(seq("Homo sapiens", "ACGT"));
    model.addSeq(seq("Homo sapiens neanderthalensis", "AGGT"));
    model.addSeq(seq("Pan", "TTGT"));
    ASSERT_TRUE(Ovik::PHYModelSource().save(("PHYLIP-STRICT@@" + path).c_str(), model, nullptr));
    EXPECT_EQ(mftest::readFile(path).substr(0, 32), " 3 4\nHomo_sapie ACGT\nHomo_sap_2 ");
    Velm::AlignModel back;
    ASSERT_TRUE(Ovik::PHYModelSource().retrieve(path.c_str(), back, nullptr, nullptr));
    EXPECT_EQ(names(back), (std::vector<std::string>{"Homo_sapie", "Homo_sap_2", "Pan"}));
}

TEST(AlignFormatsSave, NexusDataTypeFollowsTheLetters) {
    // Nucleotide databases spell mRNA with T; a NEXUS reader told RNA rejects T.
    using Type = Velm::Sequence::MoleculeType;
    const struct {
        Type type;
        const char* residues;
        const char* datatype;
    } kCases[] = {
        {Type::RNA, "ACGT-", "DATATYPE=DNA"},     {Type::DNA, "ACGU-", "DATATYPE=RNA"},
        {Type::RNA, "ACGU-", "DATATYPE=RNA"},     {Type::DNA, "ACGN-", "DATATYPE=DNA"},
        {Type::Protein, "MKVL-", "DATATYPE=PROTEIN"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.residues);
        mftest::TempDir dir;
        const std::string path = dir.file("type.nex");
        Velm::AlignModel model;
        model.addSeq(boost::make_shared<Velm::Sequence>("a", c.residues, c.type));
        ASSERT_TRUE(Ovik::NexusModelSource().save(path.c_str(), model, nullptr));
        EXPECT_NE(mftest::readFile(path).find(std::string("FORMAT ") + c.datatype + " "),
                  std::string::npos);
    }
}

TEST(AlignFormatsRoundTrip, DuplicateAndEmptyNamesAreMadeUnique) {
    for (Fmt format : kAll) {
        SourcePtr source = makeSource(format);
        SCOPED_TRACE(source->getName());
        mftest::TempDir dir;
        const std::string path = dir.file(std::string("dup.") + extensionOf(format));
        Velm::AlignModel model;
        model.addSeq(seq("same", "ACGT"));
        model.addSeq(seq("same", "AGGT"));
        model.addSeq(seq("", "TTGT"));
        ASSERT_TRUE(source->save(path.c_str(), model, nullptr));
        Velm::AlignModel back;
        ASSERT_TRUE(source->retrieve(path.c_str(), back, nullptr, nullptr));
        EXPECT_EQ(names(back), (std::vector<std::string>{"same", "same_2", "seq3"}));
        EXPECT_EQ(back.sequences()[1]->residues(), "AGGT");
    }
}

TEST(AlignFormatsRetrieve, FillsAnySequenceHoldingModelAndAppends) {
    MF_REQUIRE_TESTDATA();
    const std::string path = mftest::testdataFile("alignments/opuntia.aln");
    Ovik::MMSAModelSource source;
    Velm::AssemblyModel assembly;
    Velm::SeqModel sequences;
    ASSERT_TRUE(source.retrieve(path.c_str(), assembly, nullptr, nullptr));
    ASSERT_TRUE(source.retrieve(path.c_str(), sequences, "clustal", nullptr, nullptr));
    EXPECT_EQ(assembly.sequences().size(), 7u);
    EXPECT_EQ(sequences.sequences().size(), 7u);
    EXPECT_EQ(sequences.sequences()[0]->moleculeType(), Velm::Sequence::MoleculeType::DNA);

    cmn::OpContext ctx;
    Velm::CFProjModel project;
    EXPECT_FALSE(source.retrieve(path.c_str(), project, &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{path + ": the model cannot hold sequences"});
}

TEST(AlignFormatsRetrieve, NamedFormatMustBeTheSourcesOwn) {
    MF_REQUIRE_TESTDATA();
    const std::string path = mftest::testdataFile("alignments/interlaced.phy");
    Velm::AlignModel model;
    cmn::OpContext ctx;
    EXPECT_FALSE(Ovik::PHYModelSource().retrieve(path.c_str(), model, "NEXUS", &ctx, nullptr));
    EXPECT_TRUE(model.empty());
    EXPECT_EQ(ctx.errors(),
              std::vector<std::string>{path + ": format not supported by this source: NEXUS"});
    EXPECT_TRUE(Ovik::PHYModelSource().retrieve(path.c_str(), model, "phylip", &ctx, nullptr));
    EXPECT_EQ(model.sequences().size(), 3u);
}

// ---- format-qualified paths and files that do not exist yet --------------------------------------

TEST(AlignFormatsPaths, QualifiedPathsAreClaimedByTheNamedFormatOnly) {
    MF_REQUIRE_TESTDATA();
    const std::string file = mftest::testdataFile("alignments/interlaced.phy");
    for (const char* prefix : {"PHYLIP@@", "phylip@@", "Phy@@"}) {
        const std::string path = prefix + file;
        EXPECT_TRUE(Ovik::PHYModelSource().handles(path.c_str())) << path;
        EXPECT_FALSE(Ovik::NexusModelSource().handles(path.c_str())) << path;
        EXPECT_STREQ(Ovik::PHYModelSource().getType(path.c_str()), Velm::AlignModel::className);
        Velm::AlignModel model;
        EXPECT_TRUE(Ovik::PHYModelSource().retrieve(path.c_str(), model, nullptr, nullptr));
        EXPECT_EQ(model.sequences().size(), 3u);
    }
    const std::string other = "CLUSTAL@@" + file;
    EXPECT_FALSE(Ovik::PHYModelSource().handles(other.c_str()));
    EXPECT_TRUE(Ovik::MMSAModelSource().handles(other.c_str()));
    cmn::OpContext ctx;
    Velm::AlignModel model;
    EXPECT_FALSE(Ovik::PHYModelSource().retrieve(other.c_str(), model, &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{file + ": the path names another format: CLUSTAL"});
    // A single '@' is part of the file name, which does not exist.
    EXPECT_STREQ(Ovik::PHYModelSource().getType(("PHYLIP@" + file).c_str()), "");
}

TEST(AlignFormatsPaths, MissingAndEmptyFilesAreJudgedByExtension) {
    mftest::TempDir dir;
    for (Fmt format : kAll) {
        SourcePtr source = makeSource(format);
        const std::string fresh = dir.file(std::string("new.") + extensionOf(format));
        EXPECT_TRUE(source->handles(fresh.c_str())) << fresh;
        EXPECT_STREQ(source->getType(fresh.c_str()), "");
        EXPECT_FALSE(source->handles(dir.file("new.txt").c_str()));
        const std::string empty = mftest::writeFile(dir.file(std::string("empty.") + extensionOf(format)), "");
        EXPECT_TRUE(source->handles(empty.c_str()));
        cmn::OpContext ctx;
        Velm::AlignModel model;
        EXPECT_FALSE(source->retrieve(empty.c_str(), model, &ctx, nullptr));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{empty + ": the file is empty"});
        ctx.clear();
        EXPECT_FALSE(source->retrieve(fresh.c_str(), model, &ctx, nullptr));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{fresh + ": cannot open the file"});
        EXPECT_FALSE(source->handles(dir.path().c_str()));
    }
}

TEST(AlignFormatsPaths, WeakPhylipContentNeedsTheExtension) {
    mftest::TempDir dir;
    // Two numbers and a line that is no PHYLIP row: only a PHYLIP extension makes it ours.
    const std::string text = "2 4\n(a,b);\n(a,b);\n";
    EXPECT_FALSE(Ovik::PHYModelSource().handles(mftest::writeFile(dir.file("t.txt"), text).c_str()));
    EXPECT_TRUE(Ovik::PHYModelSource().handles(mftest::writeFile(dir.file("t.phy"), text).c_str()));
}

// ---- saving --------------------------------------------------------------------------------------

// The MSF sniffer looks for its markers wherever they stand in the head; words that merely
// contain a marker ("RecName:") claim nothing.
TEST(AlignFormatsPaths, MsfMarkersAreFoundOnlyWhereTheyCount) {
    const std::string comments(200 * 30, ' ');
    std::string manyLines;
    for (int i = 0; i < 200; ++i)
        manyLines += "Some words of a preamble line\n";
    struct Case {
        const char* what;
        std::string text;
        bool asTxt; // claimed under .txt (content alone)
        bool asMsf; // claimed under .msf
    } cases[] = {
        {"header line", "!!AA_MULTIPLE_ALIGNMENT 1.0\nx\n", true, true},
        {"header line in lower case", "!!na_multiple_alignment\n", true, true},
        {"header line after a byte-order mark", "\xEF\xBB\xBF!!AA_MULTIPLE_ALIGNMENT\n", true, true},
        {"indented header line", " !!AA_MULTIPLE_ALIGNMENT\n", false, false},
        {"header line that is not the first", "note\n!!AA_MULTIPLE_ALIGNMENT\n", false, false},
        {"header line after other lines, with a divider", "note\n!!AA_MULTIPLE_ALIGNMENT\nMSF: 9 ..\n", true, true},
        {"divider deep in the head", manyLines + " x.msf  MSF: 10  Type: N  Check: 1234  ..\n", true, true},
        {"divider with CRLF", "x.msf MSF: 10 Type: N Check: 1 ..\r\n", true, true},
        {"divider on the last, unfinished line", manyLines + "MSF: 10 ..", true, true},
        {"MSF: on a line that does not end in ..", "MSF: 10 Type: N\n", false, false},
        {"Name: lines and //", " Name: a Len: 10 Check: 1 Weight: 1\n//\n", false, true},
        {"Name: lines without //", " Name: a Len: 10\n", false, false},
        {"// that is not alone on its line", " Name: a Len: 10\n// end\n", false, false},
        {"annotation with RecName: and //",
         "ID   TPA_HUMAN   Reviewed;   562 AA.\nDE   RecName: Full=Tissue\n" + comments + "\n//\n", false, false},
    };
    mftest::TempDir dir;
    Ovik::MSFModelSource msf;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(msf.handles(mftest::writeFile(dir.file("t.txt"), c.text).c_str()), c.asTxt);
        EXPECT_EQ(msf.handles(mftest::writeFile(dir.file("t.msf"), c.text).c_str()), c.asMsf);
    }
}

// The PHYLIP header: two counts, then only one-letter options.
TEST(AlignFormatsPaths, PhylipHeaderIsTwoCountsAndLetterOptions) {
    const std::string rows = "alpha     ACGTACGTAC\nbeta      ACGTACGTAC\n";
    struct Case {
        const char* header;
        bool claimed;
    } cases[] = {
        {"2 10", true},        {"  2   10  ", true},  {"\t2\t10\tI", true}, {"2 10 I S", true},
        {"2 10 IS", false},    {"2 10 1", false},     {"2x 10", false},       {"2", false},
        {"2 ten", false},      {"-2 10", false},      {"0 10", false},        {"2 10 i", true},
    };
    mftest::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = mftest::writeFile(dir.file("t.txt"), std::string("\n") + c.header + "\n" + rows);
        EXPECT_EQ(Ovik::PHYModelSource().handles(path.c_str()), c.claimed) << c.header;
    }
}

TEST(AlignFormatsSave, RefusesUnequalRowsAndKeepsTheOldFile) {
    for (Fmt format : kAll) {
        SourcePtr source = makeSource(format);
        SCOPED_TRACE(source->getName());
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(dir.file("keep.txt"), "old content\n");
        Velm::AlignModel model;
        model.addSeq(seq("a", "ACGT"));
        model.addSeq(seq("b", "ACG"));
        cmn::OpContext ctx;
        EXPECT_FALSE(source->save(path.c_str(), model, &ctx));
        EXPECT_EQ(ctx.errors(),
                  std::vector<std::string>{path + ": rows of unequal length: b has 3 columns, a has 4"});
        EXPECT_EQ(mftest::readFile(path), "old content\n");
        EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"keep.txt"});
    }
}

TEST(AlignFormatsSave, RefusesWhatCannotBeWritten) {
    mftest::TempDir dir;
    const std::string path = dir.file("x.nex");
    struct Case {
        std::function<void(Velm::BioModel&)> fill;
        std::string error;
    };
    Velm::CFProjModel project;
    project.addFile("a.fa");
    cmn::OpContext ctx;
    EXPECT_FALSE(Ovik::NexusModelSource().save(path.c_str(), project, &ctx));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{path + ": the model cannot hold sequences"});

    const std::vector<Case> cases = {
        {[](Velm::BioModel&) {}, path + ": nothing to save"},
        {[](Velm::BioModel& m) { m.addSeq(seq("a", "")); m.addSeq(seq("b", "")); },
         path + ": the rows hold no residues"},
        {[](Velm::BioModel& m) { m.addSeq(seq("a", "AC;T")); },
         path + ": a row holds a character the format cannot carry: a"},
        {[](Velm::BioModel& m) { m.addSeq(seq("a", "AC T")); },
         path + ": a row holds a character the format cannot carry: a"},
    };
    for (const Case& c : cases) {
        Velm::SeqModel model;
        c.fill(model);
        ctx.clear();
        EXPECT_FALSE(Ovik::NexusModelSource().save(path.c_str(), model, &ctx));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{c.error});
        EXPECT_FALSE(mftest::fileExists(path));
    }
    Velm::AlignModel model;
    model.addSeq(seq("a", "ACGT"));
    ctx.clear();
    EXPECT_FALSE(Ovik::NexusModelSource().save(path.c_str(), model, "PHYLIP", &ctx));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{path + ": format not supported by this source: PHYLIP"});
    const std::string missingDir = dir.file("no/such/dir/x.nex");
    ctx.clear();
    EXPECT_FALSE(Ovik::NexusModelSource().save(missingDir.c_str(), model, &ctx));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{missingDir + ": cannot write the file: No such file or directory"});
}

TEST(AlignFormatsSave, ReplacesAnExistingFileAndKeepsItsMode) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("x.aln"), "old");
    ::chmod(path.c_str(), 0640);
    Velm::AlignModel model;
    model.addSeq(seq("a", "ACGT"));
    ASSERT_TRUE(Ovik::MMSAModelSource().save(("clustal@@" + path).c_str(), model, nullptr));
    EXPECT_EQ(mftest::readFile(path).substr(0, 7), "CLUSTAL");
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(AlignFormatsSave, MsfRecordsTypeLengthAndChecksums) {
    mftest::TempDir dir;
    const std::string path = dir.file("x.msf");
    Velm::AlignModel model;
    model.addSeq(boost::make_shared<Velm::Sequence>("p1", "MKV-LA", Velm::Sequence::MoleculeType::Protein));
    model.addSeq(boost::make_shared<Velm::Sequence>("p2", "MKVQLA", Velm::Sequence::MoleculeType::Protein));
    ASSERT_TRUE(Ovik::MSFModelSource().save(path.c_str(), model, nullptr));
    const std::string text = mftest::readFile(path);
    EXPECT_EQ(text.substr(0, 27), "!!AA_MULTIPLE_ALIGNMENT 1.0");
    EXPECT_NE(text.find("x.msf  MSF: 6  Type: P"), std::string::npos);
    EXPECT_NE(text.find("p1  MKV.LA"), std::string::npos);
    // GCG checksum of "MKV.LA": sum of (position % 57 + 1) * character.
    const unsigned check = (1 * 'M' + 2 * 'K' + 3 * 'V' + 4 * '.' + 5 * 'L' + 6 * 'A') % 10000;
    EXPECT_NE(text.find(" Name: p1  Len:      6  Check: " + std::to_string(check)), std::string::npos);
}

// ---- malformed input -----------------------------------------------------------------------------

struct Malformed {
    Fmt format;
    const char* text;
    std::size_t line;   // 0: the message names no line
    const char* detail;
};

const Malformed kMalformed[] = {
    // PHYLIP: counts that disagree with the rows, truncated blocks, bad rows.
    {Fmt::Phylip, " 3 8\nalpha     ACGTACGT\nbeta      ACGTACGT\n", 3, "the header gives 3 rows, found 2"},
    {Fmt::Phylip, " 2 8\nalpha     ACGTACGT\nbeta      ACGTACGT\ngamma     ACGTACGT\n", 4,
     "text after the last row"},
    {Fmt::Phylip, " 3 8\nalpha     ACGT\nbeta      ACGT\ngamma     ACGT\n\nACGT\nACGT\n\n", 8,
     "truncated block: expected 3 rows, found 2"},
    {Fmt::Phylip, " 2 8\nalpha     ACGTACGT\nbeta      ACGTACG\n", 3, "fewer residues than the header's 8 in beta (7)"},
    {Fmt::Phylip, "two rows\nalpha ACGT\n", 1, "no PHYLIP header: expected the row and column counts"},
    {Fmt::Phylip, " 0 8\n", 1, "the header gives no rows or no columns"},
    // Clustal: unequal rows, truncated block, no header, wrong names.
    {Fmt::Clustal, "CLUSTAL W\n\na   ACGT\nb   ACG\n", 4, "rows of unequal length: b has 3 columns, a has 4"},
    {Fmt::Clustal, "CLUSTAL W\n\na   ACGT\nb   ACGT\n\na   ACGT\n\n", 7,
     "truncated block: expected 2 rows, found 1"},
    {Fmt::Clustal, "CLUSTAL W\n\na   ACGT\nb   ACGT\n\na   ACGT\nc   ACGT\n", 7,
     "unexpected row name c (expected b)"},
    {Fmt::Clustal, "CLUSTAL W\n\na   ACGT\nb   ACGT\n\na   ACGT\nb   ACGT\nc   ACGT\n", 8,
     "more rows in this block than in the first: c"},
    {Fmt::Clustal, "CLUSTAL W\n\n", 2, "no alignment rows"},
    {Fmt::Clustal, "CLUSTAL W\n\na   ACGT\n   ** x\n", 4, "unexpected text in a conservation line"},
    {Fmt::Clustal, "\nalignment\n", 2, "no CLUSTAL header line"},
    // MSF: bad header, unknown rows, lengths that disagree.
    {Fmt::MSF, "x MSF: 4 Type: N ..\n Name: a Len: 4\n Name: b Len: 4\n//\na ACGT\nb ACG\n", 6,
     "row length disagrees with the header: b has 3 residues, expected 4"},
    {Fmt::MSF, "x MSF: 4 Type: N ..\n Name: a Len: 4\n//\na ACGT\nc ACGT\n", 5, "unknown row name c"},
    {Fmt::MSF, "x MSF: 4 Type: N ..\n Name: a Len: 4\n Name: a Len: 4\n//\n", 3, "duplicate row name a"},
    {Fmt::MSF, "x MSF: 4 Type: N ..\n Name: a Len: 4\n", 2, "no // line after the Name: lines"},
    {Fmt::MSF, "x MSF: 4 Type: N ..\n//\n", 2, "no Name: lines"},
    {Fmt::MSF, "x MSF: many ..\n", 1, "the MSF line gives no alignment length"},
    {Fmt::MSF, "!!NA_MULTIPLE_ALIGNMENT\nno divider\n", 2, "no MSF divider line (\"MSF: <length> ... ..\")"},
    // NEXUS: counts, comments, quotes, matrix content.
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=3 nchar=4;\nmatrix\na ACGT\nb ACGT\n;\nend;\n", 7,
     "NTAX is 3, the matrix has 2"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=4;\nmatrix\na ACGT\nb ACG\n;\nend;\n", 7,
     "fewer characters than NCHAR in b"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=4;\nmatrix\na ACGTA\nb ACGT\n;\nend;\n", 5,
     "more characters than NCHAR in a"},
    {Fmt::Nexus,
     "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=4;\nformat interleave;\nmatrix\na AC\nb AC\n\na GT\n;\nend;\n",
     10, "fewer characters than NCHAR in b"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nmatrix\na ACGT\nb ACGT\n;\nend;\n", 6,
     "more taxa than NTAX: b"},
    {Fmt::Nexus, "#NEXUS\n[ a comment\nthat never ends\n", 2, "unterminated comment"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nmatrix\n'a ACGT\n", 5,
     "unterminated quoted name"},
    {Fmt::Nexus, "#NEXUS\nbegin trees;\ntree t = (a,b);\nend;\n", 5, "no DATA or CHARACTERS block"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nend;\n", 4, "the DATA block has no MATRIX"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\nmatrix\na ACGT\n;\nend;\n", 3, "MATRIX before DIMENSIONS NTAX and NCHAR"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=2;\nformat matchchar=.;\nmatrix\na .C\nb AC\n;\nend;\n",
     6, "MATCHCHAR in the first taxon: a"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nformat transpose;\nmatrix\n;\nend;\n", 4,
     "transposed matrices are not supported"},
    {Fmt::Nexus, "#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nmatrix\na ACGT\n", 6, "unexpected end of file"},
    {Fmt::Nexus, "BEGIN DATA;\n", 1, "no #NEXUS header"},
};

TEST(AlignFormatsMalformed, FalseWithFileAndLineAndNothingAdded) {
    for (const Malformed& bad : kMalformed) {
        SCOPED_TRACE(bad.text);
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(dir.file(std::string("bad.") + extensionOf(bad.format)), bad.text);
        Velm::AlignModel model;
        cmn::OpContext ctx;
        EXPECT_FALSE(makeSource(bad.format)->retrieve(path.c_str(), model, &ctx, nullptr));
        EXPECT_TRUE(model.empty());
        const std::string where = bad.line ? path + ", line " + std::to_string(bad.line) : path;
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{where + ": " + bad.detail});
    }
}

TEST(AlignFormatsMalformed, TruncatedRealFilesNeverCrash) {
    MF_REQUIRE_TESTDATA();
    for (const RealFile& real : kRealFiles) {
        const std::string text = mftest::readFile(mftest::testdataFile(real.file));
        mftest::TempDir dir;
        for (std::size_t cut = 0; cut < text.size(); cut += 97) {
            const std::string path = mftest::writeFile(dir.file("cut"), text.substr(0, cut));
            Velm::AlignModel model;
            cmn::OpContext ctx;
            const bool ok = makeSource(real.format)->retrieve(path.c_str(), model, &ctx, nullptr);
            EXPECT_EQ(ok, !model.empty()) << real.file << " cut at " << cut;
            if (!ok) {
                EXPECT_EQ(ctx.errors().size(), 1u) << real.file << " cut at " << cut;
            } else {
                EXPECT_TRUE(model.alignment.isFlush());
            }
        }
        (void)makeSource(real.format)->handles(mftest::testdataFile(real.file).c_str());
    }
}

TEST(AlignFormatsNexus, MatchGapAndMissingSymbolsAreHonoured) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("m.nex"), R"(#NEXUS
BEGIN TAXA; DIMENSIONS NTAX=3; TAXLABELS one two three; END;
BEGIN CHARACTERS;
  DIMENSIONS NCHAR=6;
  FORMAT DATATYPE=PROTEIN GAP=* MISSING=. MATCHCHAR=~ ;
  MATRIX
    three MKV*LA
    one   ~~~~..
    two   ~(KR)V~~A
  ;
END;
)");
    Velm::AlignModel model;
    cmn::OpContext ctx;
    ASSERT_TRUE(Ovik::NexusModelSource().retrieve(path.c_str(), model, &ctx, nullptr))
        << ctx.errors().front();
    EXPECT_EQ(names(model), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(model.sequences()[2]->residues(), "MKV-LA");
    EXPECT_EQ(model.sequences()[0]->residues(), "MKV-??");
    EXPECT_EQ(model.sequences()[1]->residues(), "M?V-LA");
    EXPECT_TRUE(model.sequences()[0]->isProtein());
}

} // namespace

namespace {

// A '.' read as a gap elsewhere (MSF, Clustal) means "same as the first row" to NEXUS readers and
// is refused by PHYLIP readers: both writers put '-' for every gap.
TEST(AlignFormatsSave, PhylipAndNexusWriteEveryGapAsDash) {
    for (Fmt format : {Fmt::Phylip, Fmt::Nexus}) {
        SCOPED_TRACE(extensionOf(format));
        mftest::TempDir dir;
        const std::string path = dir.file(std::string("gaps.") + extensionOf(format));
        Velm::AlignModel model;
        model.addSeq(seq("first", "AC..GT-A"));
        model.addSeq(seq("second", "A.CGGT.A"));
        ASSERT_TRUE(makeSource(format)->save(path.c_str(), model, nullptr));
        const std::string text = mftest::readFile(path);
        EXPECT_EQ(text.find('.'), std::string::npos) << text;
        Velm::AlignModel back;
        ASSERT_TRUE(makeSource(format)->retrieve(path.c_str(), back, nullptr, nullptr));
        ASSERT_EQ(back.sequences().size(), 2u);
        EXPECT_EQ(back.sequences()[0]->residues(), "AC--GT-A");
        EXPECT_EQ(back.sequences()[1]->residues(), "A-CGGT-A");
    }
}

} // namespace

namespace {

// Header lines real aligners write on the Clustal layout; and with the format named, whatever
// first line the writing program chose.
TEST(AlignFormatsRetrieve, ClustalTakesOtherAlignersHeaderLines) {
    const struct {
        const char* header;
        bool unnamed; // read without the format being named
    } kCases[] = {
        {"CLUSTAL W (1.83) multiple sequence alignment", true},
        {"CLUSTAL O(1.2.4) multiple sequence alignment", true},
        {"MUSCLE (3.8) multiple sequence alignment", true},
        {"PROBCONS version 1.12 multiple sequence alignment", true},
        {"MSAPROBS version 0.9.7 multiple sequence alignment", true},
        {"Kalign (2.0) alignment in ClustalW format", true},
        {"Biopython multiple sequence alignment", true},
        {"My own aligner 1.0", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.header);
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(
            dir.file("other.aln"), std::string(c.header) + "\n\n\nseqA      ACGT-ACGT\nseqB      ACGTTACG-\n"
                                                          "          ****  ** \n");
        for (bool named : {false, true}) {
            SCOPED_TRACE(named ? "named" : "unnamed");
            Velm::AlignModel model;
            cmn::OpContext ctx;
            const std::string location = named ? "CLUSTAL@@" + path : path;
            const bool read = Ovik::MMSAModelSource().retrieve(location.c_str(), model, &ctx, nullptr);
            // The format argument names it as the path's FORMAT@@ does.
            if (named) {
                Velm::AlignModel byArgument;
                cmn::OpContext argumentCtx;
                EXPECT_TRUE(Ovik::MMSAModelSource().retrieve(path.c_str(), byArgument, "CLUSTAL", &argumentCtx, nullptr))
                    << (argumentCtx.errors().empty() ? "" : argumentCtx.errors()[0]);
                EXPECT_EQ(byArgument.sequences().size(), 2u);
            }
            if (!named && !c.unnamed) {
                EXPECT_FALSE(read);
                ASSERT_FALSE(ctx.errors().empty());
                EXPECT_NE(ctx.errors()[0].find("no CLUSTAL header line"), std::string::npos) << ctx.errors()[0];
                continue;
            }
            ASSERT_TRUE(read) << (ctx.errors().empty() ? "" : ctx.errors()[0]);
            ASSERT_EQ(model.sequences().size(), 2u);
            EXPECT_EQ(model.sequences()[0]->residues(), "ACGT-ACGT");
            EXPECT_EQ(model.sequences()[1]->residues(), "ACGTTACG-");
        }
    }
}

} // namespace
