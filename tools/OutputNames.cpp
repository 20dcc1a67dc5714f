#include "OutputNames.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>

#include <cctype>

namespace mftool {

namespace {

bool equalNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// The formats the tool writes, by the names the format list gives them, with the extension the
// factory's extension table (or the source that claims such names) reads back as that format.
const struct {
    const char* format;
    const char* extension;
} kExtensions[] = {
    {"FASTA", "fa"},      {"FASTQ", "fq"},    {"fastq-illumina", "fq"}, {"fastq-solexa", "fq"},
    {"GenBank", "gb"},    {"GenPept", "gp"},  {"EMBL", "embl"},         {"Swiss", "swl"},
    {"TrEMBL", "spt"},    {"NBRF", "pir"},    {"GCG", "ssf"},           {"MSF", "msf"},
    {"RSF", "rsf"},       {"CLUSTAL", "aln"}, {"MSF-ALN", "msf"},       {"NEXUS", "nex"},
    {"PHYLIP", "phy"},    {"XML", "xml"},
};

} // namespace

std::string extensionForFormat(const std::string& format) {
    for (const auto& row : kExtensions)
        if (equalNoCase(format, row.format))
            return row.extension;
    // An alias of an archive format (fasta, gbk, pir, ...).
    if (const char* canonical = Ovik::SALSource::canonicalName(format.c_str()))
        if (!equalNoCase(format, canonical))
            return extensionForFormat(canonical);
    return std::string();
}

std::string stemOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = cmn::withoutCompressionExtension(slash == std::string::npos ? path : path.substr(slash + 1));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace mftool
