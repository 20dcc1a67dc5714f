#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_FASTQVARIANTS_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_FASTQVARIANTS_H

namespace Ovik {

/// How a FASTQ file's quality characters encode Phred scores. Phred+33 is FASTQ; the others are
/// read and written only under their own names, never guessed.
enum class QualityEncoding { Phred33, Phred64, Solexa };

namespace fastq {

/// The format names of the old encodings, as other programs know them: Phred+64 ("fastq-illumina")
/// and Solexa+64 ("fastq-solexa"). SALSource::canonicalName() returns these pointers for them.
extern const char* const kIllumina;
extern const char* const kSolexa;

/// True for SALSource::FASTQ and the two pointers above.
bool isVariant(const char* canonical);
/// The encoding a canonical FASTQ name stands for (Phred+33 for SALSource::FASTQ).
QualityEncoding encodingOf(const char* canonical);

} // namespace fastq
} // namespace Ovik

#endif
