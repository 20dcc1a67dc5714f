#include <contracts/Blast.h>
#include <contracts/XmlSource.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <dirent.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Values with everything XML treats specially: markup characters, quotes, line ends, blanks at
// the ends and non-ASCII text (control characters XML cannot carry are a test of their own).
const std::string kTricky = " <a & \"b\" 'c'>\r\n\tline two \xC3\xA9 ";

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

void fillProperties(Velm::Model& model) {
    model.setTitle("Title " + kTricky);
    model.setAuthor("An Author");
    model.setProject("proj");
    model.setProjectID("P-42");
    model.setOwner("owner");
    model.setGroup("lab");
    model.setProperty("window", "12");
    model.setProperty("note", kTricky);
    model.setProperty("blank", "   ");
    model.setURL("/somewhere/else.xml");
    model.setEncoding("other");
}

void fillSequences(Velm::BioModel& model) {
    auto protein = boost::make_shared<Velm::Sequence>("P1 name", "MKV-LA*", Velm::Sequence::MoleculeType::Protein);
    protein->setAccession("P00001");
    protein->setDescription(kTricky);
    protein->setSource("in.gb");
    protein->setAnnotation("KEYWORDS", "kinase; membrane");
    protein->setAnnotation("ORGANISM", "Homo sapiens\nEukaryota");
    Velm::Feature cds;
    cds.key = "CDS";
    cds.location = "join(12..78,134..202)";
    cds.qualifiers = {{"gene", "abc"}, {"note", kTricky}, {"pseudo", ""}};
    protein->addFeature(cds);
    protein->addFeature(Velm::Feature{"source", "1..7", {}});
    model.addSeq(protein);
    auto na = boost::make_shared<Velm::NASequence>("read1", "ACGTN");
    na->setConfidences({10, 20, 0, 255, 7});
    model.addSeq(na);
    model.addSeq(boost::make_shared<Velm::Sequence>("", "", Velm::Sequence::MoleculeType::RNA));
}

std::vector<Velm::BlastHit> sampleHits() {
    Velm::BlastHit first;
    first.query = "query1";
    first.subject = "gi|123|ref|NP_1|";
    first.description = kTricky;
    first.score = 123.5;
    first.evalue = 3.0000000000000001e-45;
    first.identities = 98;
    first.alignLength = 102;
    Velm::HitSegment segment;
    segment.queryStart = 1;
    segment.queryEnd = 10;
    segment.subjectStart = 1001;
    segment.subjectEnd = 992;
    segment.queryText = "ACGTACGTAC";
    segment.subjectText = "ACGTTCGTAC";
    segment.midline = "|||| ||||| ";
    first.segments = {segment, segment};
    Velm::BlastHit second;
    second.query = "query1";
    second.subject = "other";
    second.score = 0.1;
    second.evalue = 10;
    return {first, second};
}

void expectSameProperties(const Velm::Model& a, const Velm::Model& b) {
    EXPECT_EQ(a.title(), b.title());
    EXPECT_EQ(a.author(), b.author());
    EXPECT_EQ(a.project(), b.project());
    EXPECT_EQ(a.projectID(), b.projectID());
    EXPECT_EQ(a.owner(), b.owner());
    EXPECT_EQ(a.group(), b.group());
    EXPECT_EQ(a.properties(), b.properties());
}

