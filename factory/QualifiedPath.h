#ifndef MODELFACTORY_FACTORY_QUALIFIEDPATH_H
#define MODELFACTORY_FACTORY_QUALIFIEDPATH_H

#include <string>

namespace Ovik {

/// A path argument split by the FORMAT@@FILE rule: when the first '@' is followed by another '@',
/// the text before it names a format and the text after the two '@' is the file. Otherwise the
/// whole argument is the file (a later "@@" does not count).
struct QualifiedPath {
    bool qualified = false;
    std::string format;
    std::string file;

    explicit QualifiedPath(const char* path);
};

} // namespace Ovik

#endif
