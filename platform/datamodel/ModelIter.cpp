#include <contracts/DataModel.h>

namespace Velm {

ModelIter::~ModelIter() = default;

SimpleModelIter::SimpleModelIter(const boost::shared_ptr<Model>& model, cmn::OpContext*)
    : model_(model) {}

boost::shared_ptr<Model> SimpleModelIter::next() {
    boost::shared_ptr<Model> model;
    model.swap(model_);
    return model;
}

} // namespace Velm
