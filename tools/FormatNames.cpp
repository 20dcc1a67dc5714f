#include "FormatNames.h"

#include "EditDistance.h"

#include "Messages.h"
#include "StandardStreams.h"

#include <contracts/AlignFormats.h>
#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <contracts/XmlSource.h>
#include <factory/ModelFactory.h>
#include <trace/TraceFile.h>

#include <algorithm>
#include <memory>

namespace mftool {

namespace {

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && cmn::compareNoCase(a.c_str(), b.c_str(), static_cast<unsigned>(a.size())) == 0;
}

// The kinds of source the tool registers (the factory's five and its extension sources). The
// registry lists each source's own format names but not the aliases a source also accepts
// (CLUSTALW for CLUSTAL, fq for FASTQ), nor which source claims a file: sources keep no state,
// so the tool asks objects of its own.
const std::vector<std::shared_ptr<Velm::ModelSource>>& sourceKinds() {
    static const std::vector<std::shared_ptr<Velm::ModelSource>> kinds = {
        std::make_shared<Velm::XMLModelSource>(), std::make_shared<Ovik::MMSAModelSource>(),
        std::make_shared<Ovik::PHYModelSource>(), std::make_shared<Ovik::NexusModelSource>(),
        std::make_shared<Ovik::MSFModelSource>(), std::make_shared<Ovik::FastqModelSource>()};
    return kinds;
}

// The listed name `name` stands for (its spelling in the factory's list), or "".
std::string listedName(const std::string& name) {
    for (const std::string& known : knownFormatNames())
        if (equalNoCase(known, name))
            return known;
    return std::string();
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

std::vector<std::string> knownFormatNames() {
    std::vector<std::string> names;
    for (const auto& format : Ovik::GetModelFactory().getSupportedFormats())
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& known) { return equalNoCase(known, format.first); }))
            names.push_back(format.first);
    return names;
}

bool isKnownFormat(const std::string& name) {
    if (name.empty())
        return false;
    if (!listedName(name).empty() || Ovik::SALSource::supports(name.c_str()))
        return true;
    // A source may take more names in front of a path (FORMAT@@FILE) than it lists.
    const std::string qualified = name + "@@";
    for (const auto& source : sourceKinds())
        if (source->supports(name.c_str()) || source->handles(qualified.c_str()))
            return true;
    // The chromatogram reader takes a name that begins with one of its formats' (ZTR1 ... ZTR3
    // included); only whole names count here.
    for (const auto& format : Ovik::TraceFile::getSupportedFormats())
        if (equalNoCase(format.first, name))
            return true;
    return false;
}

std::string closestFormatName(const std::string& name) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const std::string& known : knownFormatNames()) {
        const std::size_t distance = editDistance(name, known);
        if (best.empty() || distance < bestDistance) {
            best = known;
            bestDistance = distance;
        }
    }
    // One slip in a short name, two in a longer one; beyond that the names merely share letters.
    const std::size_t allowed = std::min<std::size_t>(2, std::max<std::size_t>(1, name.size() / 3));
    return !best.empty() && bestDistance <= allowed ? best : std::string();
}

void requireKnownFormat(const std::string& name, const std::string& where) {
    if (name.empty() || isKnownFormat(name))
        return;
    std::string text = msg::UnknownFormat + name + "' (" + where + ")";
    const std::string close = closestFormatName(name);
    text += close.empty() ? std::string(".") : msg::DidYouMean + close + "'?";
    text += msg::KnownFormats + joined(knownFormatNames());
    throw UsageError(text);
}

const char* const kFormatOptions[3] = {"format", "from", "to"};

void requireKnownFormats(const Arguments& args) {
    for (const char* option : kFormatOptions)
        if (args.has(option))
            requireKnownFormat(args.get(option), std::string("--") + option);
    for (const std::string& path : args.positional()) {
        const cmn::QualifiedPath split(path);
        if (split.qualified && !isStandardStream(path))
            requireKnownFormat(split.format, "in " + path);
    }
}

std::string formatOfExtensionRow(const char* ext, const char* archiveFormat, bool holdsData,
                                 const std::string& emptyFolder) {
    if (archiveFormat)
        return archiveFormat;
    if (!holdsData)
        return std::string();
    if (const char* archive = Ovik::SALSource::canonicalName(ext))
        return archive;
    for (const auto& format : Ovik::TraceFile::getSupportedFormats())
        if (equalNoCase(format.first, ext))
            return format.first;
    // A source judges a file that is not there by its name alone: one in a new, empty folder.
    TempFolder own;
    const std::string name = std::string("x.") + ext;
    const std::string file = emptyFolder.empty() ? own.file(name) : emptyFolder + "/" + name;
    for (const auto& source : sourceKinds())
        if (source->handles(file.c_str()) && !source->getSupportedFormats().empty())
            return source->getSupportedFormats().front().first;
    return std::string();
}

std::string detectedFormat(const std::string& path, const std::string& modelClass,
                           const std::string& format) {
    const cmn::QualifiedPath split(path);
    const std::string named = !format.empty() ? format : split.format;
    if (!named.empty()) {
        const std::string listed = listedName(named);
        if (!listed.empty())
            return listed;
        if (const char* archive = Ovik::SALSource::canonicalName(named.c_str()))
            return archive;
        const std::string qualified = named + "@@";
        for (const auto& source : sourceKinds())
            if ((source->supports(named.c_str()) || source->handles(qualified.c_str())) &&
                !source->getSupportedFormats().empty())
                return source->getSupportedFormats().front().first;
        return named;
    }
    if (modelClass.empty())
        return std::string();
    const std::string& file = split.file;
    if (modelClass == Velm::TraceModel::className) {
        const int code = Ovik::TraceFile::getFormat(file.c_str());
        const Velm::FormatList traces = Ovik::TraceFile::getSupportedFormats();
        return code >= 1 && static_cast<std::size_t>(code) <= traces.size() ? traces[code - 1].first
                                                                               : std::string();
    }
    // A source that claims the file by its content or name has the first word, as in detection.
    for (const auto& source : sourceKinds())
        if (source->handles(file.c_str()) && *source->getType(file.c_str()) &&
            !source->getSupportedFormats().empty())
            return source->getSupportedFormats().front().first;
    return Ovik::SeqArchive::GetFileFormat(file);
}

} // namespace mftool
