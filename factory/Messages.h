#ifndef MODELFACTORY_FACTORY_MESSAGES_H
#define MODELFACTORY_FACTORY_MESSAGES_H

// Every text the factory reports, in one place: hosts and tests match them byte for byte.
namespace Ovik {
namespace msg {

// Detection (warnings).
constexpr const char* NotARegularFile = "Not a regular file.";
constexpr const char* CannotFindDataType = "Cannot find the correct data-type of ";

// The factory's own readers.
constexpr const char* CannotUnderstandFormat = "Cannot understand the format ";
constexpr const char* ReadingFile = "Reading file: ";

// Openers.
constexpr const char* LoadingAlignment = "loading alignment: ";
constexpr const char* LoadingAssembly = "loading assembly: ";
constexpr const char* UnknownModelType = "Unknown model type: ";
constexpr const char* FormatNotSupported = "Format names are not supported with this model type";
constexpr const char* FormatPart = " Format: ";
constexpr const char* ModelTypePart = " Model type: ";

// Iteration.
constexpr const char* SourceCannotIterate = "ModelSource unable to open iterator for '";
constexpr const char* InputFile = "Input file '";
constexpr const char* CannotBeReadInFormat = "' cannot be read in the format ";
constexpr const char* CannotIterate = "Unable to open iterator for '";

// Saving.
constexpr const char* NothingToOpen = "Cannot open the input file";
constexpr const char* UnsupportedFileType = "unsupported file type: ";
constexpr const char* SavingFile = "saving file: ";
constexpr const char* NothingToSave = ": nothing to save";
constexpr const char* OpeningFile = "opening file: ";

} // namespace msg
} // namespace Ovik

#endif
