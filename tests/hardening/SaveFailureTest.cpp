// Saves that fail part way leave an existing target byte for byte as it was, and no temporary file
// beside it: the archive writer, the factory's FASTA alignment writer and every source's writer.
// A full disk is simulated with RLIMIT_FSIZE (writes past the limit fail with EFBIG).
#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <contracts/XmlSource.h>
#include <factory/ModelFactory.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

namespace {

const char* const kOldContent = "the old target: must survive every failed save\n";

std::set<std::string> listing(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

/// Writes past `limit` bytes fail with EFBIG (not a signal) while the object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

/// An alignment far larger than the file-size limit used below.
Velm::AlignModel bigAlignment(std::size_t rows, std::size_t length) {
    Velm::AlignModel model;
    for (std::size_t i = 0; i < rows; ++i) {
        std::string residues(length, "ACGT"[i % 4]);
        model.addSeq(boost::shared_ptr<Velm::Sequence>(
            new Velm::Sequence("row" + std::to_string(i), residues, Velm::Sequence::MoleculeType::DNA)));
    }
    model.sync();
    return model;
}

struct Writer {
    const char* name;
    const char* fileName;
    /// Saves the model; false (or an exception) when the save failed.
    std::function<bool(const std::string& path, Velm::Model& model, cmn::OpContext& ctx)> save;
};

template <class Source>
Writer sourceWriter(const char* name, const char* fileName) {
    return {name, fileName, [](const std::string& path, Velm::Model& model, cmn::OpContext& ctx) {
                Source source;
                return source.save(path.c_str(), model, &ctx);
            }};
}

Writer archiveWriter(const char* format, const char* fileName) {
    return {format, fileName, [format](const std::string& path, Velm::Model& model, cmn::OpContext&) {
                auto& bio = dynamic_cast<Velm::BioModel&>(model);
                Ovik::OSeqArchive archive(path, format, "");
                for (const auto& sequence : bio.sequences())
                    Ovik::saveSequence(*sequence, archive);
                archive.close(); // throws when the file could not be completed
                return true;
            }};
}

std::vector<Writer> allWriters() {
    std::vector<Writer> writers = {
        sourceWriter<Ovik::MSFModelSource>("MSF source", "out.msf"),
        sourceWriter<Ovik::NexusModelSource>("NEXUS source", "out.nex"),
        sourceWriter<Ovik::PHYModelSource>("PHYLIP source", "out.phy"),
        sourceWriter<Ovik::MMSAModelSource>("Clustal source", "out.aln"),
        sourceWriter<Velm::XMLModelSource>("XML source", "out.xml"),
        {"factory FASTA alignment writer", "out.fa",
         [](const std::string& path, Velm::Model& model, cmn::OpContext& ctx) {
             return Ovik::GetModelFactory().save(path.c_str(), model, "fasta", &ctx);
         }},
        {"factory save by extension (archive)", "out.gb",
         [](const std::string& path, Velm::Model& model, cmn::OpContext& ctx) {
             return Ovik::GetModelFactory().save(path.c_str(), model, &ctx);
         }}};
    for (const char* format : {"EMBL", "GenBank", "RSF", "MSF", "FASTA", "NBRF", "GCG", "Swiss", "TrEMBL", "GenPept"})
        writers.push_back(archiveWriter(format, "out.seq"));
    return writers;
}

bool attempt(const Writer& writer, const std::string& path, Velm::Model& model, cmn::OpContext& ctx,
             std::string& error) {
    try {
        return writer.save(path, model, ctx);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

TEST(SaveFailure, FullDiskLeavesTheTargetAndNoTemporaryFile) {
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string target = mftest::writeFile(dir.file(writer.fileName), kOldContent);
        const std::set<std::string> before = listing(dir.path());
        Velm::AlignModel model = bigAlignment(8, 40000); // some 320 KB of residues
        cmn::OpContext ctx;
        std::string error;
        bool saved;
        {
            FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.active());
            saved = attempt(writer, target, model, ctx, error);
        }
        EXPECT_FALSE(saved) << "a save cut short by a full disk was reported as success";
        EXPECT_TRUE(!error.empty() || ctx.hasErrors()) << "the failure was not reported";
        EXPECT_EQ(mftest::readFile(target), kOldContent);
        EXPECT_EQ(listing(dir.path()), before) << "a temporary file was left behind";
    }
}

TEST(SaveFailure, TheSameSaveSucceedsWithoutTheLimit) {
    // The writers above fail because of the limit, not because of the model.
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string target = mftest::writeFile(dir.file(writer.fileName), kOldContent);
        Velm::AlignModel model = bigAlignment(8, 40000);
        cmn::OpContext ctx;
        std::string error;
        EXPECT_TRUE(attempt(writer, target, model, ctx, error)) << error;
        EXPECT_GT(mftest::readFile(target).size(), 64u * 1024u);
        EXPECT_EQ(listing(dir.path()).size(), 3u) << "only the target besides . and ..";
    }
}

TEST(SaveFailure, EveryWriterKeepsLinksDevicesAndLongNames) {
    // A link to a file: the link stays and its file gets the content. A link to /dev/null: the
    // device is written through, never replaced by a file. A name of 255 bytes: still saved.
    struct stat devNull;
    ASSERT_EQ(stat("/dev/null", &devNull), 0);
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string real = mftest::writeFile(dir.file("real"), kOldContent);
        const std::string link = dir.file(writer.fileName);
        ASSERT_EQ(symlink("real", link.c_str()), 0);
        const std::string device = dir.file(std::string("null-") + writer.fileName);
        ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
        const std::string longName = dir.file(std::string(255 - std::strlen(writer.fileName), 'n') + writer.fileName);
        Velm::AlignModel model = bigAlignment(2, 100);
        for (const std::string& target : {link, device, longName}) {
            cmn::OpContext ctx;
            std::string error;
            EXPECT_TRUE(attempt(writer, target, model, ctx, error)) << target << ": " << error;
        }
        struct stat status;
        ASSERT_EQ(lstat(link.c_str(), &status), 0);
        EXPECT_TRUE(S_ISLNK(status.st_mode)) << "the link was replaced";
        EXPECT_NE(mftest::readFile(real), kOldContent);
        EXPECT_FALSE(mftest::readFile(longName).empty());
        ASSERT_EQ(stat("/dev/null", &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode) && status.st_rdev == devNull.st_rdev && status.st_ino == devNull.st_ino);
        EXPECT_EQ(listing(dir.path()).size(), 6u) << "only the two links, the file and the long name";
    }
}

