// The library's own XML document for every model class. Layout: docs/xml-document.md.

#include <contracts/XmlSource.h>

#include <contracts/Blast.h>
#include <contracts/Compression.h>


#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velm {

const char* const XMLModelSource::XML_Format = "XML";

namespace {

const char* const kSourceName = "XMLModelSource";
const char* const kRoot = "modelfactory-document";
const char* const kVersion = "1";
const std::size_t kSniffBytes = 16 * 1024;

// Error details; messages read "<file>, line <n>: <detail>" or "<file>: <detail>".
const char* const kErrCannotOpen = "cannot open the file";
const char* const kErrNulReference = "a character reference to U+0000, which XML does not allow";
const char* const kErrControlInResidues = "a control character in the residues: ";
const char* const kErrEmptyFile = "the file is empty";
const char* const kErrNotWellFormed = "not a well-formed XML document: ";
const char* const kErrNotOurs = "the root element is not <modelfactory-document>";
const char* const kErrVersion = "unsupported document version ";
const char* const kErrUnknownClass = "unknown model class: ";
const char* const kErrWrongKind = " document cannot be read into a ";
const char* const kErrCannotHold = "the model cannot hold the document's ";
const char* const kErrBadNumber = "not a number: ";
const char* const kErrBadType = "unknown molecule type: ";
const char* const kErrMissingAttribute = "missing attribute ";
const char* const kErrFormatNotSupported = "format not supported by this source: ";
const char* const kErrQualifiedOther = "the path names another format: ";
const char* const kErrCannotWrite = "cannot write the file: ";
const char* const kWarnReplaced = " characters that XML 1.0 cannot carry were written as spaces";

// What a class's documents hold; decides which models can read them.
enum class Kind { Sequences, Blast, XBlast, Project, Query };

struct ClassEntry {
    const char* const* name;   // the class's className constant
    Kind kind;
};

const ClassEntry kClasses[] = {
    {&AlignModel::className, Kind::Sequences},    {&AssemblyModel::className, Kind::Sequences},
    {&SeqModel::className, Kind::Sequences},      {&TraceModel::className, Kind::Sequences},
    {&DotPlotModel::className, Kind::Sequences},  {&PrimerModel::className, Kind::Sequences},
    {&BlastModel::className, Kind::Blast},        {&XBlastModel::className, Kind::XBlast},
    {&NCBIBlastModel::className, Kind::XBlast},   {&WPBlastModel::className, Kind::XBlast},
    {&WPFastAModel::className, Kind::XBlast},     {&CFProjModel::className, Kind::Project},
    {&DBQueryModel::className, Kind::Query},      {&WPLookupModel::className, Kind::Query},
    {&NCBIEntrezModel::className, Kind::Query},
};

const ClassEntry* findClass(const std::string& name) {
    for (const ClassEntry& entry : kClasses)
        if (name == *entry.name)
            return &entry;
    return nullptr;
}

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Sequences: return "sequence";
    case Kind::Blast: return "BLAST result";
    case Kind::XBlast: return "search result";
    case Kind::Project: return "project";
    case Kind::Query: return "database query";
    }
    return "";
}

// Whether a model can take in a document of the given kind without losing any of it.
bool accepts(const Model& model, Kind kind) {
    switch (kind) {
    case Kind::Sequences: return dynamic_cast<const BioModel*>(&model) != nullptr;
    case Kind::Blast: return dynamic_cast<const BlastModel*>(&model) != nullptr;
    case Kind::XBlast:
        return dynamic_cast<const XBlastModel*>(&model) != nullptr ||
               dynamic_cast<const BlastModel*>(&model) != nullptr;
    case Kind::Project: return dynamic_cast<const CFProjModel*>(&model) != nullptr;
    case Kind::Query: return dynamic_cast<const DBQueryModel*>(&model) != nullptr;
    }
    return false;
}

