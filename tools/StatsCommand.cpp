// modelfactory stats: one row of summary figures per file (count, lengths, N50, GC, qualities),
// under the column names the field's statistics tools use, so that scripts read either table.
// Entries are looked at one at a time and let go: memory is bounded by the number of distinct
// lengths, whatever the file's size.
#include "Commands.h"
#include "InputFiles.h"
#include "Json.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/SeqArchive.h>
#include <contracts/SeqStatistics.h>
#include <factory/ModelFactory.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mftool {

namespace {

struct FileStats {
    std::string file;
    std::string format;
    Ovik::SeqStatistics figures;
    bool ok = false;
};

// The type column as the field's tools write it; "" for a file without entries.
std::string typeName(const FileStats& stats) {
    if (stats.figures.count() == 0)
        return "";
    switch (stats.figures.moleculeType()) {
    case Velm::Sequence::MoleculeType::DNA: return "DNA";
    case Velm::Sequence::MoleculeType::RNA: return "RNA";
    case Velm::Sequence::MoleculeType::Protein: return "Protein";
    case Velm::Sequence::MoleculeType::Unknown: break;
    }
    return "unknown";
}

void addModels(Velm::ModelIter& iterator, FileStats& stats) {
    while (boost::shared_ptr<Velm::Model> model = iterator.next()) {
        if (stats.format.empty())
            stats.format = model->encoding();
        if (auto* bio = dynamic_cast<const Velm::BioModel*>(model.get()))
            for (const auto& sequence : bio->sequences())
                stats.figures.add(*sequence);
    }
}

// A sequence archive is read as one; anything else (alignments, chromatograms) through the
// factory's iteration, its models' encoding naming the format.
void readFile(const std::string& file, FileStats& stats, ToolContext& ctx) {
    const std::string format = Ovik::SeqArchive::GetFileFormat(file);
    if (!format.empty()) {
        stats.format = format;
        std::unique_ptr<Ovik::ISeqArchive> archive(new Ovik::ISeqArchive(file, format, ""));
        Ovik::SALArchiveModelIter iterator(std::move(archive), file, &ctx);
        addModels(iterator, stats);
        return;
    }
    boost::shared_ptr<Velm::ModelIter> iterator =
        Ovik::GetModelFactory().iterate(file.c_str(), "", &ctx, "");
    if (!iterator)
        throw std::runtime_error(msg::NoModels + file);
    addModels(*iterator, stats);
}

void statFile(const std::string& path, FileStats& stats, ToolContext& ctx) {
    stats.file = path;
    const std::size_t errorsBefore = ctx.errors().size();
    try {
        if (isStandardStream(path)) {
            StandardInput input(ctx);
            const std::string streamed = input.streamFormat("");
            if (!streamed.empty()) {
                stats.format = streamed;
                Ovik::SALArchiveModelIter iterator(input.archive(streamed, &ctx), path, &ctx);
                addModels(iterator, stats);
            } else {
                readFile(input.spool(), stats, ctx);
            }
        } else if (checkReadable(path, ctx)) {
            readFile(path, stats, ctx);
        }
    } catch (const std::exception& e) {
        ctx.error(e.what());
    }
    stats.ok = ctx.errors().size() == errorsBefore;
}

// Rounded half away from zero, as the field's tools round (printf alone would give 38.2 for 38.25).
std::string fixed(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::round(value * scale) / scale);
    return text;
}

std::string unsignedText(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64, value);
    return text;
}

// Thousands separated by commas; a fraction without its trailing zeros (as the field's tools
// print their aligned tables for people).
std::string grouped(const std::string& number) {
    std::size_t point = number.find('.');
    std::string whole = number.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string out;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            out += ',';
        out += whole[i];
    }
    return fraction.empty() ? out : out + "." + fraction;
}

const char* const kBasicColumns[] = {"file",    "format",  "type",    "num_seqs",
                                     "sum_len", "min_len", "avg_len", "max_len"};
const char* const kAllColumns[] = {"Q1",     "Q2",     "Q3",      "sum_gap", "N50",
                                   "Q20(%)", "Q30(%)", "AvgQual", "GC(%)"};

// The row's cells in column order: text cells first, then numbers as machine text.
std::vector<std::string> cells(const FileStats& stats, bool all) {
    const Ovik::SeqStatistics& f = stats.figures;
    std::vector<std::string> row = {printable(stats.file), stats.format, typeName(stats),
                                    unsignedText(f.count()), unsignedText(f.totalLength()),
                                    unsignedText(f.minLength()), fixed(f.meanLength(), 1),
                                    unsignedText(f.maxLength())};
    if (all) {
        for (int q = 1; q <= 3; ++q)
            row.push_back(fixed(f.quartile(q), 1));
        row.push_back(unsignedText(f.gaps()));
        row.push_back(unsignedText(f.n50()));
        row.push_back(fixed(f.q20Percent(), 2));
        row.push_back(fixed(f.q30Percent(), 2));
        row.push_back(fixed(f.meanQuality(), 2));
        row.push_back(fixed(f.gcPercent(), 2));
    }
    return row;
}

