#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_MESSAGES_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_MESSAGES_H

// Texts of the archive layer's exceptions and warnings, kept together so tests can assert them.
namespace Ovik {
namespace msg {

// Opening: "<prefix><path>: <reason>".
constexpr const char* kCannotOpen = "Cannot open sequence file ";
constexpr const char* kCannotCreate = "Cannot create sequence file ";
constexpr const char* kCannotWrite = "Cannot write sequence file ";
constexpr const char* kUnknownContent = "unrecognised sequence format";
constexpr const char* kUnknownFormatName = "unknown sequence format name ";
constexpr const char* kNotWritable = "the format cannot be written: ";
constexpr const char* kCorrupt = "corrupt compressed data";
constexpr const char* kStreamTaken = "the stream has already been read";

// Reading: "<path>:<line>: <reason>".
constexpr const char* kTruncated = "unexpected end of file in the entry that starts at line ";
constexpr const char* kMissingEnd = "missing '//' at the end of the entry that starts at line ";
constexpr const char* kNoEntry = "no entry left to read";
constexpr const char* kExpectedFasta = "expected a FASTA header line starting with '>'";
constexpr const char* kExpectedLocus = "expected a LOCUS line";
constexpr const char* kExpectedId = "expected an ID line";
constexpr const char* kExpectedPir = "expected a '>XX;name' line";
constexpr const char* kExpectedPirTitle = "missing title line";
constexpr const char* kMissingStar = "sequence does not end with '*'";
constexpr const char* kMissingDots = "missing the '..' line that ends the GCG header";
constexpr const char* kMissingMsfNames = "no 'Name:' lines before '//'";
constexpr const char* kUnknownMsfRow = "sequence row for a name that the header does not list: ";
constexpr const char* kMsfLength = "length differs from the header for ";
constexpr const char* kExpectedBrace = "expected '{' to open an RSF entry";
constexpr const char* kBadLine = "unexpected line: ";
constexpr const char* kBadFeature = "feature line outside a feature key";
// "not a residue: byte 0xB6 (residues are ASCII letters and symbols)"
constexpr const char* kNotAResidue = "not a residue: byte ";
constexpr const char* kResiduesAreAscii = " (residues are ASCII letters and symbols)";
constexpr const char* kBinaryContent = "binary content where sequence text was expected";
constexpr const char* kSecondReading = "a second reading: an experiment file holds one";
constexpr const char* kNoExperimentSequence = "no SQ line: the experiment file holds no sequence of its own";
constexpr const char* kBadConfidence = "not a confidence value in AV: ";
constexpr const char* kExpectedFastq = "expected a FASTQ header line starting with '@'";
constexpr const char* kFastqNoPlus = "missing '+' line after the sequence of the record that starts at line ";
constexpr const char* kFastqCut = "record cut short: the file ends in the record that starts at line ";
constexpr const char* kFastqPlusName = "the '+' line names another record than its '@' line: ";
constexpr const char* kFastqLength = "quality string length differs from the sequence length: ";
constexpr const char* kFastqQualityChar = "invalid quality character ";
constexpr const char* kFastqSequenceChar = "invalid character in the sequence: ";
constexpr const char* kFastqLooksPhred64 = "every quality of the first reads lies in the old Phred+64 range; if the file is Phred+64, name its format: ";
constexpr const char* kFastqReadAsPhred33 = " (read as Phred+33)";

// Warnings through the context.
constexpr const char* kChecksumMismatch = "GCG checksum mismatch for ";
// "<path>: <text><n> values for <m> bases"
constexpr const char* kConfidenceCount = "confidences dropped: AV holds ";

// Writing.
// "<target>: <entry> holds no residues (its record declares <n>, a master or contig record)..."
constexpr const char* kResiduesAbsent = " holds no residues (its record declares ";
constexpr const char* kResiduesAbsentEnd = ": a master or contig record)";
constexpr const char* kFormatNeedsResidues = "; the format needs them: choose GenBank or EMBL, which keep such records";
constexpr const char* kWrittenEmpty = "; written as an empty sequence";
constexpr const char* kClosedArchive = "the archive is closed: ";
constexpr const char* kReadOnlyArchive = "the archive is not open for writing: ";
constexpr const char* kWriteOnlyArchive = "the archive is not open for reading: ";
constexpr const char* kNoQualities = "no qualities to write for sequence ";
constexpr const char* kNoDefaultQuality = " (and no default quality was given)";
constexpr const char* kQualityCount = "the number of qualities differs from the length of sequence ";

} // namespace msg
} // namespace Ovik

#endif
