#ifndef MODELFACTORY_TOOLS_EDITDISTANCE_H
#define MODELFACTORY_TOOLS_EDITDISTANCE_H

#include <cstddef>
#include <string>

namespace mftool {

/// Optimal string alignment distance ignoring case: insertions, deletions, substitutions and
/// swaps of two neighbouring characters each count one ("EMLB" is one slip from "EMBL"); no
/// substring is edited twice.
std::size_t editDistance(const std::string& a, const std::string& b);

} // namespace mftool

#endif