bool hasXmlExtension(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    const std::size_t dot = file.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
           strcasecmp(file.c_str() + dot + 1, "xml") == 0;
}

std::string message(const std::string& file, std::size_t line, const std::string& detail) {
    if (line == 0)
        return file + ": " + detail;
    return file + ", line " + std::to_string(line) + ": " + detail;
}

void report(cmn::OpContext* ctx, const std::string& text) {
    if (ctx)
        ctx->error(text);
}

// ---- sniffing --------------------------------------------------------------------------------

// The start tag of the root element, or "" when the prefix holds none (prolog skipped).
std::string rootStartTag(std::string_view head) {
    std::size_t i = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (true) {
        while (i < head.size() && std::strchr(" \t\r\n", head[i]) && head[i] != '\0')
            ++i;
        if (i >= head.size() || head[i] != '<')
            return std::string();
        std::size_t end = std::string::npos;
        if (head.compare(i, 2, "<?") == 0)
            end = head.find("?>", i);
        else if (head.compare(i, 4, "<!--") == 0)
            end = head.find("-->", i);
        else if (head.compare(i, 2, "<!") == 0) {
            const std::size_t bracket = head.find('[', i), close = head.find('>', i);
            end = (bracket != std::string::npos && bracket < close) ? head.find("]>", i) : close;
        } else {
            const std::size_t close = head.find('>', i);
            return close == std::string::npos ? std::string() : std::string(head.substr(i, close - i + 1));
        }
        if (end == std::string::npos)
            return std::string();
        i = head.find('>', end) + 1;
    }
}

bool isOurRoot(const std::string& tag) {
    const std::string open = std::string("<") + kRoot;
    return tag.compare(0, open.size(), open) == 0 && tag.size() > open.size() &&
           std::strchr(" \t\r\n/>", tag[open.size()]);
}

std::string classAttribute(const std::string& tag) {
    for (const char quote : {'"', '\''}) {
        const std::string key = std::string("class=") + quote;
        std::size_t at = tag.find(key);
        while (at != std::string::npos && at > 0 && !std::strchr(" \t\r\n", tag[at - 1]))
            at = tag.find(key, at + 1);
        if (at == std::string::npos)
            continue;
        const std::size_t start = at + key.size();
        const std::size_t end = tag.find(quote, start);
        if (end != std::string::npos)
            return tag.substr(start, end - start);
    }
    return std::string();
}

// The file's first bytes, shared with the other sniffers (see cmn::peekFileHead); false when
// the file cannot be read.
bool peekHead(const std::string& file, std::string_view& head) {
    bool complete = false;
    return cmn::peekContentHead(file, kSniffBytes, head, complete);
}

// ---- reading -----------------------------------------------------------------------------------

