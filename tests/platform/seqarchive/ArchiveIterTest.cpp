// The archive iterator: format-qualified paths, laziness, URL, reports through the context.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace satest;

namespace {

std::vector<boost::shared_ptr<Velm::Model>> drain(Velm::ModelIter& iter) {
    std::vector<boost::shared_ptr<Velm::Model>> out;
    while (boost::shared_ptr<Velm::Model> m = iter.next())
        out.push_back(m);
    return out;
}

const Velm::Sequence& only(const boost::shared_ptr<Velm::Model>& model) {
    auto* bio = dynamic_cast<Velm::SeqModel*>(model.get());
    EXPECT_NE(bio, nullptr);
    EXPECT_EQ(bio->sequences().size(), 1u);
    return *bio->sequences().front();
}

TEST(QualifiedPath, SplitsOnTheFirstDoubleAt) {
    std::string format;
    EXPECT_EQ(Ovik::SALArchiveModelIter::splitQualifiedPath("FASTA@@/d/x.fa", format), "/d/x.fa");
    EXPECT_EQ(format, "FASTA");
    EXPECT_EQ(Ovik::SALArchiveModelIter::splitQualifiedPath("SDN@@FASTA@@x.sta", format), "x.sta");
    EXPECT_EQ(format, "SDN");
    EXPECT_EQ(Ovik::SALArchiveModelIter::splitQualifiedPath("/d/a@b@@c", format), "/d/a@b@@c");
    EXPECT_EQ(format, "");
    EXPECT_EQ(Ovik::SALArchiveModelIter::splitQualifiedPath("plain.fa", format), "plain.fa");
    EXPECT_EQ(format, "");
    // An inner part that is no format name belongs to the file path.
    EXPECT_EQ(Ovik::SALArchiveModelIter::splitQualifiedPath("GB@@dir@@x.gb", format), "dir@@x.gb");
    EXPECT_EQ(format, "GB");
}

TEST(ArchiveIter, YieldsOneModelPerEntryWithItsUrl) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("a.fa"), ">a one\nAC\n>b\nGT\n>c\nTT\n");
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, &ctx, "");
    auto models = drain(iter);
    ASSERT_EQ(models.size(), 3u);
    EXPECT_EQ(only(models[0]).name(), "a");
    EXPECT_EQ(only(models[0]).description(), "one");
    EXPECT_EQ(only(models[2]).residues(), "TT");
    for (const auto& m : models) {
        EXPECT_EQ(m->url(), path);
        EXPECT_EQ(m->encoding(), "SAL");
        EXPECT_EQ(m->getType(), Velm::SeqModel::className);
    }
    EXPECT_FALSE(iter.next());
    EXPECT_TRUE(ctx.reports().empty());
}

// Models and entries the caller let go of serve later entries; whatever the caller still holds,
// or changed, stays as it was, and a reused model carries nothing of the entry before.
TEST(ArchiveIter, ReusesOnlyWhatTheCallerLetGo) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(
        dir.file("r.fa"), ">a x\nACGT\n>b\nGGGGGGGG\n>c y\nTT\n>d dd\nCCC\n>e\nAAAAA\n>f\nG\n");
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, &ctx, "");
    const boost::shared_ptr<Velm::Model> kept = iter.next();
    const boost::shared_ptr<Velm::Sequence> keptEntry =
        dynamic_cast<Velm::SeqModel&>(*iter.next()).sequences().front();
    boost::shared_ptr<Velm::Model> changed = iter.next();
    changed->setTitle("mine");
    changed.reset();
    std::vector<std::string> later;
    while (boost::shared_ptr<Velm::Model> model = iter.next()) {
        EXPECT_EQ(model->title(), "");
        EXPECT_EQ(model->url(), path);
        EXPECT_EQ(model->encoding(), "SAL");
        const Velm::Sequence& entry = only(model);
        later.push_back(entry.name() + "|" + entry.description() + "|" + entry.residues());
    }
    EXPECT_EQ(later, (std::vector<std::string>{"d|dd|CCC", "e||AAAAA", "f||G"}));
    EXPECT_EQ(only(kept).name(), "a");
    EXPECT_EQ(only(kept).residues(), "ACGT");
    EXPECT_EQ(keptEntry->name(), "b");
    EXPECT_EQ(keptEntry->residues(), "GGGGGGGG");
    EXPECT_TRUE(ctx.reports().empty());
}

