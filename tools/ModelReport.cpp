#include "ModelReport.h"

#include "Json.h"
#include "Printable.h"

#include <contracts/SeqArchive.h>
#include <contracts/Sequence.h>
#include <factory/ModelFactory.h>

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <vector>

namespace mftool {

namespace {

// Through the const overload: the other makes the block of rarely used fields for every sequence
// it is asked of (a hundred bytes a read for a report).
const std::vector<Velm::Feature>& featuresOf(const Velm::Sequence& sequence) { return sequence.features(); }

const char* moleculeOf(const Velm::Sequence& sequence) {
    return Velm::Sequence::moleculeTypeName(sequence.moleculeType());
}

// A master or contig record shows the length its header declares.
std::size_t shownLength(const Velm::Sequence& sequence) {
    return sequence.residuesAbsent() ? sequence.declaredLength() : sequence.length();
}

const Velm::BioModel* asBio(const Velm::Model& model) {
    return dynamic_cast<const Velm::BioModel*>(&model);
}

void printResidues(std::ostream& out, const std::string& residues) {
    for (std::size_t i = 0; i < residues.size(); i += 60)
        out << "    " << printable(residues.substr(i, 60)) << '\n';
}

// Models without sequences describe themselves.
std::string dumpText(const Velm::Model& model) {
    std::ostringstream text;
    model.dump(text, 2);
    return text.str();
}

} // namespace

std::string residuePreview(const std::string& residues, std::size_t length) {
    if (residues.size() <= length)
        return residues;
    return residues.substr(0, length) + "...";
}

void printModel(std::ostream& out, const Velm::Model& model, bool allResidues) {
    out << "class      " << model.getType() << '\n';
    out << "url        " << printable(model.url()) << '\n';
    out << "encoding   " << (model.encoding().empty() ? "-" : printable(model.encoding())) << '\n';
    if (!model.title().empty())
        out << "title      " << printable(model.title()) << '\n';

    const Velm::BioModel* bio = asBio(model);
    if (!bio) {
        out << '\n' << printable(dumpText(model), true);
        return;
    }
    if (auto* blast = dynamic_cast<const Velm::XBlastModel*>(&model))
        out << "hits       " << blast->hits().size() << '\n';
    if (auto* align = dynamic_cast<const Velm::AlignModel*>(&model))
        out << "columns    " << align->alignment.length() << '\n';

    const auto& sequences = bio->sequences();
    out << "sequences  " << sequences.size() << '\n';
    if (sequences.empty())
        return;

    // Column widths from the content, so names of any length line up. Names are shown escaped,
    // each made again where it is printed: a model of millions of reads gets no second name each.
    std::size_t indexWidth = std::to_string(sequences.size()).size();
    std::size_t nameWidth = 4, lengthWidth = 6, featureWidth = 8;
    for (const auto& sequence : sequences) {
        nameWidth = std::max(nameWidth, printable(sequence->name()).size());
        lengthWidth = std::max(lengthWidth, std::to_string(shownLength(*sequence)).size());
        featureWidth = std::max(featureWidth, std::to_string(featuresOf(*sequence).size()).size());
    }
    nameWidth = std::min<std::size_t>(nameWidth, 40);
    out << '\n'
        << "  " << std::setw(static_cast<int>(indexWidth)) << "#" << "  " << std::left
        << std::setw(static_cast<int>(nameWidth)) << "name" << "  " << std::right
        << std::setw(static_cast<int>(lengthWidth)) << "length" << "  "
        << std::setw(static_cast<int>(featureWidth)) << "features" << "  " << std::left
        << std::setw(8) << "molecule" << (allResidues ? "" : "  residues") << std::right << '\n';
    std::size_t index = 0;
    for (const auto& sequence : sequences) {
        out << "  " << std::setw(static_cast<int>(indexWidth)) << index + 1 << "  " << std::left
            << std::setw(static_cast<int>(nameWidth)) << printable(sequence->name()) << "  " << std::right
            << std::setw(static_cast<int>(lengthWidth)) << shownLength(*sequence) << "  "
            << std::setw(static_cast<int>(featureWidth)) << featuresOf(*sequence).size() << "  ";
        if (allResidues)
            out << moleculeOf(*sequence) << '\n';
        else
            out << std::left << std::setw(8) << moleculeOf(*sequence) << std::right << "  "
                << (sequence->residuesAbsent() ? std::string("(absent: a master or contig record)")
                                               : printable(residuePreview(sequence->residues())))
                << '\n';
        ++index;
    }
    if (!allResidues)
        return;
    index = 0;
    for (const auto& sequence : sequences) {
        out << "\n  " << index + 1 << ' ' << printable(sequence->name()) << " (" << sequence->length() << ")\n";
        ++index;
        printResidues(out, sequence->residues());
    }
}

void writeModelJson(JsonWriter& json, const Velm::Model& model, bool allResidues) {
    json.field("class", model.getType());
    json.field("url", model.url());
    json.field("encoding", model.encoding());
    json.field("title", model.title());

    const Velm::BioModel* bio = asBio(model);
    if (!bio) {
        if (auto* project = dynamic_cast<const Velm::CFProjModel*>(&model)) {
            json.key("files").beginArray();
            for (const auto& file : project->files())
                json.value(file);
            json.endArray();
        }
        if (auto* query = dynamic_cast<const Velm::DBQueryModel*>(&model)) {
            json.field("query", query->query());
            json.field("database", query->database());
            json.key("results").beginArray();
            for (const auto& id : query->results())
                json.value(id);
            json.endArray();
        }
        json.field("summary", dumpText(model));
        return;
    }
    if (auto* blast = dynamic_cast<const Velm::XBlastModel*>(&model))
        json.field("hits", blast->hits().size());
    if (auto* align = dynamic_cast<const Velm::AlignModel*>(&model))
        json.field("columns", align->alignment.length());

    const auto& sequences = bio->sequences();
    json.field("sequenceCount", sequences.size());
    json.key("sequences").beginArray();
    for (const auto& sequence : sequences) {
        json.beginObject();
        json.field("name", sequence->name());
        json.field("accession", sequence->accession());
        json.field("description", sequence->description());
        // A master or contig record: its declared length, and no residues (absent, not empty).
        const bool absent = sequence->residuesAbsent();
        json.field("length", shownLength(*sequence));
        json.field("molecule", moleculeOf(*sequence));
        json.field("featureCount", featuresOf(*sequence).size());
        json.key("features").beginArray();
        for (const Velm::Feature& feature : featuresOf(*sequence)) {
            json.beginObject();
            json.field("key", feature.key);
            json.field("location", feature.location);
            // Qualifiers in file order; a name may come more than once (/db_xref, /note).
            json.key("qualifiers").beginArray();
            for (const auto& qualifier : feature.qualifiers) {
                json.beginObject();
                json.field("name", qualifier.first);
                json.field("value", qualifier.second);
                json.endObject();
            }
            json.endArray();
            json.endObject();
        }
        json.endArray();
        const bool whole = allResidues || sequence->length() <= kPreviewLength;
        json.field("residues", whole ? sequence->residues()
                                     : sequence->residues().substr(0, kPreviewLength));
        json.field("residuesComplete", whole && !absent);
        if (absent)
            json.field("residuesAbsent", true);
        // Per-base qualities (FASTQ reads, chromatogram calls) go with the whole residues only.
        const auto* na = whole ? dynamic_cast<const Velm::NASequence*>(sequence.get()) : nullptr;
        if (na && na->hasConfidences()) { // none of them, for a zero-length read
            json.key("qualities").beginArray();
            for (unsigned char quality : na->confidences())
                json.value(static_cast<unsigned>(quality));
            json.endArray();
        }
        json.endObject();
    }
    json.endArray();
}

std::string detectedClass(const std::string& path, const std::string& format, cmn::OpContext* ctx) {
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    if (!format.empty())
        return factory.getType(path.c_str(), format.c_str(), ctx);
    std::string detected = factory.getType(path.c_str());
    if (detected.empty()) {
        // Detection by path does not read FORMAT@@FILE; the format it names directs detection of
        // the file instead. The factory itself is then given the qualified path.
        std::string named;
        const std::string file = Ovik::SALArchiveModelIter::splitQualifiedPath(path, named);
        if (!named.empty())
            detected = factory.getType(file.c_str(), named.c_str(), ctx);
    }
    return detected;
}

std::string modelClassFor(const std::string& path, const std::string& type,
                          const std::string& format, cmn::OpContext* ctx, bool* chromatogram) {
    if (chromatogram)
        *chromatogram = false;
    if (!type.empty())
        return type;
    std::string detected = detectedClass(path, format, ctx);
    if (detected == Velm::TraceModel::className) {
        detected = Velm::SeqModel::className;
        if (chromatogram)
            *chromatogram = true;
    }
    return detected;
}

boost::shared_ptr<Velm::Model> openModel(const std::string& path, const std::string& type,
                                         const std::string& format, cmn::OpContext* ctx) {
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    if (format.empty())
        return factory.open(path.c_str(), type.c_str(), ctx);
    return factory.open(path.c_str(), type.c_str(), format.c_str(), ctx);
}

} // namespace mftool