// The offset of the first character reference to U+0000 ("&#0;", "&#x00;", ...) in markup or
// text, or npos. Comments, CDATA sections and processing instructions hold no references.
std::size_t findNulReference(const std::string& text) {
    static const struct { const char* open; const char* close; } kLiteral[] = {
        {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
    std::size_t i = 0;
    while ((i = text.find_first_of("<&", i)) != std::string::npos) {
        if (text[i] == '<') {
            std::size_t next = i + 1;
            for (const auto& literal : kLiteral)
                if (text.compare(i, std::strlen(literal.open), literal.open) == 0) {
                    const std::size_t close = text.find(literal.close, i + std::strlen(literal.open));
                    if (close == std::string::npos)
                        return std::string::npos; // unterminated: the parser refuses the document
                    next = close + std::strlen(literal.close);
                    break;
                }
            i = next;
            continue;
        }
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '#') {
            const bool hex = j + 1 < text.size() && (text[j + 1] == 'x' || text[j + 1] == 'X');
            j += hex ? 2 : 1;
            const std::size_t digits = j;
            while (j < text.size() && text[j] == '0')
                ++j;
            if (j > digits && j < text.size() && text[j] == ';')
                return i;
        }
        i = j;
    }
    return std::string::npos;
}

// Everything a document holds, read and checked before the model is touched.
struct Document {
    const ClassEntry* cls = nullptr;
    std::string title, author, project, projectID, owner, group;
    bool hasTitle = false, hasAuthor = false, hasProject = false, hasProjectID = false,
         hasOwner = false, hasGroup = false;
    PropertyList properties;
    std::vector<boost::shared_ptr<Sequence>> sequences;
    std::vector<std::string> files;
    bool hasQuery = false, hasDatabase = false, hasProgram = false;
    std::string query, database, program;
    std::vector<std::string> results;
    std::vector<BlastHit> hits;
};

class Reader {
public:
    Reader(const std::string& text, Document& doc) : text_(text), doc_(doc) {}

    std::size_t errorLine() const { return errorLine_; }
    const std::string& error() const { return error_; }

    bool read() {
        pugi::xml_document xml;
        // Text is kept exactly: blank-only values and carriage returns included.
        const unsigned flags = (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol;
        // The parser would decode "&#0;" into a NUL that silently ends the text holding it.
        const std::size_t nul = findNulReference(text_);
        if (nul != std::string::npos)
            return fail(lineOf(nul), kErrNotWellFormed + std::string(kErrNulReference));
        const pugi::xml_parse_result parsed = xml.load_buffer(text_.data(), text_.size(), flags);
        if (!parsed)
            return fail(lineOf(static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0))),
                        kErrNotWellFormed + std::string(parsed.description()));
        const pugi::xml_node root = xml.document_element();
        if (std::strcmp(root.name(), kRoot) != 0)
            return fail(line(root), kErrNotOurs);
        const pugi::xml_attribute version = root.attribute("version");
        if (version && std::strcmp(version.value(), kVersion) != 0)
            return fail(line(root), kErrVersion + cmn::inputExcerpt(version.value()));
        const std::string cls = root.attribute("class").value();
        doc_.cls = findClass(cls);
        if (!doc_.cls)
            return fail(line(root), kErrUnknownClass + cmn::inputExcerpt(cls));
        for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
            if (node.type() != pugi::node_element)
                continue;
            if (!element(node))
                return false;
        }
        return true;
    }

