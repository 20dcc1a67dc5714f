#ifndef MODELFACTORY_TESTS_FACTORY_RECORDINGSOURCE_H
#define MODELFACTORY_TESTS_FACTORY_RECORDINGSOURCE_H

#include <contracts/DataModel.h>

#include <boost/make_shared.hpp>

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace mftest {

/// A format source that answers as told and records every call made to it, in order.
class RecordingSource : public Velm::ModelSource {
public:
    explicit RecordingSource(const std::string& name) : name_(name) {}

    // What it answers.
    std::function<bool(const char*)> handlesPath = [](const char*) { return false; };
    std::string type;
    Velm::FormatList formats;
    bool retrieveResult = true;
    /// Sequences added to a BioModel by retrieve (none: the model stays empty).
    std::vector<std::string> fillWith;
    /// Which model classes retrieve fills (empty: every BioModel).
    std::vector<std::string> fillsOnly;
    bool saveResult = false;
    bool throwOnRetrieve = false;
    boost::shared_ptr<Velm::ModelIter> iterator;

    // What it was asked.
    mutable std::vector<std::string> calls;

    bool handles(const char* path) const override {
        record("handles " + std::string(path));
        return handlesPath(path);
    }
    const char* getName() const override { return name_.c_str(); }
    const char* getType(const char* path) const override {
        record("getType " + std::string(path));
        return type.c_str();
    }
    Velm::FormatList getSupportedFormats() override { return formats; }
    bool supports(const char* format) const override {
        record("supports " + std::string(format));
        return Velm::ModelSource::supports(format);
    }
    bool retrieve(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx,
                  const char* qualifier) override {
        record("retrieve5 " + std::string(path) + " " + format + " " + model.getType() + " " +
               (qualifier ? qualifier : "(null)"));
        return fill(model, ctx);
    }
    bool retrieve(const char* path, Velm::Model& model, cmn::OpContext* ctx,
                  const char* qualifier) override {
        record("retrieve4 " + std::string(path) + " " + model.getType() + " " +
               (qualifier ? qualifier : "(null)"));
        return fill(model, ctx);
    }
    bool save(const char* path, Velm::Model&, const char* format, cmn::OpContext*) override {
        record("save5 " + std::string(path) + " " + format);
        return saveResult;
    }
    bool save(const char* path, Velm::Model&, cmn::OpContext*) override {
        record("save " + std::string(path));
        return saveResult;
    }
    boost::shared_ptr<Velm::ModelIter> openIterator(const char* path, cmn::OpContext*) override {
        record("openIterator " + std::string(path));
        return iterator;
    }

    std::vector<std::string> recorded() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls;
    }

private:
    void record(const std::string& call) const {
        std::lock_guard<std::mutex> guard(mutex_);
        calls.push_back(call);
    }
    bool fill(Velm::Model& model, cmn::OpContext*) {
        if (throwOnRetrieve)
            throw std::runtime_error("source exploded");
        bool allowed = fillsOnly.empty();
        for (const auto& cls : fillsOnly)
            allowed = allowed || cls == model.getType();
        if (auto* bio = dynamic_cast<Velm::BioModel*>(&model); bio && allowed)
            for (const auto& name : fillWith)
                bio->addSeq(boost::make_shared<Velm::Sequence>(name, "ACGT"));
        if (auto* project = dynamic_cast<Velm::CFProjModel*>(&model); project && allowed)
            for (const auto& name : fillWith)
                project->addFile(name);
        if (auto* query = dynamic_cast<Velm::DBQueryModel*>(&model); query && allowed)
            for (const auto& name : fillWith)
                query->addResult(name);
        return retrieveResult;
    }

    std::string name_;
    mutable std::mutex mutex_;
};

inline boost::shared_ptr<RecordingSource> recordingSource(const std::string& name) {
    return boost::make_shared<RecordingSource>(name);
}

} // namespace mftest

#endif
