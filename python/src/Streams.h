#ifndef MODELFACTORY_PYTHON_STREAMS_H
#define MODELFACTORY_PYTHON_STREAMS_H

// Models read from an open descriptor rather than a path: standard input, or the pipe the package
// feeds from a Python file object (gzip.open, io.BytesIO, ...).
#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/SeqArchive.h>

#include <boost/shared_ptr.hpp>

#include <string>

namespace mfpy {

/// An iterator over the models on descriptor `fd`, which it owns (closed when the iterator goes).
/// Sequence archives (FASTA, FASTQ, GenBank, ...) are read as they arrive; anything else goes to a
/// private temporary file first, removed with the iterator, since those readers take whole files.
/// `format` names the format ("" lets the first bytes decide). Models get `name` as their URL.
/// Throws std::runtime_error when the temporary file cannot be made or written.
boost::shared_ptr<Velm::ModelIter> streamIterator(int fd, const std::string& name, const std::string& format,
                                                  cmn::OpContext* ctx);

/// The way to take the entries of `iterator` (the factory's, or one streamIterator() made) as
/// record views, or null when it has none.
Ovik::RecordViewSource* recordViews(Velm::ModelIter* iterator);

} // namespace mfpy

#endif
