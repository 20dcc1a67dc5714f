#ifndef MODELFACTORY_FACTORY_COMPARENOCASE_H
#define MODELFACTORY_FACTORY_COMPARENOCASE_H

namespace Ovik {

/// Compares at most `n` characters of `a` and `b` after passing each through toupper.
/// At the first difference: -1 when the character of `a` is the smaller, +1 otherwise.
/// 0 when all `n` agree or both texts end at the same position first. Comparing over the length
/// of a known name tests whether a text begins with that name, ignoring case.
int compareNoCase(const char* a, const char* b, unsigned n);

} // namespace Ovik

#endif