private:
    bool fail(std::size_t line, const std::string& text) {
        errorLine_ = line;
        error_ = text;
        return false;
    }

    std::size_t lineOf(std::size_t offset) const {
        offset = std::min(offset, text_.size());
        return 1 + static_cast<std::size_t>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    }
    std::size_t line(const pugi::xml_node& node) const {
        const std::ptrdiff_t offset = node.offset_debug();
        return offset < 0 ? 0 : lineOf(static_cast<std::size_t>(offset));
    }

    // The whole text of an element: a comment or a CDATA section may split it into several
    // children, and each piece counts.
    static std::string text(const pugi::xml_node& node) {
        std::string whole;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
                whole += child.value();
        return whole;
    }

    // Residues are letters and marks: a control character (a stray "&#1;" or a pasted escape
    // sequence) is a damaged document, not a residue.
    bool residues(const pugi::xml_node& node, std::string& value) {
        value = text(node);
        for (const char c : value) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F) {
                char code[8];
                std::snprintf(code, sizeof code, "0x%02X", u);
                return fail(line(node), kErrControlInResidues + std::string(code));
            }
        }
        return true;
    }

    bool attribute(const pugi::xml_node& node, const char* name, std::string& value) {
        const pugi::xml_attribute attr = node.attribute(name);
        if (!attr)
            return fail(line(node), kErrMissingAttribute + std::string(name) + " in <" +
                                        node.name() + ">");
        value = attr.value();
        return true;
    }

    bool number(const pugi::xml_node& node, const char* name, unsigned long& value) {
        std::string raw;
        if (!attribute(node, name, raw))
            return false;
        char* end = nullptr;
        errno = 0;
        const unsigned long parsed = std::strtoul(raw.c_str(), &end, 10);
        if (raw.empty() || !std::isdigit(static_cast<unsigned char>(raw[0])) || *end != '\0' ||
            errno == ERANGE)
            return fail(line(node), kErrBadNumber + std::string(name) + "=\"" + cmn::inputExcerpt(raw) + "\"");
        value = parsed;
        return true;
    }

    bool real(const pugi::xml_node& node, const char* name, double& value) {
        std::string raw;
        if (!attribute(node, name, raw))
            return false;
        char* end = nullptr;
        const double parsed = std::strtod(raw.c_str(), &end);
        if (raw.empty() || *end != '\0')
            return fail(line(node), kErrBadNumber + std::string(name) + "=\"" + cmn::inputExcerpt(raw) + "\"");
        value = parsed;
        return true;
    }

    bool element(const pugi::xml_node& node) {
        const std::string name = node.name();
        if (name == "title") { doc_.title = text(node); doc_.hasTitle = true; }
        else if (name == "author") { doc_.author = text(node); doc_.hasAuthor = true; }
        else if (name == "project") { doc_.project = text(node); doc_.hasProject = true; }
        else if (name == "projectID") { doc_.projectID = text(node); doc_.hasProjectID = true; }
        else if (name == "owner") { doc_.owner = text(node); doc_.hasOwner = true; }
        else if (name == "group") { doc_.group = text(node); doc_.hasGroup = true; }
        else if (name == "property") {
            std::string key;
            if (!attribute(node, "name", key))
                return false;
            doc_.properties.emplace_back(key, text(node));
        } else if (name == "sequence") {
            return sequence(node);
        } else if (name == "file") {
            doc_.files.push_back(text(node));
        } else if (name == "query") {
            doc_.query = text(node);
            doc_.hasQuery = true;
        } else if (name == "database") {
            doc_.database = text(node);
            doc_.hasDatabase = true;
        } else if (name == "program") {
            doc_.program = text(node);
            doc_.hasProgram = true;
        } else if (name == "result") {
            doc_.results.push_back(text(node));
        } else if (name == "hit") {
            return hit(node);
        }
        // Elements of later versions are skipped, so that older readers still read the rest.
        return true;
    }

    bool sequence(const pugi::xml_node& node) {
        const pugi::xml_node confidences = node.child("confidences");
        boost::shared_ptr<Sequence> sequence;
        if (confidences) {
            boost::shared_ptr<NASequence> na(new NASequence);
            std::vector<unsigned char> values;
            std::istringstream in(text(confidences));
            std::string word;
            while (in >> word) {
                char* end = nullptr;
                const unsigned long value = std::strtoul(word.c_str(), &end, 10);
                if (*end != '\0' || value > 255 || !std::isdigit(static_cast<unsigned char>(word[0])))
                    return fail(line(confidences), kErrBadNumber + cmn::inputExcerpt(word));
                values.push_back(static_cast<unsigned char>(value));
            }
            na->setConfidences(values);
            sequence = na;
        } else {
            sequence.reset(new Sequence);
        }
        sequence->setName(node.attribute("name").value());
        sequence->setAccession(node.attribute("accession").value());
        sequence->setSource(node.attribute("source").value());
        const std::string type = node.attribute("type").value();
        bool known = false;
        for (Sequence::MoleculeType candidate :
             {Sequence::MoleculeType::Unknown, Sequence::MoleculeType::DNA,
              Sequence::MoleculeType::RNA, Sequence::MoleculeType::Protein})
            if (type == Sequence::moleculeTypeName(candidate)) {
                sequence->setMoleculeType(candidate);
                known = true;
            }
        if (!known && !type.empty())
            return fail(line(node), kErrBadType + cmn::inputExcerpt(type));
        sequence->setDescription(text(node.child("description")));
        std::string residueText;
        if (!residues(node.child("residues"), residueText))
            return false;
        sequence->setResidues(std::move(residueText));
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            const std::string name = child.name();
            if (name == "annotation") {
                std::string key;
                if (!attribute(child, "key", key))
                    return false;
                sequence->annotations().emplace_back(key, text(child));
            } else if (name == "feature") {
                Feature feature;
                if (!attribute(child, "key", feature.key) ||
                    !attribute(child, "location", feature.location))
                    return false;
                for (pugi::xml_node q = child.child("qualifier"); q; q = q.next_sibling("qualifier")) {
                    std::string qualifier;
                    if (!attribute(q, "name", qualifier))
                        return false;
                    feature.qualifiers.emplace_back(qualifier, text(q));
                }
                sequence->addFeature(feature);
            }
        }
        doc_.sequences.push_back(sequence);
        return true;
    }

    bool hit(const pugi::xml_node& node) {
        BlastHit hit;
        if (!attribute(node, "query", hit.query) || !attribute(node, "subject", hit.subject) ||
            !real(node, "score", hit.score) || !real(node, "evalue", hit.evalue) ||
            !number(node, "identities", hit.identities) ||
            !number(node, "alignLength", hit.alignLength))
            return false;
        hit.description = text(node.child("description"));
        for (pugi::xml_node s = node.child("segment"); s; s = s.next_sibling("segment")) {
            HitSegment segment;
            if (!number(s, "queryStart", segment.queryStart) ||
                !number(s, "queryEnd", segment.queryEnd) ||
                !number(s, "subjectStart", segment.subjectStart) ||
                !number(s, "subjectEnd", segment.subjectEnd))
                return false;
            segment.queryText = text(s.child("query-text"));
            segment.subjectText = text(s.child("subject-text"));
            segment.midline = text(s.child("midline"));
            hit.segments.push_back(segment);
        }
        doc_.hits.push_back(hit);
        return true;
    }

    const std::string& text_;
    Document& doc_;
    std::size_t errorLine_ = 0;
    std::string error_;
};