void expectSameSequences(const Velm::BioModel& a, const Velm::BioModel& b) {
    ASSERT_EQ(a.sequences().size(), b.sequences().size());
    for (std::size_t i = 0; i < a.sequences().size(); ++i) {
        const Velm::Sequence& x = *a.sequences()[i];
        const Velm::Sequence& y = *b.sequences()[i];
        EXPECT_EQ(x.name(), y.name());
        EXPECT_EQ(x.accession(), y.accession());
        EXPECT_EQ(x.description(), y.description());
        EXPECT_EQ(x.residues(), y.residues());
        EXPECT_EQ(x.source(), y.source());
        EXPECT_EQ(x.moleculeType(), y.moleculeType());
        EXPECT_EQ(x.isProtein(), y.isProtein());
        EXPECT_EQ(x.annotations(), y.annotations());
        EXPECT_EQ(x.features(), y.features());
        const auto* nx = dynamic_cast<const Velm::NASequence*>(&x);
        const auto* ny = dynamic_cast<const Velm::NASequence*>(&y);
        EXPECT_EQ(nx != nullptr, ny != nullptr);
        if (nx && ny) {
            EXPECT_EQ(nx->confidences(), ny->confidences());
        }
    }
}

struct ClassCase {
    const char* const* className;
    std::function<std::unique_ptr<Velm::Model>()> make;
};

template <class T>
std::function<std::unique_ptr<Velm::Model>()> maker() {
    return [] { return std::unique_ptr<Velm::Model>(new T); };
}

const std::vector<ClassCase>& allClasses() {
    static const std::vector<ClassCase> classes = {
        {&Velm::AlignModel::className, maker<Velm::AlignModel>()},
        {&Velm::AssemblyModel::className, maker<Velm::AssemblyModel>()},
        {&Velm::SeqModel::className, maker<Velm::SeqModel>()},
        {&Velm::TraceModel::className, maker<Velm::TraceModel>()},
        {&Velm::DotPlotModel::className, maker<Velm::DotPlotModel>()},
        {&Velm::PrimerModel::className, maker<Velm::PrimerModel>()},
        {&Velm::BlastModel::className, maker<Velm::BlastModel>()},
        {&Velm::XBlastModel::className, maker<Velm::XBlastModel>()},
        {&Velm::NCBIBlastModel::className, maker<Velm::NCBIBlastModel>()},
        {&Velm::WPBlastModel::className, maker<Velm::WPBlastModel>()},
        {&Velm::WPFastAModel::className, maker<Velm::WPFastAModel>()},
        {&Velm::CFProjModel::className, maker<Velm::CFProjModel>()},
        {&Velm::DBQueryModel::className, maker<Velm::DBQueryModel>()},
        {&Velm::WPLookupModel::className, maker<Velm::WPLookupModel>()},
        {&Velm::NCBIEntrezModel::className, maker<Velm::NCBIEntrezModel>()},
    };
    return classes;
}

void fill(Velm::Model& model) {
    fillProperties(model);
    if (auto* bio = dynamic_cast<Velm::BioModel*>(&model))
        fillSequences(*bio);
    if (auto* blast = dynamic_cast<Velm::BlastModel*>(&model)) {
        blast->setProgram("blastn 2.2");
        blast->setDatabase("nr");
        for (const auto& h : sampleHits())
            blast->addHit(h);
    }
    if (auto* xblast = dynamic_cast<Velm::XBlastModel*>(&model))
        for (const auto& h : sampleHits())
            xblast->addHit(h);
    if (auto* project = dynamic_cast<Velm::CFProjModel*>(&model)) {
        project->addFile("/data/a.fasta");
        project->addFile("rel/b & c.gb");
    }
    if (auto* query = dynamic_cast<Velm::DBQueryModel*>(&model)) {
        query->setQuery("kinase[Title] AND \"human\"[Organism]");
        query->setDatabase("protein");
        query->addResult("NP_000001");
        query->addResult("NP_000002");
    }
}

