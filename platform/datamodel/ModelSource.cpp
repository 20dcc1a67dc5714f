#include <contracts/DataModel.h>

#include <strings.h>

namespace Velm {

ModelSource::~ModelSource() = default;

bool ModelSource::supports(const char* format) const {
    if (!format)
        return false;
    // The format list is computed by a non-const member: sources build it on demand and keep no
    // state for it, so asking for it here does not change the source.
    const FormatList formats = const_cast<ModelSource*>(this)->getSupportedFormats();
    for (const auto& entry : formats)
        if (strcasecmp(entry.first.c_str(), format) == 0)
            return true;
    return false;
}

bool ModelSource::retrieve(const char*, Model&, const char*, cmn::OpContext*, const char*) {
    return false;
}

bool ModelSource::retrieve(const char*, Model&, cmn::OpContext*, const char*) { return false; }

bool ModelSource::save(const char*, Model&, const char*, cmn::OpContext*) { return false; }

bool ModelSource::save(const char*, Model&, cmn::OpContext*) { return false; }

boost::shared_ptr<ModelIter> ModelSource::openIterator(const char*, cmn::OpContext*) {
    return boost::shared_ptr<ModelIter>();
}

} // namespace Velm