// Checks that the model can hold everything the document has; "" when it can.
std::string cannotHold(const Document& doc, const Model& model) {
    if (!doc.sequences.empty() && !dynamic_cast<const BioModel*>(&model))
        return "sequences";
    const bool hitsHolder = dynamic_cast<const XBlastModel*>(&model) || dynamic_cast<const BlastModel*>(&model);
    if (!doc.hits.empty() && !hitsHolder)
        return "hits";
    if (doc.hasProgram && !dynamic_cast<const BlastModel*>(&model))
        return "program";
    if (!doc.files.empty() && !dynamic_cast<const CFProjModel*>(&model))
        return "files";
    const bool query = dynamic_cast<const DBQueryModel*>(&model) != nullptr;
    if ((doc.hasQuery || !doc.results.empty()) && !query)
        return "query";
    if (doc.hasDatabase && !query && !dynamic_cast<const BlastModel*>(&model))
        return "database";
    return std::string();
}

void apply(const Document& doc, Model& model) {
    if (doc.hasTitle) model.setTitle(doc.title);
    if (doc.hasAuthor) model.setAuthor(doc.author);
    if (doc.hasProject) model.setProject(doc.project);
    if (doc.hasProjectID) model.setProjectID(doc.projectID);
    if (doc.hasOwner) model.setOwner(doc.owner);
    if (doc.hasGroup) model.setGroup(doc.group);
    for (const auto& property : doc.properties)
        model.setProperty(property.first, property.second);
    if (BioModel* bio = dynamic_cast<BioModel*>(&model))
        for (const auto& sequence : doc.sequences)
            bio->addSeq(sequence);
    if (CFProjModel* project = dynamic_cast<CFProjModel*>(&model))
        for (const std::string& file : doc.files)
            project->addFile(file);
    if (DBQueryModel* query = dynamic_cast<DBQueryModel*>(&model)) {
        if (doc.hasQuery)
            query->setQuery(doc.query);
        if (doc.hasDatabase)
            query->setDatabase(doc.database);
        for (const std::string& id : doc.results)
            query->addResult(id);
    }
    if (BlastModel* blast = dynamic_cast<BlastModel*>(&model)) {
        if (doc.hasProgram)
            blast->setProgram(doc.program);
        if (doc.hasDatabase)
            blast->setDatabase(doc.database);
        for (const BlastHit& hit : doc.hits)
            blast->addHit(hit);
    }
    if (XBlastModel* xblast = dynamic_cast<XBlastModel*>(&model))
        for (const BlastHit& hit : doc.hits)
            xblast->addHit(hit);
}

