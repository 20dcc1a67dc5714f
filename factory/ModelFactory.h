#ifndef MODELFACTORY_FACTORY_MODELFACTORY_H
#define MODELFACTORY_FACTORY_MODELFACTORY_H

#include <contracts/Blast.h>
#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>
#include <factory/ObjectLevelLockable.h>
#include <trace/TraceFile.h>

#include <boost/shared_ptr.hpp>

#include <string>
#include <utility>
#include <vector>

namespace Ovik {
class ModelFactory;
class ModelFactoryTestAccess;
class CompressedFileSource;
} // namespace Ovik

/// The one factory of the process, created on the first call. The first call must return before
/// other threads use the factory; a constructor that throws leaves no factory, and a later call
/// tries again.
MF_API Ovik::ModelFactory& GetModelFactory();

namespace Ovik {

/// The same function under the library's namespace, for code that already calls it so.
using ::GetModelFactory;

/// Turns files into models and back: detection, opening, iteration, saving, the format list, and a
/// list of selected files kept for the host. Format sources are registered by name; when several
/// accept a file or format, the one whose name sorts first (byte-wise) is used.
///
/// Paths may be format-qualified, FORMAT@@FILE, where the operation says so. Every cmn::OpContext*
/// may be null: reports are then dropped and the results stay the same.
///
/// Threads: addSource, removeSource and the source lookups take the factory's (recursive) lock;
/// the sources found are called outside it. getType(path, format, ctx), the format-directed opens,
/// save by format and getSupportedFormats read the registry without the lock, so sources must not
/// be added or removed while they run. The selected-files list is not locked.
class MF_API ModelFactory : public Velm::ObjectLevelLockable<ModelFactory> {
public:
    typedef std::pair<std::string, boost::shared_ptr<Velm::ModelSource>> SourceEntry;

    /// Releases the selected-files list, then the registry (and its share in every source), then
    /// the lock.
    ~ModelFactory();

    ModelFactory(const ModelFactory&) = delete;
    ModelFactory& operator=(const ModelFactory&) = delete;

    /// @name Source registry
    /// @{
    /// Registers `source` under the name its getName() gives now. With an existing name, `replace`
    /// swaps the source in; otherwise nothing changes. An empty pointer is ignored.
    void addSource(const boost::shared_ptr<Velm::ModelSource>& source, bool replace);
    /// Removes the source of exactly that name (case-sensitive); unknown names are ignored.
    /// A caller holding the source keeps it alive.
    void removeSource(const char* name);
    /// Every registered source's formats in registry order, then the archive formats, then the
    /// eleven chromatogram formats. Nothing is merged or sorted.
    Velm::FormatList getSupportedFormats() const;
    /// @}

    /// @name Detection
    /// @{
    /// The model class name for the file: the first source that handles the path decides alone;
    /// otherwise the extension table, then chromatogram sniffing, then the archive probe.
    /// "" when the file is not a regular file or is not classified. Reports nothing.
    std::string getType(const char* path);
    /// The model class name for the file read in `format`: sources supporting the format first,
    /// then the archive, chromatogram and alignment formats. Warns "Not a regular file." (answer "")
    /// or "Cannot find the correct data-type of <path>" (answer the sequence model class).
    std::string getType(const char* path, const char* format, cmn::OpContext* ctx) const;
    /// @}

    /// @name Opening by model class name
    /// @{
    /// Opens the file as a sequence model (no detection).
    boost::shared_ptr<Velm::Model> open(const char* path, cmn::OpContext* ctx);
    /// Opens the file as a model of class `type` (exact className text). Errors "Unknown model
    /// type: <type>" and returns an empty pointer for any other text. A model that read nothing
    /// comes back non-null and empty.
    boost::shared_ptr<Velm::Model> open(const char* path, const char* type, cmn::OpContext* ctx);
    /// As above, reading `format`; only alignment, assembly and sequence models take a format name.
    boost::shared_ptr<Velm::Model> open(const char* path, const char* type, const char* format,
                                        cmn::OpContext* ctx);
    /// @}

