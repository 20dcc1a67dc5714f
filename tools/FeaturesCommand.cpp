// modelfactory features: the sequence of every feature of an annotated file (or its protein), one
// entry per feature.
//
// Entries are taken one at a time from the factory's iterator and their features written as they
// come, so memory stays flat whatever the input's size. A feature that cannot be extracted (a part
// in another entry, an uncertain base, a CDS that breaks the coding rules) is reported and skipped;
// the others are still written, and the command then fails (exit 1) so that no loss goes unseen.
#include "Commands.h"
#include "InputFiles.h"
#include "LineWidth.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/FeatureLocation.h>
#include <contracts/GeneticCode.h>
#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace mftool {

namespace {

constexpr const char* kNoFeatures = "no features to write in ";
constexpr const char* kBadTable = "--table takes the number of an NCBI genetic code, not '";
constexpr const char* kNotWritable = "not a sequence format that can be written: '";
constexpr const char* kJsonWithTo = "--json writes the features as JSON: it cannot be used with --to";

/// Which features are wanted: keys compared ignoring case ("cds" finds CDS); empty takes all.
class KeyFilter {
public:
    explicit KeyFilter(const std::string& list) {
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            std::string key = list.substr(start, comma - start);
            while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.pop_back();
            std::size_t lead = 0;
            while (lead < key.size() && std::isspace(static_cast<unsigned char>(key[lead]))) ++lead;
            key.erase(0, lead);
            if (!key.empty()) keys_.push_back(upper(key));
            start = comma + 1;
        }
    }
    bool empty() const { return keys_.empty(); }
    bool accepts(const std::string& key) const {
        if (keys_.empty()) return true;
        const std::string wanted = upper(key);
        for (const std::string& k : keys_)
            if (k == wanted) return true;
        return false;
    }
    std::string text() const {
        std::string out;
        for (const std::string& k : keys_) out += (out.empty() ? "" : ",") + k;
        return out;
    }

private:
    static std::string upper(std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    std::vector<std::string> keys_;
};

struct Options {
    KeyFilter keys{std::string()};
    bool translate = false;
    int table = 1;
    std::string format; ///< the archive format written (a SALSource constant); "" with --json
    std::size_t lineWidth = kDefaultLineWidth;
};

struct Counts {
    std::size_t entries = 0;
    std::size_t features = 0; ///< of the keys asked for
    std::size_t written = 0;
    std::size_t skipped = 0;
};

/// Where the feature entries go: an archive on standard output, opened at the first one, or a
/// JSON array.
class FeatureOutput {
public:
    FeatureOutput(const Options& options, ToolContext& ctx, JsonWriter* json)
        : options_(options), ctx_(ctx), json_(json) {}

    void write(Velm::Sequence& sequence, const Velm::Feature& feature, const Velm::Sequence& entry) {
        if (json_) {
            writeJson(sequence, feature, entry);
            return;
        }
        if (!archive_) {
            std::string format = options_.format;
            if (format == Ovik::SALSource::GB && sequence.isProtein()) format = Ovik::SALSource::GENPEPT;
            archive_.reset(new Ovik::OSeqArchive(STDOUT_FILENO, "-", format));
            archive_->setContext(&ctx_);
            archive_->setLineWidth(options_.lineWidth);
        }
        Ovik::saveSequence(sequence, *archive_);
    }

