#include "FeatureTable.h"

#include "Messages.h"
#include "TextUtil.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Ovik {

namespace {
constexpr std::size_t kValueColumn = 21;
constexpr std::size_t kValueWidth = 58; // columns 22-79

bool nonBlank(const char* data, std::size_t size, std::size_t b, std::size_t e) {
    for (std::size_t i = b; i < e && i < size; ++i)
        if (data[i] != ' ' && data[i] != '\t')
            return true;
    return false;
}

} // namespace

void FeatureParser::addLine(const char* data, std::size_t size, const LineSource& src) {
    if (size > 5 && data[5] != ' ') {
        // A new key.
        finish();
        Velm::Feature feature;
        std::size_t keyEnd = 5;
        while (keyEnd < size && data[keyEnd] != ' ' && data[keyEnd] != '\t')
            ++keyEnd;
        feature.key.assign(data + 5, keyEnd - 5);
        oldSwiss_ = keyEnd < 14 && nonBlank(data, size, 13, kValueColumn);
        if (oldSwiss_) {
            // Positional layout: KEY FROM TO description.
            std::vector<std::string> t = text::tokens(data + keyEnd, size - keyEnd);
            if (t.size() >= 2) {
                feature.location = t[0] == t[1] ? t[0] : t[0] + ".." + t[1];
                std::string note;
                for (std::size_t i = 2; i < t.size(); ++i)
                    note += (note.empty() ? "" : " ") + t[i];
                if (!note.empty())
                    feature.qualifiers.emplace_back("note", note);
            } else if (!t.empty()) {
                feature.location = t[0];
            }
        } else {
            feature.location = text::from(Line{data, size}, kValueColumn);
        }
        out_.push_back(std::move(feature));
        inFeature_ = true;
        return;
    }
    // The value part of the line, trimmed, as a view: most lines only extend the open qualifier.
    const std::size_t col = oldSwiss_ ? 13 : kValueColumn;
    const char* vb = data + (size < col ? size : col);
    const char* ve = data + size;
    while (vb < ve && (*vb == ' ' || *vb == '\t'))
        ++vb;
    while (ve > vb && (ve[-1] == ' ' || ve[-1] == '\t'))
        --ve;
    if (vb == ve)
        return;
    if (!inFeature_)
        src.fail(msg::kBadFeature);
    Velm::Feature& feature = out_.back();
    if (oldSwiss_) {
        std::string value(vb, ve);
        if (value.compare(0, 6, "/FTId=") == 0) {
            std::string id = value.substr(6);
            if (!id.empty() && id.back() == '.')
                id.pop_back();
            feature.qualifiers.emplace_back("id", id);
        } else if (!feature.qualifiers.empty() && feature.qualifiers.back().first == "note") {
            feature.qualifiers.back().second += " " + value;
        } else {
            feature.qualifiers.emplace_back("note", value);
        }
        return;
    }
    // A quoted value is open while the quotes after its '=' are odd in number; counted as lines
    // arrive rather than over the whole value each time.
    const bool quoteOpen = inQualifier_ && equals_ != std::string::npos && quotedValue_ && quotes_ % 2 == 1;
    if (quoteOpen || (inQualifier_ && *vb != '/')) {
        if (qualifierName_ != "translation")
            raw_ += ' ';
        const std::size_t from = raw_.size();
        raw_.append(vb, ve);
        noteAppended(from);
    } else if (*vb == '/') {
        closeQualifier();
        raw_.assign(vb + 1, ve);
        qualifierName_.assign(raw_, 0, raw_.find('='));
        equals_ = std::string::npos;
        quotedValue_ = false;
        quotes_ = 0;
        noteAppended(0);
        inQualifier_ = true;
    } else {
        feature.location.append(vb, ve); // a location continued over several lines
    }
}

