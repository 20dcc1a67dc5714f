#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_CROSSFORMAT_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_CROSSFORMAT_H

// What the annotated writers keep of an entry read from another format. An entry carries its
// header fields as annotations named the way its own format names them (GenBank keywords such as
// "REFERENCE", two-letter EMBL and Swiss-Prot codes such as "RN") and its feature table in its
// own layout (INSDC keys and locations, or Swiss-Prot keys and positions). Each writer asks here
// for the fields and features in its own terms: what maps is translated, what has no place in the
// format is left out. The rules are listed in docs/seqarchive-formats.md.

#include <contracts/Sequence.h>

#include <functional>
#include <string>
#include <vector>

namespace Ovik {

/// The three annotated layouts.
enum class FlatLayout { GenBank, Embl, Swiss };

/// Receives the warnings of a translation (a feature left out, and why).
typedef std::function<void(const std::string&)> WarningSink;

/// The entry's header fields as the target names them, in order, each value one or more lines
/// (joined with '\n'). Fields the writer builds itself (ID/LOCUS, AC/ACCESSION, DE/DEFINITION) and
/// the lower-case layout fields ("topology", "date", ...) are not included.
Velm::PropertyList headerFor(FlatLayout target, const Velm::Sequence& seq);

/// The entry's feature table in the target's terms: INSDC keys and locations for GenBank and EMBL,
/// Swiss-Prot keys, positions and qualifiers for Swiss-Prot. A feature whose location has no valid
/// form in the target is left out with a warning through `warn`.
std::vector<Velm::Feature> featuresFor(FlatLayout target, const Velm::Sequence& seq,
                                       const WarningSink& warn);

/// True for a location the INSDC feature table grammar allows (GenBank, GenPept and EMBL).
bool validInsdcLocation(const std::string& location);

/// A Swiss-Prot location ("12..40", "?..594", "<1..>30", "?", "P12345-2:5..9") in INSDC terms:
/// an unknown end ('?') becomes a partial end at the known one ("<594..594", "12..>12"), an
/// uncertain position ("?31") its number. False when nothing is known of either end.
bool swissToInsdcLocation(const std::string& location, std::string& out);

/// The date (DD-MON-YYYY) of the entry's last dated header line, from any of the three layouts;
/// "" when there is none.
std::string lastEntryDate(const Velm::Sequence& seq);

} // namespace Ovik

#endif
