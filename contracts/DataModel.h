#ifndef MODELFACTORY_CONTRACTS_DATAMODEL_H
#define MODELFACTORY_CONTRACTS_DATAMODEL_H

#include <contracts/Common.h>
#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace Velm {

/// A format list: (format name, human-readable description) pairs.
typedef std::vector<std::pair<std::string, std::string>> FormatList;

/// The root of every in-memory document. Holds where it came from (URL, encoding), who made it
/// (title, author, project, owner, group) and free name/value properties.
class MF_API Model : public Common::VisitableBase {
public:
    Model();
    virtual ~Model();

    void accept(Common::VisitorBase& visitor) override;
    /// Writes a readable summary, indented by `indent` spaces.
    virtual void dump(std::ostream& out, int indent) const;
    /// The className constant of the object's own class.
    virtual const char* getType() const = 0;
    /// True when nothing was loaded.
    virtual bool empty() const;
    /// A measure of the content (residues held, for sequence models).
    virtual unsigned calcSize() const;
    /// Marks the model as in step with its URL (called once after a successful load).
    virtual void sync();
    virtual void setURL(const std::string& url);
    virtual void setEncoding(const std::string& encoding);
    virtual void setTitle(const std::string& title);
    virtual void setAuthor(const std::string& author);
    virtual void setProject(const std::string& project);
    virtual void setProjectID(const std::string& projectID);
    virtual void setOwner(const std::string& owner);
    virtual void setGroup(const std::string& group);

    const std::string& url() const { return url_; }
    const std::string& encoding() const { return encoding_; }
    const std::string& title() const { return title_; }
    const std::string& author() const { return author_; }
    const std::string& project() const { return project_; }
    const std::string& projectID() const { return projectID_; }
    const std::string& owner() const { return owner_; }
    const std::string& group() const { return group_; }

    /// How many times sync() ran, and the URL the model had at the last one.
    unsigned syncCount() const { return syncCount_; }
    const std::string& syncedURL() const { return syncedURL_; }

    /// Free properties in insertion order; setting an existing name replaces its value in place.
    const PropertyList& properties() const { return properties_; }
    void setProperty(const std::string& name, const std::string& value);
    /// The value of the property, or "" when it is not set.
    std::string property(const std::string& name) const;

private:
    std::string url_;
    std::string encoding_;
    std::string title_;
    std::string author_;
    std::string project_;
    std::string projectID_;
    std::string owner_;
    std::string group_;
    std::string syncedURL_;
    unsigned syncCount_ = 0;
    PropertyList properties_;
};

/// A model that holds sequences, in the order they were added.
class MF_API BioModel : public Model {
public:
    typedef std::vector<boost::shared_ptr<Sequence>> SequenceList;

    BioModel();
    ~BioModel() override;

    void dump(std::ostream& out, int indent) const override;
    /// True when the model holds no sequence.
    bool empty() const override;
    /// Residues held, summed over the sequences (saturates at the largest unsigned).
    unsigned calcSize() const override;

    /// Appends one sequence; an empty pointer is ignored.
    virtual void addSeq(const boost::shared_ptr<Sequence>& sequence);
    virtual const SequenceList& sequences() const;
    /// Drops every sequence.
    virtual void clear();

private:
    SequenceList sequences_;
};

/// A multiple alignment; `alignment` has the model's sequences as its rows.
class MF_API AlignModel : public BioModel {
public:
    static const char* const className;
    AlignModel();
    const char* getType() const override { return className; }
    void addSeq(const boost::shared_ptr<Sequence>& sequence) override;
    void clear() override;

    Alignment alignment;
};

/// An assembly of reads into contigs (each sequence a read or consensus).
class MF_API AssemblyModel : public BioModel {
public:
    static const char* const className;
    AssemblyModel();
    const char* getType() const override { return className; }
};

/// One or more independent sequences.
class MF_API SeqModel : public BioModel {
public:
    static const char* const className;
    SeqModel();
    const char* getType() const override { return className; }
};

/// The class name detection answers for a chromatogram. Chromatograms open as sequence models, so
/// no object of this class is made by the library.
class MF_API TraceModel : public BioModel {
public:
    static const char* const className;
    TraceModel();
    const char* getType() const override { return className; }
};

/// A dot-plot document: the compared sequences and the plot's parameters (as properties).
class MF_API DotPlotModel : public BioModel {
public:
    static const char* const className;
    DotPlotModel();
    const char* getType() const override { return className; }
    /// True when it holds neither sequences nor parameters.
    bool empty() const override;
};

/// A primer set: each primer a sequence, the design parameters as properties.
class MF_API PrimerModel : public BioModel {
public:
    static const char* const className;
    PrimerModel();
    const char* getType() const override { return className; }
    bool empty() const override;
};

