// The factory object: its creation and end, the source registry and the merged format list.
#include "factory/ModelFactory.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <contracts/XmlSource.h>
#include <trace/TraceFile.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <strings.h>

template class Velm::ObjectLevelLockable<Ovik::ModelFactory>;

namespace Ovik {

namespace {

// The first call must return before other threads use the factory; guarding creation anyway
// costs one atomic load on every later call and makes a racing first use harmless.
std::atomic<ModelFactory*> g_factory{nullptr};
std::mutex g_creation;

// The library-level owner: the runtime's exit processing destroys it, and with it the factory.
struct Owner {
    std::unique_ptr<ModelFactory> factory;
    ~Owner() {
        g_factory.store(nullptr, std::memory_order_release);
        factory.reset();
    }
};
Owner g_owner;

template <class Source>
void addBuiltIn(ModelFactory& factory) {
    boost::shared_ptr<Source> source(new Source);
    factory.addSource(source, false);
}

} // namespace

} // namespace Ovik

Ovik::ModelFactory& GetModelFactory() {
    using namespace Ovik;
    if (ModelFactory* factory = g_factory.load(std::memory_order_acquire))
        return *factory;
    std::lock_guard<std::mutex> guard(g_creation);
    if (!g_owner.factory)
        g_owner.factory.reset(new ModelFactory); // a throwing constructor leaves the owner empty
    g_factory.store(g_owner.factory.get(), std::memory_order_release);
    return *g_owner.factory;
}

namespace Ovik {

ModelFactory::ModelFactory() {
    addBuiltIn<Velm::XMLModelSource>(*this);
    addBuiltIn<MMSAModelSource>(*this);
    addBuiltIn<PHYModelSource>(*this);
    addBuiltIn<NexusModelSource>(*this);
    addBuiltIn<MSFModelSource>(*this);
    // The FASTQ and compressed-file sources are extensions a host adds (addExtensionSources):
    // the factory itself keeps the five sources its documented behaviour is built on.
}

// Members go in reverse order of declaration: the selected files, the registry, then the lock.
ModelFactory::~ModelFactory() = default;

std::vector<ModelFactory::SourceEntry>::iterator ModelFactory::positionOf(const std::string& name) {
    return std::lower_bound(sources_.begin(), sources_.end(), name,
                            [](const SourceEntry& entry, const std::string& key) {
                                return entry.first < key;
                            });
}

void ModelFactory::addSource(const boost::shared_ptr<Velm::ModelSource>& source, bool replace) {
    if (!source)
        return; // nothing to register; a null entry would break every later lookup
    Lock lock(*this);
    std::string name(source->getName());
    auto position = positionOf(name);
    const bool present = position != sources_.end() && !(name < position->first);
    if (!present)
        sources_.insert(position, SourceEntry(name, source));
    else if (replace)
        position->second = source;
}

void ModelFactory::removeSource(const char* name) {
    if (!name)
        return;
    Lock lock(*this);
    const std::string key(name);
    auto position = positionOf(key);
    if (position != sources_.end() && !(key < position->first))
        sources_.erase(position);
}

// The lock is recursive, so a source may call back into the factory from handles() or supports()
// and even add or remove sources. The walk therefore goes by position, re-reading the size, and
// holds its own share of the source it is asking: a change made from inside a call cannot leave
// it on a dangling element.
template <class Ask>
boost::shared_ptr<Velm::ModelSource> firstSource(const std::vector<ModelFactory::SourceEntry>& sources,
                                                 Ask ask) {
    for (std::size_t i = 0; i < sources.size(); ++i) {
        boost::shared_ptr<Velm::ModelSource> source = sources[i].second;
        if (ask(*source))
            return source;
    }
    return boost::shared_ptr<Velm::ModelSource>();
}

boost::shared_ptr<Velm::ModelSource> ModelFactory::findSource(const char* path) {
    Lock lock(*this);
    cmn::ProbeScope probe; // the sources sniff the same file one after another
    return firstSource(sources_, [path](const Velm::ModelSource& s) { return s.handles(path); });
}

boost::shared_ptr<Velm::ModelSource> ModelFactory::findSourceWithoutExt(const char*) {
    Lock lock(*this);
    for (const auto& entry : sources_)
        if (strcasecmp(entry.first.c_str(), "XMLModelSource") == 0)
            return entry.second;
    return boost::shared_ptr<Velm::ModelSource>();
}

boost::shared_ptr<Velm::ModelSource> ModelFactory::findSourceFormat(std::string format) {
    Lock lock(*this);
    return firstSource(sources_, [&format](const Velm::ModelSource& s) {
        return s.supports(format.c_str());
    });
}

Velm::FormatList ModelFactory::getSupportedFormats() const {
    Velm::FormatList formats;
    for (const auto& entry : sources_) {
        const Velm::FormatList own = entry.second->getSupportedFormats();
        formats.insert(formats.end(), own.begin(), own.end());
    }
    const Velm::FormatList archive = SALSource::getSupportedFormats();
    formats.insert(formats.end(), archive.begin(), archive.end());
    const Velm::FormatList traces = TraceFile::getSupportedFormats();
    formats.insert(formats.end(), traces.begin(), traces.end());
    return formats;
}

} // namespace Ovik