// ---- writing -----------------------------------------------------------------------------------

// Characters replaced by a space in the document being written on this thread.
thread_local std::size_t tReplaced = 0;

// `text` as XML 1.0 can carry it: control characters other than tab, line feed and carriage
// return (which XML forbids even as references) and the noncharacters U+FFFE and U+FFFF become
// spaces; bytes that are not UTF-8 are taken as Latin-1, the usual encoding of older flat files.
std::string clean(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool allowed = c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
            out += allowed ? static_cast<char>(c) : ' ';
            tReplaced += allowed ? 0 : 1;
            ++i;
            continue;
        }
        // The length and smallest value of a well-formed UTF-8 sequence starting with c.
        std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 0) : c >= 0xC2 ? 2 : 0;
        unsigned long cp = len == 4 ? (c & 0x07u) : len == 3 ? (c & 0x0Fu) : (c & 0x1Fu);
        bool valid = len > 0 && i + len <= n;
        for (std::size_t k = 1; valid && k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            valid = (d & 0xC0u) == 0x80u;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        valid = valid && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        } else if (cp == 0xFFFE || cp == 0xFFFF) {
            out += ' ';
            ++tReplaced;
            i += len;
        } else {
            out.append(text, i, len);
            i += len;
        }
    }
    return out;
}

void addText(pugi::xml_node parent, const char* name, const std::string& value) {
    parent.append_child(name).text().set(clean(value).c_str());
}

void addOptional(pugi::xml_node parent, const char* name, const std::string& value) {
    if (!value.empty())
        addText(parent, name, value);
}

