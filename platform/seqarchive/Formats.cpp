// The format names of the archive layer, their aliases and descriptions.
#include <contracts/SeqArchive.h>

#include "FastqVariants.h"
#include "TextUtil.h"

namespace Ovik {

// No text below is a prefix of another, so that callers matching names as case-insensitive
// prefixes reach each of them (see docs/seqarchive-formats.md).
const char* const SALSource::EMBL = "EMBL";
const char* const SALSource::GENPEPT = "GenPept";
const char* const SALSource::GB = "GenBank";
const char* const SALSource::RSF = "RSF";
const char* const SALSource::MSF = "MSF";
const char* const SALSource::FASTA = "FASTA";
const char* const SALSource::FASTQ = "FASTQ";
const char* const SALSource::NBRF = "NBRF";
const char* const SALSource::STADEN = "Staden";
const char* const SALSource::SSF = "GCG";
const char* const SALSource::SW = "Swiss";
const char* const SALSource::SPT = "TrEMBL";
const char* const SALSource::EXPERIMENT = "Experiment";
const char* const SALSource::QUERY = "Query";
const char* const SALSource::LST = "List";

const char* const fastq::kIllumina = "fastq-illumina";
const char* const fastq::kSolexa = "fastq-solexa";

bool fastq::isVariant(const char* canonical) {
    return canonical && (canonical == SALSource::FASTQ || canonical == kIllumina || canonical == kSolexa);
}

QualityEncoding fastq::encodingOf(const char* canonical) {
    return canonical == kIllumina ? QualityEncoding::Phred64
           : canonical == kSolexa ? QualityEncoding::Solexa
                                  : QualityEncoding::Phred33;
}

namespace {

struct Alias {
    const char* name;
    const char* const* format;
};

// Every name a user may give, the constants' own texts included.
const Alias kAliases[] = {
    {"EMBL", &SALSource::EMBL},        {"emb", &SALSource::EMBL},
    {"GenPept", &SALSource::GENPEPT},  {"gp", &SALSource::GENPEPT},
    {"gpept", &SALSource::GENPEPT},    {"GenBank", &SALSource::GB},
    {"gb", &SALSource::GB},            {"gbk", &SALSource::GB},
    {"gbff", &SALSource::GB},          {"RSF", &SALSource::RSF},
    {"MSF", &SALSource::MSF},          {"FASTA", &SALSource::FASTA},
    {"fa", &SALSource::FASTA},         {"fas", &SALSource::FASTA},
    {"fna", &SALSource::FASTA},        {"faa", &SALSource::FASTA},
    {"fsa", &SALSource::FASTA},        {"pearson", &SALSource::FASTA},
    {"FASTQ", &SALSource::FASTQ},      {"fq", &SALSource::FASTQ},
    {"fastq-sanger", &SALSource::FASTQ},
    {"fastq-illumina", &fastq::kIllumina}, {"fastq-solexa", &fastq::kSolexa},
    {"NBRF", &SALSource::NBRF},        {"pir", &SALSource::NBRF},
    {"Staden", &SALSource::STADEN},    {"SDN", &SALSource::STADEN},
    {"sta", &SALSource::STADEN},       {"GCG", &SALSource::SSF},
    {"SSF", &SALSource::SSF},          {"Swiss", &SALSource::SW},
    {"SwissProt", &SALSource::SW},     {"Swiss-Prot", &SALSource::SW},
    {"sw", &SALSource::SW},            {"swl", &SALSource::SW},
    {"UniProt", &SALSource::SW},       {"TrEMBL", &SALSource::SPT},
    {"SPT", &SALSource::SPT},          {"SPTrEMBL", &SALSource::SPT},
    {"Experiment", &SALSource::EXPERIMENT},
    {"Query", &SALSource::QUERY},      {"List", &SALSource::LST},
    {"LST", &SALSource::LST},
};

} // namespace

const char* SALSource::canonicalName(const char* format) {
    if (!format || !*format)
        return nullptr;
    for (const Alias& alias : kAliases)
        if (text::equalNoCase(format, alias.name))
            return *alias.format;
    return nullptr;
}

bool SALSource::supports(const char* format) { return canonicalName(format) != nullptr; }

bool SALSource::isWritable(const char* format) {
    const char* name = canonicalName(format);
    return name && name != STADEN && name != EXPERIMENT && name != QUERY && name != LST;
}

Velm::FormatList SALSource::getSupportedFormats() {
    return {
        {FASTA, "FASTA sequences"},
        {FASTQ, "FASTQ reads with Phred qualities (.fq, .fastq)"},
        {GB, "GenBank nucleotide entries with features"},
        {GENPEPT, "GenPept protein entries in GenBank layout"},
        {EMBL, "EMBL nucleotide entries with features"},
        {SW, "Swiss-Prot protein entries"},
        {SPT, "TrEMBL (unreviewed) protein entries in Swiss-Prot layout"},
        {NBRF, "NBRF/PIR sequences"},
        {SSF, "GCG single sequence with checksum"},
        {MSF, "GCG multiple sequence file"},
        {RSF, "GCG rich sequence file"},
        {STADEN, "Staden plain sequence, read only (also named SDN)"},
        {EXPERIMENT, "Staden experiment file: the reading's sequence and confidences, read only"},
    };
}

} // namespace Ovik
