// modelfactory get: entries by name, and regions of them (NAME:START-END, 1-based and inclusive),
// in request order. A FASTA or FASTQ file with an index (FILE.fai) is read by seeking; without
// one an index is built in memory first (the tool says so). What cannot be indexed (plain gzip,
// standard input, GenBank, EMBL and the other archive formats) is read front to back, and there
// a name also matches an entry's accession.
#include "Commands.h"
#include "Json.h"
#include "LineWidth.h"
#include "Messages.h"
#include "Printable.h"
#include "StandardStreams.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <contracts/SeqIndex.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace mftool {

namespace {

struct Request {
    std::string text;   // as given: the name of a region's output entry
    std::string name;
    bool region = false;
    std::uint64_t begin = 0; // 0-based
    std::uint64_t end = 0;   // exclusive; UINT64_MAX for "to the end"
    bool matched = false; // an entry of that name exists
    std::vector<boost::shared_ptr<Velm::Sequence>> found;
};

// "1,000" as 1000; false unless the text is digits (and commas) only.
bool parsePosition(const std::string& text, std::uint64_t& value) {
    value = 0;
    bool digits = false;
    for (char c : text) {
        if (c == ',')
            continue;
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        digits = true;
    }
    return digits;
}

// NAME, NAME:START, NAME:START- or NAME:START-END. A text that is itself a known name is that
// name, colons and all (`known` null: no names are known ahead).
Request parseRequest(const std::string& text, const Ovik::SeqIndex* known) {
    Request request;
    request.text = text;
    request.name = text;
    if (known && known->find(text))
        return request;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return request;
    const std::string range = text.substr(colon + 1);
    const std::size_t dash = range.find('-');
    std::uint64_t start = 0, end = UINT64_MAX;
    const bool startOk = parsePosition(range.substr(0, dash), start);
    const bool endOk = dash == std::string::npos || dash + 1 == range.size() ||
                       parsePosition(range.substr(dash + 1), end);
    if (!startOk || !endOk)
        return request; // not a range: the whole text is the name
    if (start == 0)
        throw UsageError(msg::RegionStartsAtOne + text + "'");
    if (end != UINT64_MAX && end < start)
        throw UsageError(msg::RegionEndsBeforeStart + text + "'");
    request.name = text.substr(0, colon);
    request.region = true;
    request.begin = start - 1;
    request.end = end;
    return request;
}

// The region's piece of a whole entry read by scanning, qualities included.
boost::shared_ptr<Velm::Sequence> piece(const Velm::Sequence& whole, const Request& request) {
    const std::uint64_t length = whole.length();
    const std::uint64_t end = std::min(request.end, length);
    const std::uint64_t begin = std::min(request.begin, end);
    auto* nucleotide = dynamic_cast<const Velm::NASequence*>(&whole);
    boost::shared_ptr<Velm::Sequence> out;
    if (nucleotide) {
        auto na = boost::make_shared<Velm::NASequence>();
        const auto& confidences = nucleotide->confidences();
        if (!confidences.empty())
            na->confidences().assign(confidences.begin() + static_cast<std::ptrdiff_t>(begin),
                                     confidences.begin() + static_cast<std::ptrdiff_t>(end));
        out = na;
    } else {
        out = boost::make_shared<Velm::Sequence>();
    }
    out->setMoleculeType(whole.moleculeType());
    out->setName(request.text);
    out->setResidues(whole.residues().substr(static_cast<std::size_t>(begin),
                                             static_cast<std::size_t>(end - begin)));
    return out;
}

void warnIfClipped(const Request& request, std::uint64_t length, ToolContext& ctx) {
    if (!request.region)
        return;
    if (request.begin >= length)
        ctx.warning(msg::RegionPastEnd + request.text + "' (" + request.name + " has " +
                    std::to_string(length) + " residues): nothing written for it");
    else if (request.end != UINT64_MAX && request.end > length)
        ctx.warning(msg::RegionClipped + request.text + "' to " + request.name + ":" +
                    std::to_string(request.begin + 1) + "-" + std::to_string(length));
}

// Through the index: one seek per request.
void fetchIndexed(const Ovik::IndexedSeqArchive& archive, std::vector<Request>& requests,
                  bool qualities, ToolContext& ctx) {
    const bool fastq = archive.index().fastq();
    // An entry's molecule type, judged once from the first region asked of it.
    std::map<std::string, Velm::Sequence::MoleculeType> types;
    for (Request& request : requests) {
        const Ovik::SeqIndexEntry* entry = archive.index().find(request.name);
        if (!entry)
            continue;
        request.matched = true;
        if (!request.region) {
            request.found.push_back(archive.sequence(request.name));
            continue;
        }
        warnIfClipped(request, entry->length, ctx);
        if (request.begin >= entry->length)
            continue;
        std::string residues = archive.fetch(request.name, request.begin, request.end);
        auto known = types.find(request.name);
        if (known == types.end())
            known = types.emplace(request.name, Velm::Sequence::guessMoleculeType(residues)).first;
        const Velm::Sequence::MoleculeType type = known->second;
        boost::shared_ptr<Velm::Sequence> seq;
        if (type == Velm::Sequence::MoleculeType::Protein) {
            seq = boost::make_shared<Velm::Sequence>();
        } else {
            auto na = boost::make_shared<Velm::NASequence>();
            if (fastq && qualities)
                for (char q : archive.fetchQualities(request.name, request.begin, request.end))
                    na->confidences().push_back(static_cast<unsigned char>(q - 33));
            seq = na;
        }
        seq->setMoleculeType(type);
        seq->setName(request.text);
        seq->setResidues(std::move(residues));
        request.found.push_back(seq);
    }
}

// An entry answers to its name, its accession, and its versioned accession (GenBank's VERSION).
bool answersTo(const Velm::Sequence& sequence, const std::string& name) {
    if (name == sequence.name() || (!sequence.accession().empty() && name == sequence.accession()))
        return true;
    for (const auto& annotation : sequence.annotations())
        if (annotation.first == "VERSION" &&
            annotation.second.substr(0, annotation.second.find(' ')) == name)
            return true;
    return false;
}

// Front to back: every entry whose name or accession is asked for.
void fetchByScanning(std::unique_ptr<Ovik::ISeqArchive> archive, const std::string& url,
                     std::vector<Request>& requests, ToolContext& ctx) {
    Ovik::SALArchiveModelIter iterator(std::move(archive), url, &ctx);
    while (boost::shared_ptr<Velm::Model> model = iterator.next()) {
        auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
        if (!bio)
            continue;
        for (const auto& sequence : bio->sequences()) {
            for (Request& request : requests) {
                if (!answersTo(*sequence, request.name))
                    continue;
                request.matched = true;
                warnIfClipped(request, sequence->length(), ctx);
                if (!request.region)
                    request.found.push_back(boost::make_shared<Velm::Sequence>(*sequence));
                else if (request.begin < sequence->length())
                    request.found.push_back(piece(*sequence, request));
            }
        }
    }
}

// Plain gzip and the other compressions cannot be read from the middle.
bool seekable(const std::string& path) {
    std::string_view head;
    bool complete = false;
    if (!cmn::peekFileHead(path, 512, head, complete))
        return true; // let the index say why it cannot read the file
    if (cmn::compressionOfBytes(head) == cmn::Compression::None)
        return true;
    // BGZF is gzip with a block size in its extra field.
    return head.size() >= 16 && static_cast<unsigned char>(head[3]) & 4 && head[12] == 'B' &&
           head[13] == 'C';
}

std::vector<std::string> namesFrom(const std::string& path) {
    std::vector<std::string> names;
    std::unique_ptr<std::ifstream> file;
    std::istream* in = &std::cin;
    if (!isStandardStream(path)) {
        file.reset(new std::ifstream(path));
        if (!*file)
            throw std::runtime_error(msg::CannotRead + path + ": " + std::strerror(errno));
        in = file.get();
    }
    for (std::string line; std::getline(*in, line);) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            continue;
        const std::size_t last = line.find_last_not_of(" \t\r");
        names.push_back(line.substr(first, last + 1 - first));
    }
    if (in->bad())
        throw std::runtime_error(msg::CannotRead + path);
    return names;
}

