#ifndef MODELFACTORY_FACTORY_EXTENSIONS_H
#define MODELFACTORY_FACTORY_EXTENSIONS_H

#include <contracts/Export.h>

namespace Ovik {

class ModelFactory;

/// Registers every extension source this library offers beside the factory's five built-in ones,
/// through the ordinary addSource(source, false):
/// - Ovik::FastqModelSource (contracts/SeqArchive.h): FASTQ files by name (.fq, .fastq, also
///   compressed) or by content, read and written with their qualities, iterated read by read;
/// - Ovik::CompressedFileSource (factory/CompressedFileSource.h): files ending in .gz, .bz2, .xz
///   or .zst, classified, read, iterated and written by what they hold (a gzip chromatogram
///   included).
///
/// Without this call the factory behaves exactly as documented for its five sources: a FASTQ or
/// compressed archive still opens and iterates through the archive layer, but a ".gz" name is
/// not classified, and saving never writes FASTQ or compressed files.
///
/// A source the host registered earlier under one of these names is kept (nothing is replaced),
/// so calling this more than once changes nothing. Like addSource, it must not run while another
/// thread uses the factory.
MF_API void addExtensionSources(ModelFactory& factory);

} // namespace Ovik

#endif
