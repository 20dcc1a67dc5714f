#ifndef MODELFACTORY_TESTS_FACTORY_FACTORYTESTACCESS_H
#define MODELFACTORY_TESTS_FACTORY_FACTORYTESTACCESS_H

#include "TestSupport.h"

#include <contracts/Compression.h>
#include <factory/Extensions.h>
#include <factory/ModelFactory.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Ovik {

/// Reaches the factory's private members for the tests.
class ModelFactoryTestAccess {
public:
    typedef boost::shared_ptr<Velm::ModelSource> Source;

    static std::vector<ModelFactory::SourceEntry>& registry(ModelFactory& f) { return f.sources_; }
    static std::vector<std::string> names(ModelFactory& f) {
        std::vector<std::string> out;
        for (const auto& entry : f.sources_)
            out.push_back(entry.first);
        return out;
    }
    static Source findSource(ModelFactory& f, const char* path) { return f.findSource(path); }
    static Source findSourceWithoutExt(ModelFactory& f, const char* path) {
        return f.findSourceWithoutExt(path);
    }
    static Source findSourceFormat(ModelFactory& f, const std::string& format) {
        return f.findSourceFormat(format);
    }
    static bool isFile(ModelFactory& f, const char* path) { return f.isFile(path); }
    static const char* scanNative(ModelFactory& f, const char* path) { return f.scanNative(path); }
    static bool openTrace(ModelFactory& f, const char* path, Velm::BioModel& m, cmn::OpContext* ctx) {
        return f.openTrace(path, m, ctx);
    }
    static bool openSAL(ModelFactory& f, const char* path, Velm::BioModel& m, cmn::OpContext* ctx) {
        return f.openSAL(path, m, ctx);
    }
    static bool openFile(ModelFactory& f, const char* path, Velm::BioModel& m, cmn::OpContext* ctx) {
        return f.openFile(path, m, ctx);
    }
    static bool openFile(ModelFactory& f, const char* path, Velm::BioModel& m, const char* format,
                         cmn::OpContext* ctx) {
        return f.openFile(path, m, format, ctx);
    }
    static boost::shared_ptr<Velm::ModelIter> openSALIter(ModelFactory& f, const char* path,
                                                          const char* qualifier,
                                                          cmn::OpContext* ctx,
                                                          const std::string& format) {
        return f.openSALIter(path, qualifier, ctx, format);
    }
    static bool saveFastA(ModelFactory& f, const char* path, const Velm::Alignment& a,
                          cmn::OpContext* ctx) {
        return f.saveFastA(path, a, ctx);
    }
};

} // namespace Ovik

namespace mftest {

/// Leaves the singleton's registry as it found it, whatever a test adds or removes.
class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = Ovik::ModelFactoryTestAccess::registry(factory());
    }
    void TearDown() override { Ovik::ModelFactoryTestAccess::registry(factory()) = saved_; }

    static Ovik::ModelFactory& factory() { return Ovik::GetModelFactory(); }
    /// Removes every registered source for the rest of the test.
    void clearRegistry() { Ovik::ModelFactoryTestAccess::registry(factory()).clear(); }

private:
    std::vector<Ovik::ModelFactory::SourceEntry> saved_;
};

/// The same, with the library's extension sources added for the test, as the tool and the Python
/// module add them.
class ExtendedFactoryTest : public FactoryTest {
protected:
    void SetUp() override {
        FactoryTest::SetUp();
        Ovik::addExtensionSources(factory());
    }
};

/// A test's own folder of sample files, written plain or compressed as their names say.
class SampleFiles {
protected:
    std::string write(const std::string& name, const std::string& text) {
        return mftest::writeFile(dir_.file(name), text);
    }
    /// `content` compressed by the name's extension (.gz, .bz2, .xz, .zst).
    std::string packed(const std::string& name, const std::string& content) {
        int error = 0;
        EXPECT_TRUE(cmn::replaceFileContentsByName(dir_.file(name), content, error)) << name;
        return dir_.file(name);
    }
    mftest::TempDir dir_;
};

} // namespace mftest

#endif