void writeJson(std::ostream& out, const std::string& path, const std::vector<Request>& requests,
               bool ok, const ToolContext& ctx) {
    JsonWriter json(out);
    json.beginObject();
    json.field("command", "get");
    json.field("path", path);
    json.field("ok", ok);
    json.key("entries").beginArray();
    for (const Request& request : requests) {
        for (const auto& seq : request.found) {
            json.beginObject();
            json.field("request", request.text);
            json.field("name", seq->name());
            if (!seq->description().empty())
                json.field("description", seq->description());
            json.field("length", seq->length());
            json.field("residues", seq->residues());
            json.endObject();
        }
    }
    json.endArray();
    ctx.writeJson(json);
    json.endObject();
    json.finish();
}

int runGet(const Arguments& args, ToolContext& ctx, std::ostream& out) {
    const std::string path = args.positional().front();
    const bool json = args.flag("json");
    if (json && args.has("to"))
        throw UsageError(msg::GetJsonWithTo);
    const std::string to = args.get("to", "FASTA");
    const char* format = Ovik::SALSource::canonicalName(to.c_str());
    if (!format || !Ovik::SALSource::isWritable(format))
        throw UsageError(msg::NotAWritableFormat + to + "'");
    std::vector<std::string> texts(args.positional().begin() + 1, args.positional().end());
    if (args.has("names-from")) {
        if (isStandardStream(args.get("names-from")) && isStandardStream(path))
            throw UsageError(msg::StandardInputTwice);
        const std::vector<std::string> more = namesFrom(args.get("names-from"));
        texts.insert(texts.end(), more.begin(), more.end());
    }
    if (texts.empty())
        throw UsageError(msg::NoNamesGiven);

    std::vector<Request> requests;
    const bool qualities = std::string(format) == Ovik::SALSource::FASTQ;
    if (isStandardStream(path)) {
        for (const std::string& text : texts)
            requests.push_back(parseRequest(text, nullptr));
        StandardInput input(ctx);
        const std::string streamed = input.streamFormat(args.get("from"));
        if (streamed.empty())
            throw std::runtime_error(msg::NotSequenceInput + path);
        fetchByScanning(input.archive(streamed, &ctx), path, requests, ctx);
    } else {
        // An index beside the file says what it is; without one, its content does.
        const bool hasIndex = Ovik::IndexedSeqArchive::hasIndex(path);
        const std::string detected = hasIndex ? "" : Ovik::SeqArchive::GetFileFormat(path);
        const bool indexable =
            hasIndex || detected == Ovik::SALSource::FASTA || detected == Ovik::SALSource::FASTQ;
        std::unique_ptr<Ovik::IndexedSeqArchive> indexed;
        if (indexable && !seekable(path)) {
            ctx.warning(path + msg::NotSeekable);
        } else if (indexable) {
            if (hasIndex) {
                indexed.reset(new Ovik::IndexedSeqArchive(path));
            } else {
                ctx.warning(msg::NoIndexFor + path + ".fai" + msg::BuildingIndex + path + "' to keep one)");
                try {
                    indexed.reset(new Ovik::IndexedSeqArchive(path, Ovik::SeqIndex::build(path, &ctx)));
                } catch (const Ovik::SeqArchiveError& e) {
                    ctx.warning(std::string(e.what()) + msg::ScanningInstead);
                }
            }
        }
        for (const std::string& text : texts)
            requests.push_back(parseRequest(text, indexed ? &indexed->index() : nullptr));
        if (indexed)
            fetchIndexed(*indexed, requests, qualities, ctx);
        else
            fetchByScanning(std::unique_ptr<Ovik::ISeqArchive>(new Ovik::ISeqArchive(path, "", "")),
                            path, requests, ctx);
    }

    bool ok = !ctx.hasErrors();
    for (const Request& request : requests) {
        if (!request.matched) {
            ctx.error(msg::NoEntryNamed + request.name + "' in " + path);
            ok = false;
        }
    }
    if (json) {
        writeJson(out, path, requests, ok, ctx);
        return ok ? ExitOk : ExitFailed;
    }
    out.flush();
    Ovik::OSeqArchive archive(STDOUT_FILENO, "-", format);
    archive.setDefaultQuality(qualities ? 40 : -1);
    archive.setLineWidth(lineWidthOf(args));
    for (const Request& request : requests)
        for (const auto& seq : request.found)
            Ovik::saveSequence(*seq, archive);
    archive.close();
    return ok ? ExitOk : ExitFailed;
}

} // namespace