TEST(SaveFailure, RejectedModelLeavesTheTarget) {
    // Rows of unequal length: no alignment writer can write them; an empty model: nothing to write.
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string target = mftest::writeFile(dir.file(writer.fileName), kOldContent);
        const std::set<std::string> before = listing(dir.path());
        Velm::AlignModel ragged;
        ragged.addSeq(boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("a", "ACGTACGT")));
        ragged.addSeq(boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("b", "ACG")));
        ragged.sync();
        Velm::AlignModel empty;
        for (Velm::AlignModel* model : {&ragged, &empty}) {
            cmn::OpContext ctx;
            std::string error;
            const bool saved = attempt(writer, target, *model, ctx, error);
            if (saved && model == &ragged) {
                mftest::writeFile(target, kOldContent); // sequence formats carry rows of any length
                continue;
            }
            if (!saved) {
                EXPECT_TRUE(!error.empty() || ctx.hasErrors()) << "a refusal without a report";
                EXPECT_EQ(mftest::readFile(target), kOldContent);
            }
            EXPECT_EQ(listing(dir.path()), before);
            mftest::writeFile(target, kOldContent);
        }
    }
}

TEST(SaveFailure, UncreatableTemporaryFileLeavesNothing) {
    // The target's folder is a plain file, so nothing can be created beside the target (an
    // unwritable folder would not stop the superuser the tests run as in CI).
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string notAFolder = mftest::writeFile(dir.file("plain"), kOldContent);
        const std::string target = notAFolder + "/" + writer.fileName;
        Velm::AlignModel model = bigAlignment(2, 10);
        cmn::OpContext ctx;
        std::string error;
        EXPECT_FALSE(attempt(writer, target, model, ctx, error));
        EXPECT_TRUE(!error.empty() || ctx.hasErrors());
        EXPECT_EQ(mftest::readFile(notAFolder), kOldContent);
        EXPECT_EQ(listing(dir.path()).size(), 3u);
    }
}

TEST(SaveFailure, ReadOnlyFolderLeavesTheTarget) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser from writing";
    for (const Writer& writer : allWriters()) {
        SCOPED_TRACE(writer.name);
        mftest::TempDir dir;
        const std::string folder = dir.file("locked");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        const std::string target = mftest::writeFile(folder + "/" + writer.fileName, kOldContent);
        ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
        Velm::AlignModel model = bigAlignment(2, 10);
        cmn::OpContext ctx;
        std::string error;
        EXPECT_FALSE(attempt(writer, target, model, ctx, error));
        EXPECT_EQ(mftest::readFile(target), kOldContent);
        EXPECT_EQ(listing(folder).size(), 3u);
        chmod(folder.c_str(), 0700);
    }
}

} // namespace