void expectSame(const Velm::Model& a, const Velm::Model& b) {
    EXPECT_STREQ(a.getType(), b.getType());
    expectSameProperties(a, b);
    if (auto* x = dynamic_cast<const Velm::BioModel*>(&a))
        expectSameSequences(*x, dynamic_cast<const Velm::BioModel&>(b));
    if (auto* x = dynamic_cast<const Velm::BlastModel*>(&a)) {
        const auto& y = dynamic_cast<const Velm::BlastModel&>(b);
        EXPECT_EQ(x->program(), y.program());
        EXPECT_EQ(x->database(), y.database());
        EXPECT_EQ(x->hits(), y.hits());
    }
    if (auto* x = dynamic_cast<const Velm::XBlastModel*>(&a)) {
        EXPECT_EQ(x->hits(), dynamic_cast<const Velm::XBlastModel&>(b).hits());
    }
    if (auto* x = dynamic_cast<const Velm::CFProjModel*>(&a)) {
        EXPECT_EQ(x->files(), dynamic_cast<const Velm::CFProjModel&>(b).files());
    }
    if (auto* x = dynamic_cast<const Velm::DBQueryModel*>(&a)) {
        const auto& y = dynamic_cast<const Velm::DBQueryModel&>(b);
        EXPECT_EQ(x->query(), y.query());
        EXPECT_EQ(x->database(), y.database());
        EXPECT_EQ(x->results(), y.results());
    }
}

TEST(XmlSource, NameAndFormat) {
    Velm::XMLModelSource source;
    EXPECT_STREQ(source.getName(), "XMLModelSource");
    ASSERT_EQ(source.getSupportedFormats().size(), 1u);
    EXPECT_EQ(source.getSupportedFormats()[0].first, "XML");
    EXPECT_TRUE(source.supports("xml"));
    EXPECT_FALSE(source.supports("XMLX"));
    EXPECT_FALSE(source.openIterator("x.xml", nullptr));
}

TEST(XmlSource, EveryModelClassRoundTrips) {
    Velm::XMLModelSource source;
    for (const ClassCase& c : allClasses()) {
        SCOPED_TRACE(*c.className);
        mftest::TempDir dir;
        const std::string path = dir.file("model.xml");
        std::unique_ptr<Velm::Model> original = c.make();
        fill(*original);
        cmn::OpContext ctx;
        ASSERT_TRUE(source.save(path.c_str(), *original, &ctx));
        EXPECT_TRUE(ctx.reports().empty());
        EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"model.xml"});
        EXPECT_TRUE(source.handles(path.c_str()));
        // The class's own constant, not a copy of its text.
        EXPECT_EQ(source.getType(path.c_str()), *c.className);

        std::unique_ptr<Velm::Model> back = c.make();
        ASSERT_TRUE(source.retrieve(path.c_str(), *back, &ctx, nullptr))
            << (ctx.errors().empty() ? "" : ctx.errors()[0]);
        expectSame(*original, *back);
        // Where the model lives is not part of the document.
        EXPECT_EQ(back->url(), "");
        EXPECT_EQ(back->encoding(), "XML");
        EXPECT_FALSE(back->empty());
    }
}

TEST(XmlSource, EmptyModelsRoundTripEmpty) {
    Velm::XMLModelSource source;
    for (const ClassCase& c : allClasses()) {
        mftest::TempDir dir;
        const std::string path = dir.file("empty.xml");
        std::unique_ptr<Velm::Model> original = c.make();
        ASSERT_TRUE(source.save(path.c_str(), *original, nullptr));
        EXPECT_EQ(source.getType(path.c_str()), *c.className);
        std::unique_ptr<Velm::Model> back = c.make();
        EXPECT_TRUE(source.retrieve(path.c_str(), *back, nullptr, nullptr));
        EXPECT_TRUE(back->empty()) << *c.className;
    }
}