// Entries are judged as the guess judges their sampled residues, and made of the class that type
// needs, whether they are kept (read from the archive) or let go (iterated), and whatever the
// entry before them was.
TEST(ArchiveIter, MoleculeTypesAgreeWithTheGuessWhetherEntriesAreKeptOrNot) {
    mftest::TempDir dir;
    const std::string text = ">dna\nACGT\nacgtn\n\n>rna\nACGU\n>dnaU\nACGT\nACGU\n>prot\nMKVL\nEEEE\n"
                             ">dna2\nNNNN\n>sample\n" + std::string(2048, 'A') + "\nEEEEEEEEEEEE\n"
                             ">mixed\nACGT\nRYKM\n>empty\n>prot2\nEEEE\n>dna3\nAC\n";
    const std::string path = mftest::writeFile(dir.file("types.fa"), text);
    using Type = Velm::Sequence::MoleculeType;
    std::vector<std::pair<std::string, Type>> read, iterated;
    Ovik::ISeqArchive archive(path, "", "");
    while (!archive.atEnd()) {
        const boost::shared_ptr<Velm::Sequence> entry = Ovik::createSequence(archive);
        const Type type = entry->moleculeType();
        EXPECT_EQ(type, Velm::Sequence::guessMoleculeType(entry->residues().substr(0, 2048)))
            << entry->name();
        EXPECT_EQ(dynamic_cast<Velm::NASequence*>(entry.get()) != nullptr, type == Type::DNA)
            << entry->name();
        read.emplace_back(entry->name(), type);
    }
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, &ctx, "");
    while (boost::shared_ptr<Velm::Model> model = iter.next())
        iterated.emplace_back(only(model).name(), only(model).moleculeType());
    EXPECT_EQ(read.size(), 10u);
    EXPECT_EQ(iterated, read);
}

TEST(ArchiveIter, FirstFormatNameOfAQualifiedPathWins) {
    mftest::TempDir dir;
    // Staden content: read as Staden it is one sequence; read as FASTA it would fail.
    std::string path = mftest::writeFile(dir.file("reads.sta"), "<read1---->\nACGTACGT\n");
    std::string qualified = "SDN@@FASTA@@" + path;
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(qualified.c_str(), "q", &ctx, "GenBank");
    auto models = drain(iter);
    ASSERT_EQ(models.size(), 1u) << (ctx.errors().empty() ? "" : ctx.errors()[0]);
    EXPECT_EQ(only(models[0]).name(), "read1");
    EXPECT_EQ(models[0]->url(), qualified);
}

TEST(ArchiveIter, FormatArgumentIsUsedWhenThePathNamesNone) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("x.txt"), "ACGTACGT\n");
    {
        Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, nullptr, "SDN");
        EXPECT_EQ(drain(iter).size(), 1u);
    }
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, &ctx, "FASTA");
    EXPECT_TRUE(drain(iter).empty());
    ASSERT_EQ(ctx.errors().size(), 1u);
    EXPECT_EQ(ctx.errors()[0], path + ":1: expected a FASTA header line starting with '>'");
}

TEST(ArchiveIter, ProblemsAreReportedAndEndTheIteration) {
    mftest::TempDir dir;
    std::string missing = dir.file("missing.fa");
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(missing.c_str(), nullptr, &ctx, "");
    EXPECT_FALSE(iter.next());
    EXPECT_FALSE(iter.next());
    ASSERT_EQ(ctx.errors().size(), 1u);
    EXPECT_EQ(ctx.errors()[0], "Cannot open sequence file " + missing + ": No such file or directory");

    // A good entry, then a truncated one: one model, then the report.
    std::string path = mftest::writeFile(dir.file("t.gb"), "LOCUS       A 2 bp DNA\nORIGIN\n 1 ac\n//\nLOCUS       B 2 bp DNA\n");
    cmn::OpContext ctx2;
    Ovik::SALArchiveModelIter iter2(path.c_str(), nullptr, &ctx2, "");
    EXPECT_EQ(drain(iter2).size(), 1u);
    ASSERT_EQ(ctx2.errors().size(), 1u);
    EXPECT_EQ(ctx2.errors()[0], path + ":5: unexpected end of file in the entry that starts at line 5");
    // Without a context the iteration ends the same way.
    Ovik::SALArchiveModelIter iter3(path.c_str(), nullptr, nullptr, "");
    EXPECT_EQ(drain(iter3).size(), 1u);
}