/// One aligned segment (high-scoring pair) of a hit. Coordinates are 1-based and inclusive.
struct MF_API HitSegment {
    unsigned long queryStart = 0;
    unsigned long queryEnd = 0;
    unsigned long subjectStart = 0;
    unsigned long subjectEnd = 0;
    std::string queryText;
    std::string subjectText;
    std::string midline;
    bool operator==(const HitSegment& other) const;
};

/// One database hit of a similarity search.
struct MF_API BlastHit {
    std::string query;
    std::string subject;
    std::string description;
    double score = 0;
    double evalue = 0;
    unsigned long identities = 0;
    unsigned long alignLength = 0;
    std::vector<HitSegment> segments;
    bool operator==(const BlastHit& other) const;
};

/// Results of a similarity search run by an external service: the hits, and the query and subject
/// sequences where they were kept.
class MF_API XBlastModel : public BioModel {
public:
    static const char* const className;
    XBlastModel();
    const char* getType() const override { return className; }
    bool empty() const override;

    const std::vector<BlastHit>& hits() const { return hits_; }
    void addHit(const BlastHit& hit) { hits_.push_back(hit); }
    void clearHits() { hits_.clear(); }

private:
    std::vector<BlastHit> hits_;
};

class MF_API NCBIBlastModel : public XBlastModel {
public:
    static const char* const className;
    NCBIBlastModel();
    const char* getType() const override { return className; }
};

class MF_API WPBlastModel : public XBlastModel {
public:
    static const char* const className;
    WPBlastModel();
    const char* getType() const override { return className; }
};

class MF_API WPFastAModel : public XBlastModel {
public:
    static const char* const className;
    WPFastAModel();
    const char* getType() const override { return className; }
};

/// A project: its properties and the files it gathers, in order.
class MF_API CFProjModel : public Model {
public:
    static const char* const className;
    CFProjModel();
    const char* getType() const override { return className; }
    bool empty() const override;
    unsigned calcSize() const override;

    const std::vector<std::string>& files() const { return files_; }
    void addFile(const std::string& path) { files_.push_back(path); }

private:
    std::vector<std::string> files_;
};

/// A database query: its text, the database asked and the identifiers of the records found.
class MF_API DBQueryModel : public Model {
public:
    static const char* const className;
    DBQueryModel();
    const char* getType() const override { return className; }
    bool empty() const override;
    unsigned calcSize() const override;

    const std::string& query() const { return query_; }
    void setQuery(const std::string& query) { query_ = query; }
    const std::string& database() const { return database_; }
    void setDatabase(const std::string& database) { database_ = database; }
    const std::vector<std::string>& results() const { return results_; }
    void addResult(const std::string& id) { results_.push_back(id); }

private:
    std::string query_;
    std::string database_;
    std::vector<std::string> results_;
};

class MF_API WPLookupModel : public DBQueryModel {
public:
    static const char* const className;
    WPLookupModel();
    const char* getType() const override { return className; }
};

class MF_API NCBIEntrezModel : public DBQueryModel {
public:
    static const char* const className;
    NCBIEntrezModel();
    const char* getType() const override { return className; }
};

/// Yields models one at a time; an empty pointer means there are no more.
class MF_API ModelIter {
public:
    virtual ~ModelIter();
    virtual boost::shared_ptr<Model> next() = 0;
};

/// Yields its one model once, then empty pointers.
class MF_API SimpleModelIter : public ModelIter {
public:
    SimpleModelIter(const boost::shared_ptr<Model>& model, cmn::OpContext* ctx);
    boost::shared_ptr<Model> next() override;

private:
    boost::shared_ptr<Model> model_;
};

/// A reader and writer of one family of file formats, registered with the factory.
class MF_API ModelSource {
public:
    virtual ~ModelSource();
    /// True when this source reads the file at `path`.
    virtual bool handles(const char* path) const = 0;
    /// A stable, distinct name; never null.
    virtual const char* getName() const = 0;
    /// The model class name this source produces for the file, or "".
    virtual const char* getType(const char* path) const = 0;
    /// The formats this source reads and writes.
    virtual FormatList getSupportedFormats() = 0;
    /// True when `format` equals, ignoring ASCII case, the name of one of getSupportedFormats().
    virtual bool supports(const char* format) const;
    /// Fills `model` from the file in the named format. The base reads nothing and returns false.
    virtual bool retrieve(const char* path, Model& model, const char* format, cmn::OpContext* ctx,
                          const char* qualifier);
    /// Fills `model` from the file in the source's own format. The base returns false.
    virtual bool retrieve(const char* path, Model& model, cmn::OpContext* ctx, const char* qualifier);
    /// Writes `model` in the named format. The base returns false.
    virtual bool save(const char* path, Model& model, const char* format, cmn::OpContext* ctx);
    /// Writes `model` in the source's own format. The base returns false.
    virtual bool save(const char* path, Model& model, cmn::OpContext* ctx);
    /// An iterator of the source's own over the file; the base has none (empty pointer).
    virtual boost::shared_ptr<ModelIter> openIterator(const char* path, cmn::OpContext* ctx);
};

} // namespace Velm

#endif
