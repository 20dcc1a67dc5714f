#include "FactoryTestAccess.h"
#include "RecordingSource.h"

#include "factory/CompressedFileSource.h"
#include "factory/Extensions.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <contracts/XmlSource.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

namespace {

using Access = Ovik::ModelFactoryTestAccess;
using mftest::recordingSource;

class Registry : public mftest::FactoryTest {};

TEST_F(Registry, OneFactoryWithTheFiveBuiltInSources) {
    Ovik::ModelFactory& first = Ovik::GetModelFactory();
    EXPECT_EQ(&first, &Ovik::GetModelFactory());
    auto& entries = Access::registry(first);
    ASSERT_EQ(entries.size(), 5u);
    int xml = 0, clustal = 0, phylip = 0, nexus = 0, msf = 0;
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.first, entry.second->getName());
        xml += !!boost::dynamic_pointer_cast<Velm::XMLModelSource>(entry.second);
        clustal += !!boost::dynamic_pointer_cast<Ovik::MMSAModelSource>(entry.second);
        phylip += !!boost::dynamic_pointer_cast<Ovik::PHYModelSource>(entry.second);
        nexus += !!boost::dynamic_pointer_cast<Ovik::NexusModelSource>(entry.second);
        msf += !!boost::dynamic_pointer_cast<Ovik::MSFModelSource>(entry.second);
    }
    EXPECT_TRUE(xml == 1 && clustal == 1 && phylip == 1 && nexus == 1 && msf == 1);
    const auto names = Access::names(first);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // No source offers FASTQ: the format list has the archive layer's FASTQ pair alone.
    std::size_t fastq = 0;
    for (const auto& format : first.getSupportedFormats())
        fastq += format.first == Ovik::SALSource::FASTQ;
    EXPECT_EQ(fastq, 1u);
}

