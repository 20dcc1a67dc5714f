#ifndef MODELFACTORY_CONTRACTS_GENETICCODE_H
#define MODELFACTORY_CONTRACTS_GENETICCODE_H

#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Velm {

/// A translation that the rules asked for refuse (unknown table, not a CDS, bad qualifier).
class MF_API TranslationError : public std::runtime_error {
public:
    explicit TranslationError(const std::string& message) : std::runtime_error(message) {}
};

/// One of the NCBI genetic codes ("translation tables"), by its number.
class MF_API GeneticCode {
public:
    /// Throws TranslationError for a number NCBI does not define (7, 8, 17-20 were withdrawn).
    static const GeneticCode& byId(int id);
    /// The numbers defined, in increasing order.
    static std::vector<int> ids();

    int id() const { return id_; }
    const char* name() const { return name_; }

    /// The amino acid of a codon of three letters (DNA or RNA, any case, IUPAC ambiguity codes):
    /// '*' for a stop, 'X' when the ambiguity allows different amino acids, '-' for "---".
    char translateCodon(const char* codon) const;
    /// True when every reading of the codon is an alternative start codon of this code.
    bool isStart(const char* codon) const;
    /// True when every reading of the codon ends translation here. In codes 27, 28 and 31 some
    /// stops also read as an amino acid inside a gene; they still count as stops at the end.
    bool isStop(const char* codon) const;

    /// Codon after codon ('*' for stops, incomplete trailing bases dropped).
    std::string translate(const std::string& residues) const;

    const char* aminoAcids() const { return aas_; }

private:
    GeneticCode(int id, const char* name, const char* aas, const char* starts, const char* stops);
    /// Visits the index (0..63, TCAG order) of every unambiguous reading; false when a letter is no
    /// nucleotide code.
    template <typename F> static bool forEachReading(const char* codon, F f);

    int id_;
    const char* name_;
    const char* aas_;
    const char* starts_;
    const char* stops_;
    friend struct GeneticCodeTables;
};

/// How translate() treats a coding sequence.
struct MF_API TranslationOptions {
    int table = 1;
    /// Apply the CDS rules: the first codon must be a start and reads as M, the last must be a stop and
    /// is dropped, the length must be a multiple of three, internal stops are errors. Partial ends
    /// lift the rule of that end.
    bool cds = false;
    bool partialStart = false; ///< the 5' end is missing: no start codon check, no M
    bool partialEnd = false;   ///< the 3' end is missing: no stop needed, incomplete codon dropped
    /// With cds: report internal stops in `problems` (translated as '*') instead of throwing.
    bool lenient = false;
    /// Without cds: stop at the first stop codon (which is dropped).
    bool toStop = false;
};

struct MF_API Translation {
    std::string protein;
    std::vector<std::string> problems; ///< what lenient mode let pass (internal stops, ...)
};

/// Translates nucleotides under the options; throws TranslationError when a CDS rule fails (and the
/// mode is not lenient).
MF_API Translation translate(const std::string& residues, const TranslationOptions& options);

/// Translates a CDS feature of `entry` as its qualifiers say: /transl_table (else `defaultTable`),
/// /codon_start, partial ends of the location, the CDS rules, and /transl_except where it names a
/// position of this entry. Internal stops are reported in the result's problems (lenient).
MF_API Translation translateFeature(const Feature& feature, const Sequence& entry, int defaultTable = 1);

} // namespace Velm

#endif
