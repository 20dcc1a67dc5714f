// A soak of the one factory: several threads open, detect, iterate and save different files for
// a bounded time while another thread adds and removes sources, as a host may. The documented
// rules are kept: only lookups and registry changes are locked, so the threads use path-directed
// operations only while the registry changes, and the sources added sort after the built-in ones
// (they claim no file, so every answer stays the same). Every result is checked.
#include <factory/ModelFactory.h>

#include <TestSupport.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class Bystander : public Velm::ModelSource {
public:
    explicit Bystander(std::string name) : name_(std::move(name)) {}
    bool handles(const char*) const override { return false; }
    const char* getName() const override { return name_.c_str(); }
    const char* getType(const char*) const override { return ""; }
    Velm::FormatList getSupportedFormats() override { return {{"zz-none", "claims nothing"}}; }

private:
    std::string name_;
};

struct Sample {
    std::string name;
    std::string content;
    std::string type;            ///< what getType answers
    std::vector<std::string> rows; ///< the names open gives, in order
};

std::vector<Sample> samples() {
    return {
        {"seqs.fa", ">one first\nACGTACGT\n>two\nGGCCAATT\n>three\nTTTT\n", "SeqModel", {"one", "two", "three"}},
        {"entry.gb",
         "LOCUS       AB000001                  8 bp    DNA     linear   PLN 01-JAN-2000\n"
         "DEFINITION  test.\nACCESSION   AB000001\nORIGIN\n        1 acgtacgt\n//\n",
         "SeqModel", {"AB000001"}},
        {"align.nex",
         "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=8;\nformat datatype=dna gap=-;\nmatrix\n"
         "alpha ACGT--GT\nbeta  ACGTACGT\n;\nend;\n",
         "AlignModel", {"alpha", "beta"}},
        {"align.aln",
         "CLUSTAL W (1.83) multiple sequence alignment\n\nfirst    ACGT-ACG\nsecond   ACGTTACG\n",
         "AlignModel", {"first", "second"}},
        {"align.phy", " 2 8\nleft      ACGTACGT\nright     ACGT--GT\n", "AlignModel", {"left", "right"}},
    };
}

std::vector<std::string> rowNames(const Velm::Model& model) {
    std::vector<std::string> names;
    if (auto* bio = dynamic_cast<const Velm::BioModel*>(&model))
        for (const auto& sequence : bio->sequences())
            names.push_back(sequence->name());
    return names;
}

TEST(FactorySoak, ConcurrentUseWhileSourcesComeAndGo) {
    mftest::TempDir dir;
    const std::vector<Sample> files = samples();
    for (const Sample& s : files)
        mftest::writeFile(dir.file(s.name), s.content);
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);

    std::atomic<bool> stop{false};
    std::atomic<long> operations{0};
    std::mutex failuresLock;
    std::vector<std::string> failures;
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> guard(failuresLock);
        if (failures.size() < 20)
            failures.push_back(what);
    };

    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (long round = 0; !stop; ++round) {
                const Sample& s = files[(t + round) % files.size()];
                const std::string path = dir.file(s.name);
                if (factory.getType(path.c_str()) != s.type)
                    fail("getType " + s.name);
                cmn::OpContext ctx;
                boost::shared_ptr<Velm::Model> model = factory.open(path.c_str(), s.type.c_str(), &ctx);
                if (!model || rowNames(*model) != s.rows || ctx.hasErrors())
                    fail("open " + s.name);
                boost::shared_ptr<Velm::ModelIter> iter = factory.iterate(path.c_str(), nullptr, &ctx, "");
                std::vector<std::string> iterated;
                while (iter)
                    if (boost::shared_ptr<Velm::Model> m = iter->next())
                        for (const std::string& name : rowNames(*m))
                            iterated.push_back(name);
                    else
                        break;
                if (iterated != s.rows)
                    fail("iterate " + s.name);
                // Each thread saves to its own file, by extension (a path-directed save).
                if (model) {
                    const std::string out = dir.file("out-" + std::to_string(t) + "-" + s.name);
                    if (!factory.save(out.c_str(), *model, &ctx))
                        fail("save " + s.name);
                    boost::shared_ptr<Velm::Model> back = factory.open(out.c_str(), s.type.c_str(), &ctx);
                    if (!back || rowNames(*back) != s.rows)
                        fail("reopen " + out);
                }
                ++operations;
            }
        });
    }
    std::thread registrar([&] {
        for (int i = 0; !stop; ++i) {
            // "~" sorts after every built-in name, so no built-in source is shadowed.
            const std::string name = "~bystander-" + std::to_string(i % 5);
            factory.addSource(boost::make_shared<Bystander>(name), i % 2 == 0);
            factory.removeSource(name.c_str());
        }
    });
    while (std::chrono::steady_clock::now() < deadline && operations < 1000000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    for (auto& worker : workers)
        worker.join();
    registrar.join();

    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, first: " << failures.front();
    EXPECT_GT(operations.load(), 0);
    // Every bystander went again.
    for (const auto& format : factory.getSupportedFormats())
        EXPECT_NE(format.first, "zz-none");
}

} // namespace
