#include <contracts/DataModel.h>

#include <limits>
#include <ostream>
#include <string>

namespace Velm {

Model::Model() = default;
Model::~Model() = default;

void Model::accept(Common::VisitorBase& visitor) { visitor.visit(*this); }

static void dumpField(std::ostream& out, const std::string& pad, const char* name,
                      const std::string& value) {
    if (!value.empty())
        out << pad << "  " << name << ": " << value << '\n';
}

void Model::dump(std::ostream& out, int indent) const {
    const std::string pad(indent > 0 ? static_cast<std::size_t>(indent) : 0, ' ');
    out << pad << getType() << (empty() ? " (empty)" : "") << '\n';
    dumpField(out, pad, "url", url_);
    dumpField(out, pad, "encoding", encoding_);
    dumpField(out, pad, "title", title_);
    dumpField(out, pad, "author", author_);
    dumpField(out, pad, "project", project_);
    dumpField(out, pad, "project id", projectID_);
    dumpField(out, pad, "owner", owner_);
    dumpField(out, pad, "group", group_);
    for (const auto& property : properties_)
        out << pad << "  " << property.first << " = " << property.second << '\n';
}

bool Model::empty() const { return properties_.empty(); }

unsigned Model::calcSize() const { return static_cast<unsigned>(properties_.size()); }

void Model::sync() {
    ++syncCount_;
    syncedURL_ = url_;
}

void Model::setURL(const std::string& url) { url_ = url; }
void Model::setEncoding(const std::string& encoding) { encoding_ = encoding; }
void Model::setTitle(const std::string& title) { title_ = title; }
void Model::setAuthor(const std::string& author) { author_ = author; }
void Model::setProject(const std::string& project) { project_ = project; }
void Model::setProjectID(const std::string& projectID) { projectID_ = projectID; }
void Model::setOwner(const std::string& owner) { owner_ = owner; }
void Model::setGroup(const std::string& group) { group_ = group; }

void Model::setProperty(const std::string& name, const std::string& value) {
    for (auto& property : properties_)
        if (property.first == name) {
            property.second = value;
            return;
        }
    properties_.emplace_back(name, value);
}

std::string Model::property(const std::string& name) const {
    for (const auto& property : properties_)
        if (property.first == name)
            return property.second;
    return std::string();
}

BioModel::BioModel() = default;
BioModel::~BioModel() = default;

void BioModel::dump(std::ostream& out, int indent) const {
    Model::dump(out, indent);
    const std::string pad(indent > 0 ? static_cast<std::size_t>(indent) : 0, ' ');
    for (const auto& sequence : sequences_) {
        out << pad << "  sequence " << sequence->name() << ": " << sequence->length() << ' '
            << (sequence->isProtein() ? "aa" : "bp");
        if (!sequence->description().empty())
            out << ", " << sequence->description();
        out << '\n';
    }
}

bool BioModel::empty() const { return sequences_.empty(); }

unsigned BioModel::calcSize() const {
    unsigned long long total = 0;
    for (const auto& sequence : sequences_)
        total += sequence->length();
    const unsigned long long cap = std::numeric_limits<unsigned>::max();
    return static_cast<unsigned>(total < cap ? total : cap);
}

void BioModel::addSeq(const boost::shared_ptr<Sequence>& sequence) {
    if (sequence)
        sequences_.push_back(sequence);
}

const BioModel::SequenceList& BioModel::sequences() const { return sequences_; }

void BioModel::clear() { sequences_.clear(); }

} // namespace Velm