    void close() {
        if (archive_) archive_->close();
    }

private:
    void writeJson(const Velm::Sequence& sequence, const Velm::Feature& feature, const Velm::Sequence& entry) {
        const Velm::FeatureLocation location = Velm::FeatureLocation::parse(feature.location);
        JsonWriter& json = *json_;
        json.beginObject();
        json.field("name", sequence.name());
        json.field("entry", entry.name());
        json.field("key", feature.key);
        json.field("location", location.text());
        json.field("strand", Velm::FeatureLocation::strandName(location.strand()));
        json.field("partialStart", location.partialStart());
        json.field("partialEnd", location.partialEnd());
        json.field("length", sequence.length());
        json.field("molecule", Velm::Sequence::moleculeTypeName(sequence.moleculeType()));
        json.field("residues", sequence.residues());
        json.key("qualifiers").beginArray();
        for (const auto& q : feature.qualifiers) {
            json.beginObject();
            json.field("name", q.first);
            json.field("value", q.second);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }

    const Options& options_;
    ToolContext& ctx_;
    JsonWriter* json_;
    std::unique_ptr<Ovik::OSeqArchive> archive_;
};

/// The entry a feature becomes: its residues (or protein), named and described. Throws
/// Velm::LocationError or Velm::TranslationError when it has none to give.
boost::shared_ptr<Velm::Sequence> featureEntry(const Velm::Feature& feature, const Velm::Sequence& entry,
                                               const Options& options, ToolContext& ctx) {
    if (!options.translate) return Velm::featureEntry(feature, entry);
    const std::string name = Velm::featureName(feature, entry);
    Velm::Translation t = Velm::translateFeature(feature, entry, options.table);
    for (const std::string& problem : t.problems)
        ctx.warning(name + " (" + feature.key + " " + entry.name() + ":" + feature.location + "): " + problem);
    boost::shared_ptr<Velm::Sequence> out(
        new Velm::Sequence(name, std::move(t.protein), Velm::Sequence::MoleculeType::Protein));
    out->setDescription(Velm::featureDescription(feature, entry));
    return out;
}

void writeEntry(const Velm::Sequence& entry, const Options& options, FeatureOutput& output, Counts& counts,
                ToolContext& ctx) {
    for (const Velm::Feature& feature : entry.features()) {
        if (!options.keys.accepts(feature.key)) continue;
        ++counts.features;
        boost::shared_ptr<Velm::Sequence> sequence;
        try {
            sequence = featureEntry(feature, entry, options, ctx);
        } catch (const Velm::LocationError& e) {
            ctx.error(entry.name() + " " + feature.key + ": " + e.what()); // the message names the location
        } catch (const Velm::TranslationError& e) {
            ctx.error(entry.name() + " " + feature.key + " " + feature.location + ": " + e.what());
        }
        if (!sequence) {
            ++counts.skipped;
            continue;
        }
        output.write(*sequence, feature, entry);
        ++counts.written;
    }
}

int tableOf(const Arguments& args) {
    if (!args.has("table")) return 1;
    const std::string text = args.get("table");
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 99) throw UsageError(kBadTable + text + "'");
    try {
        Velm::GeneticCode::byId(static_cast<int>(value));
    } catch (const Velm::TranslationError&) {
        throw UsageError(kBadTable + text + "'");
    }
    return static_cast<int>(value);
}

int runFeatures(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string path = args.positional().front();
    const std::string from = args.get("from");
    const bool json = args.flag("json");
    Options options;
    options.keys = KeyFilter(args.get("type"));
    options.translate = args.flag("translate");
    options.table = tableOf(args);
    options.lineWidth = lineWidthOf(args);
    // Only coding sequences have a protein: --translate alone takes the CDS features.
    if (options.translate && options.keys.empty()) options.keys = KeyFilter("CDS");
    if (json && args.has("to")) throw UsageError(kJsonWithTo);
    if (!json) {
        const std::string to = args.get("to", "fasta");
        const char* format = Ovik::SALSource::canonicalName(to.c_str());
        if (!format || !Ovik::SALSource::isWritable(format)) throw UsageError(kNotWritable + to + "'");
        options.format = format;
    }

    JsonWriter writer(out);
    if (json) {
        writer.beginObject();
        writer.field("command", "features");
        writer.field("path", path);
        if (!options.keys.empty()) writer.field("types", options.keys.text());
        writer.field("translate", options.translate);
        writer.key("features").beginArray();
    }
    Counts counts;
    bool opened = false;
    FeatureOutput output(options, ctx, json ? &writer : nullptr);
    std::unique_ptr<StandardInput> input;
    try {
        boost::shared_ptr<Velm::ModelIter> iterator;
        if (!checkReadable(path, ctx)) {
            // Reported by the check.
        } else if (isStandardStream(path)) {
            // A sequence archive is read as it arrives; anything else through a file.
            input.reset(new StandardInput(ctx));
            const std::string streamed = input->streamFormat(from);
            if (!streamed.empty())
                iterator.reset(new Ovik::SALArchiveModelIter(input->archive(streamed, &ctx), path, &ctx));
            else
                iterator = Ovik::GetModelFactory().iterate(input->spool(from).c_str(), "", &ctx, from);
        } else {
            const std::string qualified =
                from.empty() || cmn::QualifiedPath(path).qualified ? path : from + "@@" + path;
            iterator = Ovik::GetModelFactory().iterate(qualified.c_str(), "", &ctx, from);
        }
        opened = static_cast<bool>(iterator);
        while (iterator) {
            boost::shared_ptr<Velm::Model> model = iterator->next();
            if (!model) break;
            auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
            if (!bio) continue;
            for (const auto& sequence : bio->sequences()) {
                ++counts.entries;
                writeEntry(*sequence, options, output, counts, ctx);
            }
        }
        output.close();
    } catch (const std::exception& e) {
        // Reported here rather than by the caller so that the JSON document is still closed.
        ctx.error(e.what());
    }
    if (!opened && !ctx.hasErrors()) ctx.error(msg::NoModels + path);
    if (opened && counts.features == 0)
        ctx.warning(kNoFeatures + path + (options.keys.empty() ? std::string() : " of type " + options.keys.text()));
    const bool ok = opened && !ctx.hasErrors();

    if (json) {
        writer.endArray();
        writer.field("entries", counts.entries);
        writer.field("count", counts.written);
        writer.field("skipped", counts.skipped);
        writer.field("ok", ok);
        ctx.writeJson(writer);
        writer.endObject();
        writer.finish();
    }
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kFeaturesCommand = {
    {"features", "PATH", "Write the sequence (or protein) of every feature, one entry each.",
     "Reads the entries of an annotated file (GenBank, EMBL, GenPept, ...) one at a time and\n"
     "writes, to standard output, one entry per feature: its residues taken from the entry, parts\n"
     "in order and the complementary strand reverse complemented. An entry is named by the\n"
     "feature's /locus_tag, /gene or /protein_id, else by the entry's name and the location\n"
     "(NAME:LOCATION); its description holds the key, where the feature lies and every qualifier.\n"
     "--translate writes the protein of each CDS instead, by its /transl_table (else --table),\n"
     "/codon_start and partial ends; internal stop codons are warned of and kept as '*'.\n"
     "A feature that cannot be extracted (a part in another entry, an uncertain base, a CDS that\n"
     "breaks the coding rules) is reported and skipped; the rest are written and the command\n"
     "then fails (exit 1). With --json the features come as JSON, qualifiers and strand included.\n"
     "PATH - reads standard input.\n",
     {{"type", "KEYS", "only features with these keys, comma-separated (CDS,gene,...; any case)"},
      {"translate", nullptr, "write the protein of each CDS (takes --type CDS unless --type is given)"},
      {"table", "N", "NCBI genetic code for a CDS without /transl_table (default 1)"},
      {"from", "NAME", "read PATH in this format"},
      {"to", "NAME", "write the entries in this format (default FASTA)"},
      kLineWidthOption},
     1,
     1},
    &runFeatures};

} // namespace mftool