const Command kGetCommand = {
    {"get", "FILE NAME[:START-END]...", "Write entries by name, or regions of them.",
     "Writes each named entry, or its region START-END (1-based, both ends included, as samtools\n"
     "counts; NAME:START alone runs to the end), in the order asked, as FASTA unless --to names\n"
     "another format. A region's entry is named as asked (NAME:START-END). A FASTA or FASTQ file\n"
     "with an index (FILE.fai, and FILE.gzi for BGZF; see 'index') is read by seeking; without\n"
     "one, an index is built in memory first. Plain gzip cannot be read from the middle: it is\n"
     "read front to back, as are standard input (-) and the other sequence formats (GenBank,\n"
     "EMBL, ...), where NAME also matches an entry's accession and every entry of that name is\n"
     "written. A name not found is an error (exit 1); the others are still written. --to FASTQ\n"
     "writes a FASTQ file's qualities (residues without one get quality 40).\n",
     {{"names-from", "FILE", "also the names (or regions) in FILE, one a line; - for standard input"},
      {"to", "FORMAT", "the output format (default FASTA)"},
      {"from", "FORMAT", "the format of standard input, when its first bytes cannot tell"},
      kLineWidthOption},
     1,
     SIZE_MAX},
    &runGet};

} // namespace mftool
