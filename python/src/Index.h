#ifndef MODELFACTORY_PYTHON_INDEX_H
#define MODELFACTORY_PYTHON_INDEX_H

#include <pybind11/pybind11.h>

namespace mfpy {

/// Adds Index: a FASTA or FASTQ file read through its .fai index (Ovik::IndexedSeqArchive).
/// Called once Sequence and the errors are bound.
void registerIndex(pybind11::module_& module);

} // namespace mfpy

#endif