// The shortest of 15 or 17 significant digits that reads back as the same value.
std::string formatReal(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    if (std::strtod(buffer, nullptr) != value)
        std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

void writeHits(pugi::xml_node root, const std::vector<BlastHit>& hits) {
    for (const BlastHit& hit : hits) {
        pugi::xml_node node = root.append_child("hit");
        node.append_attribute("query") = clean(hit.query).c_str();
        node.append_attribute("subject") = clean(hit.subject).c_str();
        node.append_attribute("score") = formatReal(hit.score).c_str();
        node.append_attribute("evalue") = formatReal(hit.evalue).c_str();
        node.append_attribute("identities") = std::to_string(hit.identities).c_str();
        node.append_attribute("alignLength") = std::to_string(hit.alignLength).c_str();
        addOptional(node, "description", hit.description);
        for (const HitSegment& segment : hit.segments) {
            pugi::xml_node s = node.append_child("segment");
            s.append_attribute("queryStart") = std::to_string(segment.queryStart).c_str();
            s.append_attribute("queryEnd") = std::to_string(segment.queryEnd).c_str();
            s.append_attribute("subjectStart") = std::to_string(segment.subjectStart).c_str();
            s.append_attribute("subjectEnd") = std::to_string(segment.subjectEnd).c_str();
            addText(s, "query-text", segment.queryText);
            addText(s, "subject-text", segment.subjectText);
            addText(s, "midline", segment.midline);
        }
    }
}

void writeSequence(pugi::xml_node root, const Sequence& sequence) {
    pugi::xml_node node = root.append_child("sequence");
    node.append_attribute("name") = clean(sequence.name()).c_str();
    if (!sequence.accession().empty())
        node.append_attribute("accession") = clean(sequence.accession()).c_str();
    node.append_attribute("type") = Sequence::moleculeTypeName(sequence.moleculeType());
    if (!sequence.source().empty())
        node.append_attribute("source") = clean(sequence.source()).c_str();
    addOptional(node, "description", sequence.description());
    addText(node, "residues", sequence.residues());
    if (const NASequence* na = dynamic_cast<const NASequence*>(&sequence))
        if (!na->confidences().empty()) {
            std::string values;
            for (unsigned char value : na->confidences()) {
                if (!values.empty())
                    values += ' ';
                values += std::to_string(static_cast<unsigned>(value));
            }
            addText(node, "confidences", values);
        }
    for (const auto& annotation : sequence.annotations()) {
        pugi::xml_node a = node.append_child("annotation");
        a.append_attribute("key") = clean(annotation.first).c_str();
        a.text().set(clean(annotation.second).c_str());
    }
    for (const Feature& feature : sequence.features()) {
        pugi::xml_node f = node.append_child("feature");
        f.append_attribute("key") = clean(feature.key).c_str();
        f.append_attribute("location") = clean(feature.location).c_str();
        for (const auto& qualifier : feature.qualifiers) {
            pugi::xml_node q = f.append_child("qualifier");
            q.append_attribute("name") = clean(qualifier.first).c_str();
            q.text().set(clean(qualifier.second).c_str());
        }
    }
}

std::string writeDocument(const Model& model, std::size_t& replaced) {
    tReplaced = 0;
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = xml.append_child(kRoot);
    root.append_attribute("version") = kVersion;
    root.append_attribute("class") = model.getType();
    addOptional(root, "title", model.title());
    addOptional(root, "author", model.author());
    addOptional(root, "project", model.project());
    addOptional(root, "projectID", model.projectID());
    addOptional(root, "owner", model.owner());
    addOptional(root, "group", model.group());
    for (const auto& property : model.properties()) {
        pugi::xml_node p = root.append_child("property");
        p.append_attribute("name") = clean(property.first).c_str();
        p.text().set(clean(property.second).c_str());
    }
    if (const CFProjModel* project = dynamic_cast<const CFProjModel*>(&model))
        for (const std::string& file : project->files())
            addText(root, "file", file);
    if (const DBQueryModel* query = dynamic_cast<const DBQueryModel*>(&model)) {
        addOptional(root, "query", query->query());
        addOptional(root, "database", query->database());
        for (const std::string& id : query->results())
            addText(root, "result", id);
    }
    if (const BlastModel* blast = dynamic_cast<const BlastModel*>(&model)) {
        addOptional(root, "program", blast->program());
        addOptional(root, "database", blast->database());
    }
    if (const BioModel* bio = dynamic_cast<const BioModel*>(&model))
        for (const auto& sequence : bio->sequences())
            writeSequence(root, *sequence);
    if (const BlastModel* blast = dynamic_cast<const BlastModel*>(&model))
        writeHits(root, blast->hits());
    if (const XBlastModel* xblast = dynamic_cast<const XBlastModel*>(&model))
        writeHits(root, xblast->hits());
    std::ostringstream out;
    xml.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    replaced = tReplaced;
    return out.str();
}

} // namespace

XMLModelSource::XMLModelSource() = default;

bool XMLModelSource::handles(const char* path) const {
    if (!path)
        return false;
    const cmn::QualifiedPath split(path);
    if (split.qualified)
        return strcasecmp(split.format.c_str(), XML_Format) == 0;
    if (!cmn::isRegularFile(split.file))
        return hasXmlExtension(split.file) && ::access(split.file.c_str(), F_OK) != 0;
    std::string_view head;
    if (!peekHead(split.file, head))
        return false;
    if (head.empty())
        return hasXmlExtension(split.file);
    return isOurRoot(rootStartTag(head));
}

