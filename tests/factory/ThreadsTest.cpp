#include <factory/ModelFactory.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A source that claims nothing; threads add and remove many of these.
class Bystander : public Velm::ModelSource {
public:
    explicit Bystander(std::string name) : name_(std::move(name)) {}
    bool handles(const char*) const override { return false; }
    const char* getName() const override { return name_.c_str(); }
    const char* getType(const char*) const override { return ""; }
    Velm::FormatList getSupportedFormats() override { return {}; }

private:
    std::string name_;
};

TEST(FactoryThreads, RegistryChangesRaceLookupsAndDetectionSafely) {
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const std::string name = "bystander-" + std::to_string(t) + "-" + std::to_string(i % 7);
                factory.addSource(boost::make_shared<Bystander>(name), i % 2 == 0);
                factory.removeSource(name.c_str());
            }
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                // No source handles these; the table decides and no file is opened.
                if (factory.getType("/nonexistent/file.fa") != "" ||
                    factory.getType("/nonexistent/x.nex") != "")
                    wrong = true;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(wrong);
    // Every bystander was removed again: only the built-in sources are left.
    EXPECT_EQ(factory.getSupportedFormats().size(),
              Ovik::GetModelFactory().getSupportedFormats().size());
}

} // namespace
