#include <contracts/Sequence.h>

#include <contracts/Common.h>

#include <ostream>

namespace Velm {

Alignment::Alignment() = default;
Alignment::~Alignment() = default;

void Alignment::addRow(const boost::shared_ptr<Sequence>& row) {
    if (row)
        rows_.push_back(row);
}

std::size_t Alignment::length() const {
    std::size_t longest = 0;
    for (const auto& row : rows_)
        longest = std::max(longest, row->length());
    return longest;
}

bool Alignment::isFlush() const {
    for (const auto& row : rows_)
        if (row->length() != rows_.front()->length())
            return false;
    return true;
}

std::ostream& Alignment::writeFastA(std::ostream& out, const char* gap) const {
    static const std::size_t lineWidth = 60;
    const char gapChar = (gap && *gap) ? *gap : '-';
    std::string line;
    std::size_t index = 0;
    for (const auto& row : rows_) {
        // Names and descriptions by the archive writers' rules: other readers take the first
        // word for the name, and a line end in either would start a record of its own.
        out << '>' << cmn::singleTokenName(row->name(), ++index);
        if (!row->description().empty())
            out << ' ' << cmn::oneLineText(row->description());
        out << '\n';
        const std::string& residues = row->residues();
        for (std::size_t at = 0; at < residues.size(); at += lineWidth) {
            line.assign(residues, at, lineWidth);
            if (gapChar != '-')
                for (char& c : line)
                    if (c == '-')
                        c = gapChar;
            out << line << '\n';
        }
        if (!out)
            break;
    }
    return out;
}

} // namespace Velm