TEST(XmlSource, DocumentsFillModelsThatCanHoldThem) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    auto saved = [&](Velm::Model& model, const std::string& name) {
        fill(model);
        const std::string path = dir.file(name);
        EXPECT_TRUE(source.save(path.c_str(), model, nullptr));
        return path;
    };
    Velm::SeqModel seqs;
    Velm::NCBIBlastModel ncbi;
    Velm::BlastModel blast;
    Velm::CFProjModel project;
    Velm::WPLookupModel lookup;
    const std::string seqPath = saved(seqs, "seq.xml"), ncbiPath = saved(ncbi, "ncbi.xml"),
                      blastPath = saved(blast, "blast.xml"), projPath = saved(project, "proj.xml"),
                      lookupPath = saved(lookup, "lookup.xml");

    // Accepted: sequences into any sequence model, a search result into the BLAST model, a
    // query into another query class.
    Velm::AlignModel align;
    EXPECT_TRUE(source.retrieve(seqPath.c_str(), align, nullptr, nullptr));
    EXPECT_EQ(align.alignment.rowCount(), 3u);
    Velm::BlastModel intoBlast;
    EXPECT_TRUE(source.retrieve(ncbiPath.c_str(), intoBlast, nullptr, nullptr));
    EXPECT_EQ(intoBlast.hits(), sampleHits());
    Velm::NCBIEntrezModel entrez;
    EXPECT_TRUE(source.retrieve(lookupPath.c_str(), entrez, nullptr, nullptr));
    EXPECT_EQ(entrez.results().size(), 2u);

    struct Refused {
        std::string path;
        std::function<std::unique_ptr<Velm::Model>()> make;
        std::string detail;
    };
    const std::vector<Refused> refused = {
        {ncbiPath, maker<Velm::SeqModel>(),
         "a search result (NCBIBlastModel) document cannot be read into a SeqModel"},
        {blastPath, maker<Velm::WPBlastModel>(),
         "a BLAST result (BlastModel) document cannot be read into a WPBlastModel"},
        {projPath, maker<Velm::DBQueryModel>(),
         "a project (CFProjModel) document cannot be read into a DBQueryModel"},
        {lookupPath, maker<Velm::CFProjModel>(),
         "a database query (WPLookupModel) document cannot be read into a CFProjModel"},
        {seqPath, maker<Velm::CFProjModel>(),
         "a sequence (SeqModel) document cannot be read into a CFProjModel"},
    };
    for (const Refused& r : refused) {
        std::unique_ptr<Velm::Model> model = r.make();
        cmn::OpContext ctx;
        EXPECT_FALSE(source.retrieve(r.path.c_str(), *model, &ctx, nullptr));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{r.path + ": " + r.detail});
        EXPECT_TRUE(model->empty());
        EXPECT_EQ(model->title(), "");
    }
}

TEST(XmlSource, ClaimsOnlyItsOwnDocuments) {
    MF_REQUIRE_TESTDATA();
    Velm::XMLModelSource source;
    for (const char* folder : {"alignments", "sequences", "traces", "bad"})
        for (const std::string& name : listDir(mftest::testdataFile(folder))) {
            const std::string path = mftest::testdataFile(std::string(folder) + "/" + name);
            EXPECT_FALSE(source.handles(path.c_str())) << path;
            EXPECT_STREQ(source.getType(path.c_str()), "") << path;
        }
}

TEST(XmlSource, SniffsTheRootElementPastTheProlog) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    struct Case {
        std::string text;
        bool ours;
        const char* type;
    };
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- saved -->\n<!DOCTYPE modelfactory-document>\n"
         "<modelfactory-document version=\"1\" class=\"SeqModel\"/>",
         true, Velm::SeqModel::className},
        {"<modelfactory-document\n  version='1' class='CFProjModel'></modelfactory-document>", true,
         Velm::CFProjModel::className},
        {"<modelfactory-document subclass=\"SeqModel\" class=\"NoSuchModel\"/>", true, ""},
        {"<?xml version=\"1.0\"?><html><modelfactory-document class=\"SeqModel\"/></html>", false, ""},
        {"<modelfactory-documents class=\"SeqModel\"/>", false, ""},
        {">seq\nACGT\n", false, ""},
    };
    for (const Case& c : cases) {
        const std::string path = mftest::writeFile(dir.file("doc.dat"), c.text);
        EXPECT_EQ(source.handles(path.c_str()), c.ours) << c.text;
        EXPECT_STREQ(source.getType(path.c_str()), c.type) << c.text;
    }
    // Files yet to be written are ours by their extension; a format-qualified path by its format.
    EXPECT_TRUE(source.handles(dir.file("new.xml").c_str()));
    EXPECT_FALSE(source.handles(dir.file("new.txt").c_str()));
    EXPECT_STREQ(source.getType(dir.file("new.xml").c_str()), "");
    EXPECT_TRUE(source.handles(("xml@@" + dir.file("new.txt")).c_str()));
    EXPECT_FALSE(source.handles(("NEXUS@@" + dir.file("new.xml")).c_str()));
    EXPECT_FALSE(source.handles(dir.path().c_str()));
}