    /// @name Iteration
    /// @{
    /// An iterator over the models in the file: a source's own, one over a single loaded model, or
    /// one over the entries of a sequence archive. Empty pointer after an error report.
    /// `qualifier` is passed to the readers untouched.
    boost::shared_ptr<Velm::ModelIter> iterate(const char* path, const char* qualifier,
                                               cmn::OpContext* ctx, std::string format);
    /// @}

    /// @name Saving
    /// @{
    /// Writes the model in the format the path's extension names (a source that handles the path
    /// first). True when the file was written; the model's URL is then the path.
    bool save(const char* path, Velm::Model& model, cmn::OpContext* ctx);
    /// Writes the model in the named format (sources supporting it first, in registry order).
    bool save(const char* path, Velm::Model& model, const char* format, cmn::OpContext* ctx);
    /// @}

    /// @name Selected files (kept for the host, never examined)
    /// @{
    const std::vector<std::string>& getSelectedFiles() const;
    unsigned int getSelectedCount() const;
    void setSelectedFiles(const std::vector<std::string>& files);
    void clearSelectedFiles();
    /// @}

private:
    friend ModelFactory& ::GetModelFactory();
    friend class ModelFactoryTestAccess;
    friend class CompressedFileSource; // writes through the factory's archive route

    ModelFactory();

    // Registry lookups; each holds the lock while it asks the sources.
    boost::shared_ptr<Velm::ModelSource> findSource(const char* path);
    boost::shared_ptr<Velm::ModelSource> findSourceWithoutExt(const char* path);
    boost::shared_ptr<Velm::ModelSource> findSourceFormat(std::string format);
    std::vector<SourceEntry>::iterator positionOf(const std::string& name);

    // Detection pieces shared with the openers.
    bool isFile(const char* path) const;
    const char* scanNative(const char* path) const;

    // The factory's own readers: a chromatogram as one sequence, every entry of an archive.
    bool openTrace(const char* path, Velm::BioModel& model, cmn::OpContext* ctx);
    bool openSAL(const char* path, Velm::BioModel& model, cmn::OpContext* ctx);
    bool openFile(const char* path, Velm::BioModel& model, cmn::OpContext* ctx);
    bool openFile(const char* path, Velm::BioModel& model, const char* format, cmn::OpContext* ctx);

    // Typed openers, chosen by open().
    boost::shared_ptr<Velm::Model> openAlignment(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openAssembly(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openSequence(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openAlignment(const char* path, const char* format, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openAssembly(const char* path, const char* format, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openSequence(const char* path, const char* format, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openCFProj(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openDotPlot(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openPrimer(const char* path, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openXBlast(const char* path, Velm::XBlastModel* model, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openBlast(const char* path, Velm::BlastModel* model, cmn::OpContext* ctx);
    boost::shared_ptr<Velm::Model> openDBQuery(const char* path, Velm::DBQueryModel* model, cmn::OpContext* ctx);

    // Shared bodies of the opener families.
    void readByPath(const char* path, Velm::BioModel& model, cmn::OpContext* ctx);
    void readByFormat(const char* path, Velm::BioModel& model, const char* format, cmn::OpContext* ctx);
    void readFromSource(const char* path, Velm::Model& model, cmn::OpContext* ctx);

    boost::shared_ptr<Velm::ModelIter> openSALIter(const char* path, const char* qualifier,
                                                   cmn::OpContext* ctx, std::string format);

    bool saveSAL(const char* path, const char* format, Velm::Model& model, cmn::OpContext* ctx);
    bool saveFastA(const char* path, const Velm::Alignment& alignment, cmn::OpContext* ctx);

    std::vector<SourceEntry> sources_;
    std::vector<std::string> selectedFiles_;
};

} // namespace Ovik

// The lock of the factory is instantiated once, inside the library.
extern template class Velm::ObjectLevelLockable<Ovik::ModelFactory>;

#endif