const char* XMLModelSource::getName() const { return kSourceName; }

const char* XMLModelSource::getType(const char* path) const {
    if (!path)
        return "";
    const cmn::QualifiedPath split(path);
    if (split.qualified && strcasecmp(split.format.c_str(), XML_Format) != 0)
        return "";
    std::string_view head;
    if (!peekHead(split.file, head))
        return "";
    const std::string tag = rootStartTag(head);
    if (!isOurRoot(tag))
        return "";
    const ClassEntry* entry = findClass(classAttribute(tag));
    return entry ? *entry->name : "";
}

FormatList XMLModelSource::getSupportedFormats() {
    return FormatList{{XML_Format, "Model document (XML)"}};
}

bool XMLModelSource::retrieve(const char* path, Model& model, const char* format,
                              cmn::OpContext* ctx, const char* qualifier) {
    if (!supports(format)) {
        report(ctx, message(cmn::QualifiedPath(path).file, 0,
                            std::string(kErrFormatNotSupported) + (format ? format : "")));
        return false;
    }
    return retrieve(path, model, ctx, qualifier);
}

bool XMLModelSource::retrieve(const char* path, Model& model, cmn::OpContext* ctx, const char*) {
    const cmn::QualifiedPath split(path);
    if (split.qualified && strcasecmp(split.format.c_str(), XML_Format) != 0) {
        report(ctx, message(split.file, 0, kErrQualifiedOther + split.format));
        return false;
    }
    // readWholeFile refuses a FIFO or device unread: a pipe without a writer would block for ever.
    std::string text, failure;
    if (!cmn::readWholeFile(split.file, text, failure)) {
        report(ctx, message(split.file, 0, failure.empty() ? kErrCannotOpen : failure));
        return false;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(ctx, message(split.file, 0, kErrEmptyFile));
        return false;
    }
    Document doc;
    Reader reader(text, doc);
    if (!reader.read()) {
        report(ctx, message(split.file, reader.errorLine(), reader.error()));
        return false;
    }
    if (!accepts(model, doc.cls->kind) && std::strcmp(model.getType(), *doc.cls->name) != 0) {
        report(ctx, message(split.file, 0,
                            std::string("a ") + kindName(doc.cls->kind) + " (" + *doc.cls->name +
                                ")" + kErrWrongKind + model.getType()));
        return false;
    }
    const std::string missing = cannotHold(doc, model);
    if (!missing.empty()) {
        report(ctx, message(split.file, 0, kErrCannotHold + missing));
        return false;
    }
    apply(doc, model);
    model.setEncoding(XML_Format);
    return true;
}

bool XMLModelSource::save(const char* path, Model& model, const char* format, cmn::OpContext* ctx) {
    if (!supports(format)) {
        report(ctx, message(cmn::QualifiedPath(path).file, 0,
                            std::string(kErrFormatNotSupported) + (format ? format : "")));
        return false;
    }
    return save(path, model, ctx);
}

bool XMLModelSource::save(const char* path, Model& model, cmn::OpContext* ctx) {
    const cmn::QualifiedPath split(path);
    if (split.qualified && strcasecmp(split.format.c_str(), XML_Format) != 0) {
        report(ctx, message(split.file, 0, kErrQualifiedOther + split.format));
        return false;
    }
    int error = 0;
    std::size_t replaced = 0;
    if (!cmn::replaceFileContentsByName(split.file, writeDocument(model, replaced), error)) {
        report(ctx, message(split.file, 0, kErrCannotWrite + std::string(std::strerror(error))));
        return false;
    }
    if (replaced > 0 && ctx)
        ctx->warning(message(split.file, 0, std::to_string(replaced) + kWarnReplaced));
    model.setEncoding(XML_Format);
    return true;
}

} // namespace Velm
