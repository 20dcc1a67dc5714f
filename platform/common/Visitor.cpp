#include <contracts/Common.h>

namespace Common {

VisitableBase::~VisitableBase() = default;
VisitorBase::~VisitorBase() = default;

} // namespace Common
