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
constexpr const char* kBinaryContent = "binary content where sequence text was expected";
constexpr const char* kSecondReading = "a second reading: an experiment file holds one";
constexpr const char* kNoExperimentSequence = "no SQ line: the experiment file holds no sequence of its own";
constexpr const char* kBadConfidence = "not a confidence value in AV: ";

// Warnings through the context.
constexpr const char* kChecksumMismatch = "GCG checksum mismatch for ";
// "<path>: <text><n> values for <m> bases"
constexpr const char* kConfidenceCount = "confidences dropped: AV holds ";

// Writing.
constexpr const char* kClosedArchive = "the archive is closed: ";
constexpr const char* kReadOnlyArchive = "the archive is not open for writing: ";
constexpr const char* kWriteOnlyArchive = "the archive is not open for reading: ";

} // namespace msg
} // namespace Ovik

#endif
