#ifndef MODELFACTORY_TOOLS_MODELREPORT_H
#define MODELFACTORY_TOOLS_MODELREPORT_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>

#include <cstddef>
#include <ostream>
#include <string>

namespace mftool {

class JsonWriter;

/// Residues shown of each sequence unless every residue is asked for.
constexpr std::size_t kPreviewLength = 50;

/// The first `length` residues, with "..." when there are more.
std::string residuePreview(const std::string& residues, std::size_t length = kPreviewLength);

/// Prints what a model holds: class, URL, encoding, then a table of its sequences (name, length,
/// number of features, molecule type, start of the residues) or, for models without sequences, their own summary.
/// With `allResidues` every sequence follows in full, 60 residues a line.
void printModel(std::ostream& out, const Velm::Model& model, bool allResidues);

/// The same content as JSON fields of the object being written, each sequence's features (key,
/// location text, qualifiers) included.
void writeModelJson(JsonWriter& json, const Velm::Model& model, bool allResidues);

/// The model class detection answers for `path` (with `format` when not empty; a FORMAT@@FILE
/// path is judged as the format it names). "" when the file is not classified.
std::string detectedClass(const std::string& path, const std::string& format, cmn::OpContext* ctx);

/// The model class the factory should open `path` as: `type` when given, else what detection
/// answers (with `format`, or for a FORMAT@@FILE path, the format-directed detection). Detection
/// calls a chromatogram a trace; chromatograms open as sequence models (`chromatogram`, when
/// given, tells whether that happened). "" when the file is not classified.
std::string modelClassFor(const std::string& path, const std::string& type,
                          const std::string& format, cmn::OpContext* ctx,
                          bool* chromatogram = nullptr);

/// Opens `path` as a model of class `type` (reading `format` when it is not empty).
boost::shared_ptr<Velm::Model> openModel(const std::string& path, const std::string& type,
                                         const std::string& format, cmn::OpContext* ctx);

} // namespace mftool

#endif
