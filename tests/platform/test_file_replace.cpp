// Whole-file replacement as the report and preferences writers use it: a write cut off
// by a file-size limit (a full disk, in effect) keeps the old file and leaves no
// temporary; FIFOs, and links to them, are never replaced; a link to a regular file
// stays a link whose target gets the bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/file_replace.h"
#include "tests/support/file_size_limit.h"

namespace fs = std::filesystem;

namespace {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "file_replace_XXXXXX").string();
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    // The names in the folder (or in its sub-folder `sub`), hidden ones included.
    std::set<std::string> names(const std::string& sub = {}) const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(m_path / sub)) found.insert(entry.path().filename().string());
        return found;
    }

private:
    fs::path m_path;
};

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_plain(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

platform::FileReplaceResult replace(const std::string& path, const std::string& bytes) {
    return platform::replace_file_utf8(path.c_str(), bytes.data(), bytes.size());
}

bool is_fifo(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

bool is_link(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace

TEST(FileReplace, WriteCutOffByTheSizeLimitKeepsTheOldFileAndLeavesNoTemporary) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string report = dir / "report.txt";
    const std::string old_bytes = "the good old report\nsecond line\n";
    write_plain(report, old_bytes);
    ASSERT_EQ(chmod(report.c_str(), 0640), 0);
    const std::string new_bytes(64 * 1024, 'n');

    {
        testsupport::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.armed());
        const platform::FileReplaceResult over = replace(report, new_bytes);
        EXPECT_FALSE(over);
        EXPECT_EQ(over.error, EFBIG);
        EXPECT_FALSE(over.message.empty());
        // A new file that cannot be completed is not left behind, not even empty.
        EXPECT_FALSE(replace(dir / "new.txt", new_bytes));
    }
    EXPECT_EQ(read_all(report), old_bytes);
    EXPECT_EQ(dir.names(), std::set<std::string>{"report.txt"});

    // Without the limit the same write goes through, and the file keeps its mode.
    ASSERT_TRUE(replace(report, new_bytes));
    EXPECT_EQ(read_all(report), new_bytes);
    struct stat info {};
    ASSERT_EQ(stat(report.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.names(), std::set<std::string>{"report.txt"});
}

TEST(FileReplace, FifosFoldersAndLinksToThemAreNeverReplaced) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string fifo = dir / "prefs.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("prefs.fifo", (dir / "prefs.xml").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
    // A reader on the FIFO, so that a writer that opens it anyway fails the test
    // instead of blocking it.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    for (const char* name : {"prefs.fifo", "prefs.xml", "folder"}) {
        const platform::FileReplaceResult result = replace(dir / name, "<root/>\n");
        EXPECT_FALSE(result) << name;
        EXPECT_FALSE(result.message.empty()) << name;
    }
    close(reader);
    EXPECT_TRUE(is_fifo(fifo));
    EXPECT_TRUE(is_link(dir / "prefs.xml"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"prefs.fifo", "prefs.xml", "folder"}));
}

TEST(FileReplace, LinkToARegularFileStaysALinkAndItsTargetIsUpdated) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_EQ(mkdir((dir / "real").c_str(), 0700), 0);
    const std::string target = dir / "real/prefs.xml";
    write_plain(target, "old");
    // A relative link to an absolute one to the file.
    ASSERT_EQ(symlink(target.c_str(), (dir / "absolute.xml").c_str()), 0);
    ASSERT_EQ(symlink("absolute.xml", (dir / "prefs.xml").c_str()), 0);
    ASSERT_TRUE(replace(dir / "prefs.xml", "new bytes"));
    EXPECT_TRUE(is_link(dir / "prefs.xml"));
    EXPECT_TRUE(is_link(dir / "absolute.xml"));
    EXPECT_EQ(read_all(target), "new bytes");
    EXPECT_EQ(dir.names(), (std::set<std::string>{"real", "absolute.xml", "prefs.xml"}));

    // A dangling link gets its target made.
    ASSERT_EQ(symlink("real/made.txt", (dir / "dangling.txt").c_str()), 0);
    ASSERT_TRUE(replace(dir / "dangling.txt", "made"));
    EXPECT_TRUE(is_link(dir / "dangling.txt"));
    EXPECT_EQ(read_all(dir / "real/made.txt"), "made");

    // A file we may not write is refused, as opening it would be (root may write it).
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(target.c_str(), 0444), 0);
        const platform::FileReplaceResult refused = replace(dir / "prefs.xml", "other");
        EXPECT_EQ(refused.error, EACCES);
        EXPECT_EQ(read_all(target), "new bytes");
    }
    EXPECT_EQ(dir.names("real"), (std::set<std::string>{"prefs.xml", "made.txt"}));
}