TEST_F(Registry, OneCallAddsTheExtensionSourcesAndKeepsAHostsOwn) {
    // A host source under one of the extensions' names stays: nothing is replaced.
    auto hostFastq = recordingSource("FastqModelSource");
    factory().addSource(hostFastq, false);
    Ovik::addExtensionSources(factory());
    auto names = Access::names(factory());
    ASSERT_EQ(names.size(), 7u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // The compressed-file source is asked last: any source that knows a compressed file itself
    // comes first.
    EXPECT_EQ(names.back(), Ovik::CompressedFileSource::SourceName);
    for (const auto& entry : Access::registry(factory())) {
        if (entry.first == "FastqModelSource") {
            EXPECT_EQ(entry.second, hostFastq);
        }
    }

    // A second call changes nothing.
    factory().removeSource("FastqModelSource");
    Ovik::addExtensionSources(factory());
    Ovik::addExtensionSources(factory());
    EXPECT_EQ(Access::names(factory()), names);
    std::size_t fastqSources = 0, compressed = 0;
    for (const auto& entry : Access::registry(factory())) {
        fastqSources += !!boost::dynamic_pointer_cast<Ovik::FastqModelSource>(entry.second);
        compressed += !!boost::dynamic_pointer_cast<Ovik::CompressedFileSource>(entry.second);
    }
    EXPECT_EQ(fastqSources, 1u);
    EXPECT_EQ(compressed, 1u);
}

TEST_F(Registry, FindSourceWithoutExtFindsTheXmlSourceWhateverThePath) {
    for (const char* path : {"", "anything.fa", "@@"}) {
        auto source = Access::findSourceWithoutExt(factory(), path);
        ASSERT_TRUE(source) << path;
        EXPECT_STREQ(source->getName(), "XMLModelSource");
    }
}

TEST_F(Registry, NamesSortBytewiseAndTheFirstNameWins) {
    clearRegistry();
    auto zeta = recordingSource("zeta"), alpha = recordingSource("alpha"),
         upper = recordingSource("Zeta"), prefix = recordingSource("alph");
    for (auto& s : {zeta, alpha, upper, prefix}) {
        s->handlesPath = [](const char*) { return true; };
        s->formats = {{"FMT", s->getName()}};
        factory().addSource(s, false);
    }
    // Upper case sorts before lower case; a proper prefix sorts first.
    EXPECT_EQ(Access::names(factory()), (std::vector<std::string>{"Zeta", "alph", "alpha", "zeta"}));
    EXPECT_EQ(Access::findSource(factory(), "x.txt"), upper);
    EXPECT_EQ(Access::findSourceFormat(factory(), "fmt"), upper);
    // The first source's formats come first.
    const auto formats = factory().getSupportedFormats();
    ASSERT_GE(formats.size(), 4u);
    EXPECT_EQ(formats[0].second, "Zeta");
    EXPECT_EQ(formats[3].second, "zeta");
    // The lookup stops at the first yes.
    EXPECT_EQ(alpha->recorded().size(), 0u);
}

TEST_F(Registry, AddWithoutReplaceKeepsTheOldSourceAndReplaceSwapsItIn) {
    clearRegistry();
    auto original = recordingSource("same"), newcomer = recordingSource("same");
    original->handlesPath = newcomer->handlesPath = [](const char*) { return true; };
    factory().addSource(original, false);
    factory().addSource(newcomer, false);
    EXPECT_EQ(Access::registry(factory()).size(), 1u);
    EXPECT_EQ(Access::findSource(factory(), "f"), original);
    EXPECT_EQ(newcomer.use_count(), 1); // the registry took no share

    factory().addSource(newcomer, true);
    EXPECT_EQ(Access::registry(factory()).size(), 1u);
    EXPECT_EQ(Access::findSource(factory(), "f"), newcomer);
    EXPECT_EQ(original.use_count(), 1); // the registry let go of the old one
}

TEST_F(Registry, TheNameIsCopiedOnceWhenTheSourceIsAdded) {
    clearRegistry();
    struct Renaming : mftest::RecordingSource {
        Renaming() : RecordingSource("first") {}
        mutable int asked = 0;
        const char* getName() const override { return ++asked == 1 ? "first" : "later"; }
    };
    auto source = boost::make_shared<Renaming>();
    factory().addSource(source, false);
    EXPECT_EQ(Access::names(factory()), std::vector<std::string>{"first"});
    factory().removeSource("first");
    EXPECT_TRUE(Access::registry(factory()).empty());
    EXPECT_EQ(source->asked, 1);
}

TEST_F(Registry, RemoveIsExactAndCaseSensitive) {
    EXPECT_EQ(Access::registry(factory()).size(), 5u);
    factory().removeSource("xmlmodelsource");
    factory().removeSource("XMLModelSourc");
    factory().removeSource("not registered");
    EXPECT_EQ(Access::registry(factory()).size(), 5u);

    auto held = Access::findSourceWithoutExt(factory(), "");
    factory().removeSource("XMLModelSource");
    EXPECT_EQ(Access::registry(factory()).size(), 4u);
    EXPECT_FALSE(Access::findSourceWithoutExt(factory(), ""));
    // The caller's share keeps the removed source alive and usable.
    ASSERT_TRUE(held);
    EXPECT_STREQ(held->getName(), "XMLModelSource");
    EXPECT_FALSE(held->getSupportedFormats().empty());
}

TEST_F(Registry, FindSourceWithoutExtIgnoresCase) {
    clearRegistry();
    auto lower = recordingSource("xmlmodelsource");
    factory().addSource(lower, false);
    EXPECT_EQ(Access::findSourceWithoutExt(factory(), "x"), lower);
}

TEST_F(Registry, EmptyPointersAndNullNamesAreIgnored) {
    factory().addSource(boost::shared_ptr<Velm::ModelSource>(), true);
    factory().removeSource(nullptr);
    EXPECT_EQ(Access::registry(factory()).size(), 5u);
}

TEST_F(Registry, LookupsMissReportNothingAndReturnEmpty) {
    clearRegistry();
    EXPECT_FALSE(Access::findSource(factory(), "x.fa"));
    EXPECT_FALSE(Access::findSourceFormat(factory(), "FASTA"));
    auto quiet = recordingSource("quiet");
    factory().addSource(quiet, false);
    EXPECT_FALSE(Access::findSource(factory(), "x.fa"));
    EXPECT_EQ(quiet->recorded(), std::vector<std::string>{"handles x.fa"});
}

TEST_F(Registry, FormatListIsSourcesThenArchiveThenChromatograms) {
    clearRegistry();
    const auto archive = Ovik::SALSource::getSupportedFormats();
    const auto traces = Ovik::TraceFile::getSupportedFormats();
    auto formats = factory().getSupportedFormats();
    ASSERT_EQ(formats.size(), archive.size() + traces.size());
    EXPECT_TRUE(std::equal(archive.begin(), archive.end(), formats.begin()));
    EXPECT_EQ(formats[archive.size()].first, "SCF");
    EXPECT_EQ(formats.back().first, "BIO");

    // A format that a source and the archive layer both offer is listed twice.
    auto fasta = recordingSource("fasta-too");
    fasta->formats = {archive.front()};
    factory().addSource(fasta, false);
    formats = factory().getSupportedFormats();
    EXPECT_EQ(std::count(formats.begin(), formats.end(), archive.front()), 2);
}

TEST_F(Registry, ASourceMayCallBackIntoTheFactoryWhileALookupHoldsTheLock) {
    clearRegistry();
    auto reentrant = recordingSource("reentrant");
    auto inner = recordingSource("inner");
    reentrant->handlesPath = [&](const char*) {
        // Same thread, lock already held: must not deadlock.
        factory().addSource(inner, false);
        return Access::findSourceFormat(factory(), "none") == nullptr;
    };
    factory().addSource(reentrant, false);
    EXPECT_EQ(Access::findSource(factory(), "a"), reentrant);
    EXPECT_EQ(Access::registry(factory()).size(), 2u);
}

TEST(GetModelFactory, OneFactoryUnderBothNames) {
    EXPECT_EQ(&::GetModelFactory(), &Ovik::GetModelFactory());
}

TEST(ObjectLevelLockable, AtomicOperations) {
    using Lock = Velm::ObjectLevelLockable<Ovik::ModelFactory>;
    static_assert(std::is_same<decltype(Lock::AtomicIncrement(std::declval<volatile std::int32_t&>())),
                               std::int32_t>::value,
                  "the host's counters are 32-bit signed");
    volatile std::int32_t counter = 5;
    EXPECT_EQ(Lock::AtomicIncrement(counter), 6);
    EXPECT_EQ(Lock::AtomicDecrement(counter), 5);
    Lock::AtomicAssign(counter, 42);
    EXPECT_EQ(counter, 42);
    std::int32_t target = 0;
    Lock::AtomicAssign(target, counter);
    EXPECT_EQ(target, 42);
    Lock a, b;
    EXPECT_EQ(&(a = b), &a);
}

} // namespace
