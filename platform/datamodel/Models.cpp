#include <contracts/DataModel.h>

namespace Velm {

// Class names are what detection answers and what open() dispatches on: stable, distinct texts.
const char* const AlignModel::className = "AlignModel";
const char* const AssemblyModel::className = "AssemblyModel";
const char* const SeqModel::className = "SeqModel";
const char* const TraceModel::className = "TraceModel";
const char* const DotPlotModel::className = "DotPlotModel";
const char* const PrimerModel::className = "PrimerModel";
const char* const XBlastModel::className = "XBlastModel";
const char* const NCBIBlastModel::className = "NCBIBlastModel";
const char* const WPBlastModel::className = "WPBlastModel";
const char* const WPFastAModel::className = "WPFastAModel";
const char* const CFProjModel::className = "CFProjModel";
const char* const DBQueryModel::className = "DBQueryModel";
const char* const WPLookupModel::className = "WPLookupModel";
const char* const NCBIEntrezModel::className = "NCBIEntrezModel";

AlignModel::AlignModel() = default;

void AlignModel::addSeq(const boost::shared_ptr<Sequence>& sequence) {
    if (!sequence)
        return;
    BioModel::addSeq(sequence);
    alignment.addRow(sequence);
}

void AlignModel::clear() {
    BioModel::clear();
    alignment.clear();
}

AssemblyModel::AssemblyModel() = default;
SeqModel::SeqModel() = default;
TraceModel::TraceModel() = default;

DotPlotModel::DotPlotModel() = default;
bool DotPlotModel::empty() const { return BioModel::empty() && properties().empty(); }

PrimerModel::PrimerModel() = default;
bool PrimerModel::empty() const { return BioModel::empty() && properties().empty(); }

bool HitSegment::operator==(const HitSegment& other) const {
    return queryStart == other.queryStart && queryEnd == other.queryEnd &&
           subjectStart == other.subjectStart && subjectEnd == other.subjectEnd &&
           queryText == other.queryText && subjectText == other.subjectText &&
           midline == other.midline;
}

bool BlastHit::operator==(const BlastHit& other) const {
    return query == other.query && subject == other.subject && description == other.description &&
           score == other.score && evalue == other.evalue && identities == other.identities &&
           alignLength == other.alignLength && segments == other.segments;
}

XBlastModel::XBlastModel() = default;
bool XBlastModel::empty() const { return BioModel::empty() && hits_.empty(); }

NCBIBlastModel::NCBIBlastModel() = default;
WPBlastModel::WPBlastModel() = default;
WPFastAModel::WPFastAModel() = default;

CFProjModel::CFProjModel() = default;
bool CFProjModel::empty() const { return files_.empty() && properties().empty(); }
unsigned CFProjModel::calcSize() const {
    return static_cast<unsigned>(files_.size() + properties().size());
}

DBQueryModel::DBQueryModel() = default;
bool DBQueryModel::empty() const {
    return query_.empty() && results_.empty() && properties().empty();
}
unsigned DBQueryModel::calcSize() const { return static_cast<unsigned>(results_.size()); }

WPLookupModel::WPLookupModel() = default;
NCBIEntrezModel::NCBIEntrezModel() = default;

} // namespace Velm
