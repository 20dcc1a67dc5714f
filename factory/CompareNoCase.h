#ifndef MODELFACTORY_FACTORY_COMPARENOCASE_H
#define MODELFACTORY_FACTORY_COMPARENOCASE_H

#include "contracts/Common.h"

namespace Ovik {

/// The factory's name for the shared case-insensitive comparison of extensions and format names;
/// the comparison itself lives in the common library so that the chromatogram reader uses the
/// same one without depending on the factory.
using cmn::compareNoCase;

} // namespace Ovik

#endif
