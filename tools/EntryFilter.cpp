#include "EntryFilter.h"

#include <contracts/FeatureLocation.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace mftool {

namespace {

std::size_t lengthOption(const Arguments& args, const char* name, std::size_t fallback) {
    if (!args.has(name)) return fallback;
    const std::string text = args.get(name);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' || errno == ERANGE ||
        value > SIZE_MAX)
        throw UsageError(std::string("--") + name + " takes a number of residues, not '" + text + "'");
    return static_cast<std::size_t>(value);
}

} // namespace

EntryFilter EntryFilter::fromArguments(const Arguments& args) {
    EntryFilter filter;
    filter.reverse_ = args.flag(kReverseComplementOption.name);
    filter.minLength_ = lengthOption(args, kMinLengthOption.name, 0);
    filter.maxLength_ = lengthOption(args, kMaxLengthOption.name, SIZE_MAX);
    if (filter.minLength_ > filter.maxLength_)
        throw UsageError("--min-length " + std::to_string(filter.minLength_) + " is above --max-length " +
                         std::to_string(filter.maxLength_));
    return filter;
}

bool EntryFilter::pass(Velm::Sequence& sequence) {
    if (sequence.length() < minLength_ || sequence.length() > maxLength_) {
        ++leftOut_;
        return false;
    }
    if (reverse_) Velm::reverseComplementEntry(sequence);
    return true;
}

void EntryFilter::apply(Velm::BioModel& model) {
    const Velm::BioModel::SequenceList all = model.sequences();
    model.clear();
    for (const auto& sequence : all)
        if (pass(*sequence)) model.addSeq(sequence);
}

} // namespace mftool
