#ifndef MODELFACTORY_CONTRACTS_BLAST_H
#define MODELFACTORY_CONTRACTS_BLAST_H

#include <contracts/DataModel.h>
#include <contracts/Export.h>

#include <string>
#include <vector>

namespace Velm {

/// The results of a local similarity search: program, database, the hits and (where kept) the
/// query and subject sequences.
class MF_API BlastModel : public BioModel {
public:
    static const char* const className;
    BlastModel();
    const char* getType() const override { return className; }
    /// True when it holds neither sequences nor hits.
    bool empty() const override;
    /// Drops the sequences and the hits; program and database stay.
    void clear() override;
    void dump(std::ostream& out, int indent) const override;

    const std::string& program() const { return program_; }
    void setProgram(const std::string& program) { program_ = program; }
    const std::string& database() const { return database_; }
    void setDatabase(const std::string& database) { database_ = database; }

    const std::vector<BlastHit>& hits() const { return hits_; }
    void addHit(const BlastHit& hit) { hits_.push_back(hit); }
    void clearHits() { hits_.clear(); }
    /// The hits sorted by e-value (smallest first), ties kept in file order.
    std::vector<BlastHit> bestHits(std::size_t count) const;

private:
    std::string program_;
    std::string database_;
    std::vector<BlastHit> hits_;
};

} // namespace Velm

#endif
