#ifndef MODELFACTORY_TOOLS_MESSAGES_H
#define MODELFACTORY_TOOLS_MESSAGES_H

// The tool's own texts; tests match them verbatim. Reports of the library are printed as they come.
namespace mftool {
namespace msg {

// Prefixes of everything written to stderr.
constexpr const char* WarningPrefix = "warning: ";
constexpr const char* ErrorPrefix = "error: ";

// Command line.
constexpr const char* NoCommand = "no command given";
constexpr const char* UnknownCommand = "unknown command '";
constexpr const char* UnknownOption = "unknown option '";
constexpr const char* OptionNeedsValue = "missing value for option '";
constexpr const char* OptionTakesNoValue = "option takes no value: '";
constexpr const char* OptionRepeated = "option given more than once: '";
constexpr const char* MissingArgument = "missing argument; expected ";
constexpr const char* UnexpectedArgument = "unexpected argument '";
constexpr const char* HelpHint = "Run 'modelfactory --help' for the list of commands.";
// "unknown format 'fatsa' (--to); did you mean 'FASTA'? Known formats: FASTQ, CLUSTAL, ..."
// "unknown format 'bogus' (--format). Known formats: FASTQ, CLUSTAL, ..."
constexpr const char* UnknownFormat = "unknown format '";
constexpr const char* DidYouMean = "; did you mean '";
constexpr const char* KnownFormats = " Known formats: ";

// Commands.
// "cannot read x.fa: No such file or directory"
constexpr const char* CannotRead = "cannot read ";
constexpr const char* StandardInputTwice = "standard input (-) can be read only once";
constexpr const char* Unclassified = "unclassified";
constexpr const char* CannotClassify = "cannot tell what kind of model this file holds: ";
constexpr const char* TypeHint = " (name one with --type)";
constexpr const char* NothingOpened = "nothing could be read from ";
constexpr const char* NothingToConvert = "no sequences to convert in ";
constexpr const char* NotAChromatogram = "not a readable chromatogram: ";
constexpr const char* NotAChromatogramFormat = "not a chromatogram format: ";
// "plain text has no samples: x.pln; read its sequence with 'modelfactory open x.pln'"
constexpr const char* PlainTextHasNoSamples = "plain text has no samples: ";
constexpr const char* ReadItWithOpen = "; read its sequence with 'modelfactory open ";
// A chromatogram of calls and confidences only (as short-read instruments write them).
constexpr const char* NoSamplesToDraw = "the chromatogram holds calls but no samples: nothing to draw: ";
// The note of the chromatogram formats that carry no samples in the format list.
constexpr const char* NoSamplesNote = " (plain text, no samples: read it with 'open')";
constexpr const char* CannotWrite = "cannot write ";
constexpr const char* CannotWriteStandardOutput = "cannot write standard output: ";
constexpr const char* UnknownCompression = "--compress takes gz, bz2, xz or zst, not '";
constexpr const char* CompressIsForStandardOutput =
    "--compress is for standard output (OUT -); a file is compressed as its name ends (.gz, .bz2, .xz, .zst)";
constexpr const char* ToNamesNoCompression =
    "--to names a format, not a compression: ask for compressed output with --compress (--to FASTA --compress gz)";
// Standard input that is not a sequence archive goes through a bounded file.
constexpr const char* CannotClassifyStandardInput =
    "cannot tell what kind of model standard input holds (name its format with --format or --from)";
// "standard input holds more than 256 MiB that ..."
constexpr const char* StandardInputTooLarge = "standard input holds more than ";
constexpr const char* GiveItAsAFile =
    " MiB that is not a sequence archive and must be copied to be read; give it as a file";
constexpr const char* NoModels = "no models in ";
constexpr const char* StandardOutputNeedsFormat = "writing to standard output (-) needs --to NAME";
constexpr const char* JsonWithStandardOutput = "--json cannot be used when writing to standard output (-)";
constexpr const char* CannotIndexStandardInput = "standard input (-) cannot be indexed: an index is for a file";
// get: "region 'chr1:0-5' ..."
constexpr const char* RegionStartsAtOne = "positions count from 1: region '";
constexpr const char* RegionEndsBeforeStart = "region ends before it starts: '";
constexpr const char* RegionPastEnd = "region starts past the end of its entry: '";
constexpr const char* RegionClipped = "region runs past the end of its entry; clipped '";
constexpr const char* GetJsonWithTo = "--json and --to cannot be used together";
constexpr const char* NotAWritableFormat = "not a format that can be written: '";
// convert of many inputs: "2 of 300 inputs were not converted"
// "unexpected argument 'c.fa': more than one IN ..."
constexpr const char* ManyInputsNeedAnOutput =
    ": more than one IN needs --output-dir DIR (a file for each) or --output OUT (one file for all)";
constexpr const char* OutputDirNeedsFolder = "--output-dir needs a folder";
constexpr const char* OutputDirNeedsFormat = "--output-dir needs --to NAME: the format every output is written in";
constexpr const char* NoExtensionForFormat = "--output-dir: no file-name extension is known for the format '";
constexpr const char* OutputAndOutputDir = "--output and --output-dir cannot be used together";
constexpr const char* OutputNeedsValue = "--output needs a file name (or - for standard output)";
constexpr const char* OutputWithOut = "with --output every argument is an input: give OUT as --output only";
constexpr const char* OutputNeedsSequenceFormat =
    "--output writes the sequences of every input to one file, in a sequence format (FASTA, FASTQ, GenBank, EMBL, ...), not '";
constexpr const char* StandardInputAmongMany = "standard input (-) cannot be one of many inputs: give files";
constexpr const char* CannotWriteInto = "cannot write into ";
constexpr const char* OutputAlreadyWritten = "not converted: its output ";
constexpr const char* IsWrittenFrom = " is written from ";
constexpr const char* SameStemHint = " (inputs of the same name go to the same file)";
constexpr const char* OutputIsAnInput = "not converted: its output would replace an input: ";
constexpr const char* InputsNotConverted = " inputs were not converted";
constexpr const char* LeftAsItWas = ": left as it was";
constexpr const char* NoNamesGiven = "no names given: name entries or regions, or give --names-from FILE";
constexpr const char* NotSequenceInput = "standard input does not hold sequence entries: ";
constexpr const char* NotSeekable = " is compressed, but not with BGZF, and cannot be indexed: reading it front to back (recompress it with bgzip to read it by seeking)";
constexpr const char* NoIndexFor = "no index ";
constexpr const char* BuildingIndex = ": building one in memory (run 'modelfactory index ";
constexpr const char* ScanningInstead = "; reading the file front to back instead";
constexpr const char* NoEntryNamed = "no entry named '";
constexpr const char* TabularWithJson = "--tabular and --json cannot be used together";
constexpr const char* BadQuality = "--default-quality takes a Phred quality from 0 to 93, not '";

} // namespace msg
} // namespace mftool

#endif