TEST(XmlSource, MalformedDocumentsGiveFalseWithFileAndLine) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    struct Case {
        std::string text;
        std::size_t line;
        std::string detail;
    };
    const std::string head = "<?xml version=\"1.0\"?>\n";
    const std::vector<Case> cases = {
        {head + "<modelfactory-document class=\"SeqModel\">\n<title>x</titel>\n</modelfactory-document>\n",
         3, "not a well-formed XML document: Start-end tags mismatch"},
        {head + "<other class=\"SeqModel\"/>\n", 2, "the root element is not <modelfactory-document>"},
        {head + "<modelfactory-document version=\"2\" class=\"SeqModel\"/>\n", 2,
         "unsupported document version 2"},
        {head + "<modelfactory-document class=\"Nope\"/>\n", 2, "unknown model class: Nope"},
        {head + "<modelfactory-document class=\"BlastModel\">\n"
                "  <hit query=\"q\" subject=\"s\" score=\"1\" evalue=\"1e-5x\" identities=\"1\" alignLength=\"2\"/>\n"
                "</modelfactory-document>\n",
         3, "not a number: evalue=\"1e-5x\""},
        {head + "<modelfactory-document class=\"BlastModel\">\n"
                "  <hit query=\"q\" subject=\"s\" score=\"1\" evalue=\"1\" identities=\"-1\" alignLength=\"2\"/>\n"
                "</modelfactory-document>\n",
         3, "not a number: identities=\"-1\""},
        {head + "<modelfactory-document class=\"SeqModel\">\n\n  <property>v</property>\n</modelfactory-document>\n",
         4, "missing attribute name in <property>"},
        {head + "<modelfactory-document class=\"SeqModel\">\n  <sequence type=\"dna\"/>\n</modelfactory-document>\n",
         3, "unknown molecule type: dna"},
        {head + "<modelfactory-document class=\"SeqModel\">\n  <sequence><confidences>1 2 300</confidences></sequence>\n</modelfactory-document>\n",
         3, "not a number: 300"},
        {"   \n", 0, "the file is empty"},
    };
    for (const Case& c : cases) {
        const std::string path = mftest::writeFile(dir.file("bad.xml"), c.text);
        Velm::BlastModel model;
        cmn::OpContext ctx;
        EXPECT_FALSE(source.retrieve(path.c_str(), model, &ctx, nullptr)) << c.text;
        EXPECT_TRUE(model.empty());
        const std::string where = c.line ? path + ", line " + std::to_string(c.line) : path;
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{where + ": " + c.detail});
    }
    // A document that holds what the model cannot (a hand-made one) is refused too.
    const std::string odd = mftest::writeFile(
        dir.file("odd.xml"), head + "<modelfactory-document class=\"SeqModel\"><file>x</file></modelfactory-document>");
    Velm::SeqModel model;
    cmn::OpContext ctx;
    EXPECT_FALSE(source.retrieve(odd.c_str(), model, &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{odd + ": the model cannot hold the document's files"});
    ctx.clear();
    const std::string missing = dir.file("missing.xml");
    EXPECT_FALSE(source.retrieve(missing.c_str(), model, &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{missing + ": cannot open the file"});
}

TEST(XmlSource, FormatNamesAndQualifiedPaths) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    const std::string file = dir.file("doc.bin");
    Velm::CFProjModel project;
    project.addFile("a");
    cmn::OpContext ctx;
    EXPECT_FALSE(source.save(file.c_str(), project, "NEXUS", &ctx));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{file + ": format not supported by this source: NEXUS"});
    EXPECT_FALSE(mftest::fileExists(file));
    ASSERT_TRUE(source.save(("XML@@" + file).c_str(), project, "xml", nullptr));
    EXPECT_EQ(source.getType(("Xml@@" + file).c_str()), Velm::CFProjModel::className);
    EXPECT_STREQ(source.getType(("MSF@@" + file).c_str()), "");
    Velm::CFProjModel back;
    EXPECT_TRUE(source.retrieve(("xml@@" + file).c_str(), back, "XML", nullptr, nullptr));
    EXPECT_EQ(back.files(), project.files());
    ctx.clear();
    EXPECT_FALSE(source.retrieve(file.c_str(), back, "PHYLIP", &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{file + ": format not supported by this source: PHYLIP"});
    ctx.clear();
    EXPECT_FALSE(source.retrieve(("PHYLIP@@" + file).c_str(), back, &ctx, nullptr));
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{file + ": the path names another format: PHYLIP"});
}

