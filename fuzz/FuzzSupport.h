#ifndef MODELFACTORY_FUZZ_FUZZSUPPORT_H
#define MODELFACTORY_FUZZ_FUZZSUPPORT_H

// Shared by the fuzz targets: scratch files for readers that take a path, and a check that stops
// the run (so the engine records the input) when a reader breaks its contract without crashing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mffuzz {

/// A private folder for this process's scratch files, made on first use and removed at exit.
const std::string& scratchDir();

/// Writes `size` bytes to scratchDir()/name (replacing it) and returns the full path.
std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size);

/// Aborts with `what` on stderr when `condition` is false: a broken contract is a finding.
void require(bool condition, const char* what);

/// True when `text` contains `part`.
bool contains(const std::string& text, const std::string& part);

} // namespace mffuzz

#endif
