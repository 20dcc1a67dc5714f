// The host's list of selected files: stored, never examined.
#include "factory/ModelFactory.h"

namespace Ovik {

const std::vector<std::string>& ModelFactory::getSelectedFiles() const { return selectedFiles_; }

unsigned int ModelFactory::getSelectedCount() const {
    return static_cast<unsigned int>(selectedFiles_.size());
}

void ModelFactory::setSelectedFiles(const std::vector<std::string>& files) {
    if (&files != &selectedFiles_)
        selectedFiles_ = files;
}

void ModelFactory::clearSelectedFiles() { selectedFiles_.clear(); }

} // namespace Ovik