TEST(XmlSource, WritesOnlyWhatXml10Allows) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    const std::string path = dir.file("ctl.xml");
    Velm::SeqModel model;
    auto s = boost::make_shared<Velm::Sequence>(std::string("a\x01" "b\x1b[0m"), std::string("ACGT"));
    const char description[] = "nul\0here \xEF\xBF\xBF tab\tline\ncr\r Latin-1 \xE9 UTF-8 \xC3\xA9";
    s->setDescription(std::string(description, sizeof description - 1));
    s->addFeature({"CDS", "1..4", {{"note", "x\x07y"}}});
    model.addSeq(s);
    cmn::OpContext ctx;
    ASSERT_TRUE(source.save(path.c_str(), model, &ctx));
    EXPECT_EQ(ctx.warnings(),
              std::vector<std::string>{path + ": 5 characters that XML 1.0 cannot carry were written as spaces"});
    const std::string text = mftest::readFile(path);
    for (const char* forbidden : {"&#1;", "&#01;", "&#27;", "&#0;", "&#7;", "&#07;", "\x01", "\x1b"})
        EXPECT_EQ(text.find(forbidden), std::string::npos) << forbidden;
    Velm::SeqModel back;
    ASSERT_TRUE(source.retrieve(path.c_str(), back, nullptr, nullptr));
    ASSERT_EQ(back.sequences().size(), 1u);
    EXPECT_EQ(back.sequences()[0]->name(), "a b [0m");
    EXPECT_EQ(back.sequences()[0]->description(),
              "nul here   tab\tline\ncr\r Latin-1 \xC3\xA9 UTF-8 \xC3\xA9");
    EXPECT_EQ(back.sequences()[0]->features()[0].qualifiers[0].second, "x y");
}

TEST(XmlSource, FailedSaveLeavesTheOldFile) {
    Velm::XMLModelSource source;
    mftest::TempDir dir;
    const std::string target = dir.file("no/such/folder/doc.xml");
    Velm::SeqModel model;
    cmn::OpContext ctx;
    EXPECT_FALSE(source.save(target.c_str(), model, &ctx));
    EXPECT_EQ(ctx.errors(),
              std::vector<std::string>{target + ": cannot write the file: No such file or directory"});
    // Saving over an existing document replaces it whole.
    const std::string path = mftest::writeFile(dir.file("doc.xml"), "old");
    fill(model);
    ASSERT_TRUE(source.save(path.c_str(), model, nullptr));
    EXPECT_EQ(mftest::readFile(path).substr(0, 5), "<?xml");
    EXPECT_EQ(listDir(dir.path()).size(), 1u);
}

} // namespace