void FeatureParser::noteAppended(std::size_t from) {
    if (equals_ == std::string::npos) {
        equals_ = raw_.find('=', from);
        if (equals_ == std::string::npos)
            return;
        quotedValue_ = equals_ + 1 < raw_.size() && raw_[equals_ + 1] == '"';
        from = equals_ + 1;
    } else if (!quotedValue_ && equals_ + 1 < raw_.size() && from <= equals_ + 1) {
        quotedValue_ = raw_[equals_ + 1] == '"';
    }
    quotes_ += static_cast<std::size_t>(std::count(raw_.begin() + static_cast<std::ptrdiff_t>(from), raw_.end(), '"'));
}

void FeatureParser::closeQualifier() {
    if (!inQualifier_)
        return;
    inQualifier_ = false;
    std::size_t eq = raw_.find('=');
    std::string name = raw_.substr(0, eq);
    std::string value;
    if (eq != std::string::npos) {
        value = raw_.substr(eq + 1);
        if (!value.empty() && value[0] == '"') {
            std::size_t close = value.size() > 1 && value.back() == '"' ? value.size() - 1 : value.size();
            std::string inner = value.substr(1, close - 1);
            if (inner.find('"') == std::string::npos) {
                value.swap(inner);
            } else {
                value.clear();
                for (std::size_t i = 0; i < inner.size(); ++i) {
                    value += inner[i];
                    if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"')
                        ++i; // "" stands for one quote
                }
            }
        }
    }
    out_.back().qualifiers.emplace_back(std::move(name), std::move(value));
    raw_.clear();
}

void FeatureParser::finish() {
    closeQualifier();
    inFeature_ = false;
    oldSwiss_ = false;
}

namespace {

bool unquoted(const std::string& name, const std::string& value) {
    static const char* const names[] = {"codon_start", "transl_table", "number",   "estimated_length",
                                        "citation",    "anticodon",    "transl_except", "rpt_type",
                                        "direction",   "compare",      "mod_base", "rpt_unit_range",
                                        "tag_peptide", "codon",        "cons_splice"};
    if (value.empty() || value.find(' ') != std::string::npos || value.find('"') != std::string::npos)
        return false;
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

bool flagQualifier(const std::string& name) {
    static const char* const names[] = {"pseudo", "partial", "germline", "rearranged", "focus",
                                        "transgenic", "environmental_sample", "proviral",
                                        "ribosomal_slippage", "trans_splicing", "macronuclear",
                                        "circular_RNA", "metagenomic"};
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

std::vector<std::string> wrapLocation(const std::string& location) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (location.size() - pos > kValueWidth) {
        std::size_t comma = location.rfind(',', pos + kValueWidth - 1);
        std::size_t cut = (comma != std::string::npos && comma >= pos) ? comma + 1 : pos + kValueWidth;
        out.push_back(location.substr(pos, cut - pos));
        pos = cut;
    }
    out.push_back(location.substr(pos));
    return out;
}

} // namespace

void writeFeatures(std::string& out, const std::vector<Velm::Feature>& features, const char* prefix) {
    const std::string indent = std::string(prefix) + std::string(kValueColumn - std::strlen(prefix), ' ');
    for (const Velm::Feature& feature : features) {
        std::string head = std::string(prefix) + feature.key;
        if (head.size() < kValueColumn)
            head.resize(kValueColumn, ' ');
        else
            head += ' ';
        std::vector<std::string> loc = wrapLocation(feature.location);
        for (std::size_t i = 0; i < loc.size(); ++i)
            out += (i == 0 ? head : indent) + loc[i] + "\n";
        for (const auto& q : feature.qualifiers) {
            std::string text = "/" + q.first;
            if (q.second.empty() && flagQualifier(q.first)) {
                // a flag: no value
            } else if (unquoted(q.first, q.second)) {
                text += "=" + q.second;
            } else {
                text += "=\"";
                for (char c : q.second) {
                    text += c;
                    if (c == '"')
                        text += '"';
                }
                text += '"';
            }
            for (const std::string& piece : text::wrap(text, kValueWidth, q.first == "translation"))
                out += indent + piece + "\n";
        }
    }
}

} // namespace Ovik