std::vector<std::string> header(bool all) {
    std::vector<std::string> names(std::begin(kBasicColumns), std::end(kBasicColumns));
    if (all)
        names.insert(names.end(), std::begin(kAllColumns), std::end(kAllColumns));
    return names;
}

constexpr std::size_t kTextColumns = 3; // file, format, type: left-aligned

void writeTable(std::ostream& out, const std::vector<FileStats>& files, bool all) {
    std::vector<std::vector<std::string>> rows = {header(all)};
    for (const FileStats& stats : files) {
        if (!stats.ok)
            continue;
        std::vector<std::string> row = cells(stats, all);
        for (std::size_t i = kTextColumns; i < row.size(); ++i)
            row[i] = grouped(row[i]);
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - row[i].size(), ' ');
            const bool last = i + 1 == row.size();
            if (i < kTextColumns)
                line += row[i] + (last ? "" : pad);
            else
                line += pad + row[i];
            if (!last)
                line += "  ";
        }
        out << line << '\n';
    }
}

void writeTabular(std::ostream& out, const std::vector<FileStats>& files, bool all) {
    auto writeRow = [&out](const std::vector<std::string>& row) {
        for (std::size_t i = 0; i < row.size(); ++i)
            out << (i ? "\t" : "") << row[i];
        out << '\n';
    };
    writeRow(header(all));
    for (const FileStats& stats : files)
        if (stats.ok)
            writeRow(cells(stats, all));
}

void writeJson(std::ostream& out, const std::vector<FileStats>& files, bool all, bool ok,
               const ToolContext& ctx) {
    JsonWriter json(out);
    json.beginObject();
    json.field("command", "stats");
    json.field("ok", ok);
    json.key("files").beginArray();
    for (const FileStats& stats : files) {
        const Ovik::SeqStatistics& f = stats.figures;
        json.beginObject();
        json.field("file", stats.file);
        json.field("ok", stats.ok);
        if (stats.ok) {
            json.field("format", stats.format);
            json.field("type", typeName(stats));
            json.field("num_seqs", f.count());
            json.field("sum_len", f.totalLength());
            json.field("min_len", f.minLength());
            json.field("avg_len", f.meanLength());
            json.field("max_len", f.maxLength());
            if (all) {
                json.field("Q1", f.quartile(1));
                json.field("Q2", f.quartile(2));
                json.field("Q3", f.quartile(3));
                json.field("sum_gap", f.gaps());
                json.field("N50", f.n50());
                json.field("Q20(%)", f.q20Percent());
                json.field("Q30(%)", f.q30Percent());
                json.field("AvgQual", f.meanQuality());
                json.field("GC(%)", f.gcPercent());
            }
        }
        json.endObject();
    }
    json.endArray();
    ctx.writeJson(json);
    json.endObject();
    json.finish();
}

int runStats(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const bool all = args.flag("all");
    if (args.flag("json") && args.flag("tabular"))
        throw UsageError(msg::TabularWithJson);
    std::size_t stdinCount = 0;
    for (const std::string& path : args.positional())
        stdinCount += isStandardStream(path);
    if (stdinCount > 1)
        throw UsageError(msg::StandardInputTwice);

    std::vector<FileStats> files(args.positional().size());
    bool ok = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        statFile(args.positional()[i], files[i], ctx);
        ok = ok && files[i].ok;
    }
    if (args.flag("json"))
        writeJson(out, files, all, ok, ctx);
    else if (args.flag("tabular"))
        writeTabular(out, files, all);
    else
        writeTable(out, files, all);
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kStatsCommand = {
    {"stats", "PATH...", "Summary figures of each file: entries, lengths, N50, GC, qualities.",
     "Prints one row per file: file, format, type, num_seqs, sum_len, min_len, avg_len,\n"
     "max_len; with --all also Q1, Q2, Q3 (quartiles of the lengths), sum_gap (residues '-',\n"
     "'.' or ' '), N50, Q20(%) and Q30(%) (residues of at least that Phred quality per hundred),\n"
     "AvgQual (the Phred value of the residues' mean error probability) and GC(%). Any readable\n"
     "file, compressed or not; PATH - reads standard input. Entries are read one at a time, so\n"
     "memory does not grow with the file. A file that cannot be read is reported and left out of\n"
     "the table; the exit status is then 1.\n",
     {{"all", nullptr, "also the quartiles, gaps, N50, qualities and GC content"},
      {"tabular", nullptr, "tab-separated columns, for scripts"}},
     1,
     SIZE_MAX},
    &runStats};

} // namespace mftool
