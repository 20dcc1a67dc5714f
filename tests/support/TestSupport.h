#ifndef MODELFACTORY_TESTS_SUPPORT_TESTSUPPORT_H
#define MODELFACTORY_TESTS_SUPPORT_TESTSUPPORT_H

#include <set>
#include <string>

namespace mftest {

/// The folder of third-party sample files: $MODELFACTORY_TESTDATA, else the checkout's
/// tests/data. "" when it does not exist (tests that need it then fail).
std::string testdataDir();
/// testdataDir() + "/" + relative, or "" when the folder is absent.
std::string testdataFile(const std::string& relative);

/// The project's own fixtures folder (tests/fixtures).
std::string fixturesDir();

/// A fresh, private temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    /// path() + "/" + name.
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

/// Writes `content` to `path` (binary, replacing the file). Returns the path.
std::string writeFile(const std::string& path, const std::string& content);
/// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);
/// `size` bytes of bases with a line end now and then, the same for the same seed: text that
/// deflates as sequence files do, but not to nothing.
std::string sequenceText(std::size_t size, unsigned seed = 3);
bool fileExists(const std::string& path);
/// The names in a folder, without "." and "..", hidden ones included.
std::set<std::string> filesIn(const std::string& folder);

} // namespace mftest

/// Fails the current test when the third-party sample folder is absent: a clone must test
/// itself, so missing data is a fault of the checkout, never a reason to skip.
#define MF_REQUIRE_TESTDATA()                                                              \
    do {                                                                                   \
        if (mftest::testdataDir().empty())                                                 \
            GTEST_FAIL() << "third-party test data not found in tests/data "               \
                            "(or where MODELFACTORY_TESTDATA points)";                       \
    } while (0)

#endif
