#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_FEATURETABLE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_FEATURETABLE_H

#include "LineSource.h"

#include <contracts/Sequence.h>

#include <string>
#include <vector>

namespace Ovik {

/// Collects a feature table in the shared GenBank/EMBL layout: the key in columns 6-20, the
/// location and the qualifiers from column 22. Lines are given without their two-letter prefix
/// ("FT"), which the EMBL readers blank out.
class FeatureParser {
public:
    explicit FeatureParser(std::vector<Velm::Feature>& out) : out_(out) {}
    /// Adds one line; throws through `src` on a continuation line before any key.
    void addLine(const char* data, std::size_t size, const LineSource& src);
    /// Ends the table (completes the last qualifier).
    void finish();

private:
    void closeQualifier();
    /// Updates the '=' position and the quote count after raw_ grew from `from` on.
    void noteAppended(std::size_t from);

    std::vector<Velm::Feature>& out_;
    bool inFeature_ = false;
    bool inQualifier_ = false;
    bool oldSwiss_ = false;
    std::string raw_; // the current qualifier: name=value as written, lines joined
    std::string qualifierName_;
    std::size_t equals_ = std::string::npos; // first '=' in raw_
    bool quotedValue_ = false;               // the value after it starts with a quote
    std::size_t quotes_ = 0;                 // quotes in raw_ after the '='
};

/// Writes features in the shared layout. `prefix` is "     " for GenBank, "FT   " for EMBL.
void writeFeatures(std::string& out, const std::vector<Velm::Feature>& features, const char* prefix);

} // namespace Ovik

#endif