// A FIFO is not a file: the iterator refuses it without waiting for a writer (the archive layer
// opens regular files only; standard input is read by whoever opens it as a stream).
TEST(ArchiveIter, AFifoIsRefusedWithoutWaitingForAWriter) {
    mftest::TempDir dir;
    std::string fifo = dir.file("stream");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {"FASTA@@" + fifo, fifo}) {
        cmn::OpContext ctx;
        std::future<std::size_t> models = std::async(std::launch::async, [&] {
            Ovik::SALArchiveModelIter iter(path.c_str(), nullptr, &ctx, "");
            return drain(iter).size();
        });
        if (models.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Release the waiting reader, so that the failure is reported rather than hung on.
            int fd = open(fifo.c_str(), O_WRONLY);
            close(fd);
            FAIL() << "the iterator waited for a writer on " << path;
        }
        EXPECT_EQ(models.get(), 0u);
        EXPECT_EQ(ctx.errors(),
                  std::vector<std::string>{"Cannot open sequence file " + fifo + ": not a regular file"});
    }
}


// Entries as views: the same entries as next() gives, in one order with it, the same reports.
TEST(ArchiveIter, ViewsGiveTheEntriesNextGivesAndTakeTurnsWithIt) {
    mftest::TempDir dir;
    const std::string reads = mftest::writeFile(dir.file("r.fq"), "@r1 one\nACGT\n+\nII5!\n@r2\nAC\nGT\n+\nIIII\n"
                                                                  "@r3\nGG\n+\n##\n@r4\nTT\n+\n#\n");
    cmn::OpContext ctx;
    Ovik::SALArchiveModelIter iter(reads.c_str(), nullptr, &ctx, "");
    Ovik::RecordView view;
    boost::shared_ptr<Velm::Sequence> entry;
    boost::shared_ptr<const std::string> source;
    ASSERT_TRUE(iter.nextView(view, entry, source));
    EXPECT_EQ(view.name, "r1");
    EXPECT_EQ(view.description, "one");
    EXPECT_EQ(view.residues, "ACGT");
    EXPECT_EQ(view.qualities, std::string("\x28\x28\x14\x00", 4));
    ASSERT_TRUE(source);
    EXPECT_EQ(*source, reads);
    const std::string* shared = source.get();
    // A wrapped read is built whole: the entry comes with its views, shared.
    ASSERT_TRUE(iter.nextView(view, entry, source));
    ASSERT_TRUE(entry);
    EXPECT_EQ(view.sequence, entry.get());
    EXPECT_EQ(entry->name(), "r2");
    EXPECT_EQ(entry->residues(), "ACGT");
    EXPECT_EQ(source.get(), shared);
    boost::shared_ptr<Velm::Model> model = iter.next();
    ASSERT_TRUE(model);
    EXPECT_EQ(only(model).name(), "r3");
    // The kept entry is not reused for later ones.
    EXPECT_EQ(entry->name(), "r2");
    EXPECT_FALSE(iter.nextView(view, entry, source));
    EXPECT_FALSE(entry);
    EXPECT_FALSE(iter.nextView(view, entry, source));
    ASSERT_EQ(ctx.errors().size(), 1u);
    EXPECT_EQ(ctx.errors()[0], reads + ":17: record cut short: the file ends in the record that starts at line 14 (1 of 2 qualities)");

    std::string missing = dir.file("missing.fa");
    cmn::OpContext ctx2;
    Ovik::SALArchiveModelIter none(missing.c_str(), nullptr, &ctx2, "");
    EXPECT_FALSE(none.nextView(view, entry, source));
    EXPECT_EQ(ctx2.errors(), std::vector<std::string>{"Cannot open sequence file " + missing + ": No such file or directory"});
}

} // namespace
