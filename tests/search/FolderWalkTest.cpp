#include "search/FindFile.h"
#include "tests/search/SearchRecorder.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using pw::test::SearchRecorder;
using pw::test::TempTree;
using pw::test::waitFor;

namespace {

const TFileAttributes AllFive{ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory};

struct Entry {
    const char* path; // relative; ending with "/" for a folder, "->" for a link
    const char* content = "evil";
};

struct WalkCase {
    const char* name;
    std::vector<Entry> tree;
    // Sets up the criteria; the Location is the tree's root unless this changes it.
    std::function<void(TSearchCriteria&, const QByteArray& root)> setUp;
    std::vector<std::string> expected;
    std::map<std::string, TFolderIgnore> ignores = {};
    bool ordered = true;       // false where several entries come from one enumeration
    bool listsFolders = false; // the result changes when a phrase keeps directories out
};

void masks(TSearchCriteria& c, const char* m) {
    c.Files().setFileName(m);
}

const WalkCase WalkCases[] = {
    {"no target folder",
     {{"a.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { c.Files().setLocation(""); },
     {}},
    {"empty FileName lists every name",
     {{"a.htm"}, {"b.txt"}, {"README"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, ""); },
     {"F /", "M /README", "M /a.htm", "M /b.txt"},
     {},
     false},
    {"masks run last to first",
     {{"a.htm"}, {"a.php"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm;*.php"); },
     {"F /", "M /a.php", "M /a.htm"}},
    {"a name matching two masks is reported for each",
     {{"a.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "a.*;*.htm"); },
     {"F /", "M /a.htm", "M /a.htm"}},
    {"masks compare ignoring case",
     {{"A.HTM"}, {"b.html"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "M /A.HTM"}},
    {"the same folder twice: one walk, masks twice",
     {{"a.htm"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         masks(c, "*.htm");
         c.Files().setLocation(root + ";" + root + "/");
     },
     {"F /", "M /a.htm", "M /a.htm"}},
    {"a subfolder as its own target is walked again",
     {{"logs/f.htm"}, {"logs/deep/g.htm"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         masks(c, "*.htm");
         c.Files().setLocation(root + ";<" + root + "/logs");
     },
     {"F /", "F /logs/", "M /logs/f.htm", "F /logs/deep/", "M /logs/deep/g.htm", "F /logs/",
      "M /logs/f.htm"}},
    {"'>' recurses without Subfolders",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         masks(c, "*.htm");
         c.Files().setSubfolders(false);
         c.Files().setLocation(">" + root);
     },
     {"F /", "M /a.htm", "F /sub/", "M /sub/c.htm"}},
    {"'<' does not recurse with Subfolders",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         masks(c, "*.htm");
         c.Files().setLocation("<" + root);
     },
     {"F /", "M /a.htm"}},
    {"MinLevel 2 skips the root's files",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Files().setMinLevel(2);
     },
     {"F /", "F /sub/", "M /sub/c.htm"}},
    {"MaxLevel 1 is the root alone",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Files().setMaxLevel(1);
     },
     {"F /", "M /a.htm"}},
    {"MaxLevel 2 adds the direct subfolders",
     {{"a.htm"}, {"sub/c.htm"}, {"sub/deep/d.htm"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Files().setMaxLevel(2);
     },
     {"F /", "M /a.htm", "F /sub/", "M /sub/c.htm"}},
    {"fiJustThis skips the files only",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "F /sub/", "M /sub/c.htm"},
     {{"/", fiJustThis}}},
    {"fiJustSubfolders skips the subfolders only",
     {{"a.htm"}, {"sub/c.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "M /a.htm"},
     {{"/", fiJustSubfolders}}},
    {"fiThisAndSubfolders skips a whole tree",
     {{"a.htm"}, {"sub/c.htm"}, {"sub/deep/d.htm"}, {"sub/deep/more/e.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "M /a.htm", "F /sub/"},
     {{"/sub/", fiThisAndSubfolders}}},
    {"an ignore answer deep down leaves the rest alone",
     {{"x/a.htm"}, {"x/y/b.htm"}, {"x/y/z/c.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "F /x/", "M /x/a.htm", "F /x/y/", "F /x/y/z/", "M /x/y/z/c.htm"},
     {{"/x/y/", fiJustThis}}},
    {"hidden folders and files are searched",
     {{".hidden/.e.htm"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "F /.hidden/", "M /.hidden/.e.htm"}},
    {"a folder named like a mask is an entry when folders are allowed",
     {{"x.htm/"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Attribute().setAttributes(AllFive);
     },
     {"F /", "M /x.htm", "F /x.htm/"},
     {},
     true,
     true},
    {"the default attribute set keeps folders out",
     {{"x.htm/"}},
     [](TSearchCriteria& c, const QByteArray&) { masks(c, "*.htm"); },
     {"F /", "F /x.htm/"}},
    {"with a phrase no folder is listed",
     {{"x.htm/"}, {"a.htm"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Attribute().setAttributes(AllFive);
         c.Content().setPhrase("evil");
     },
     {"F /", "M /a.htm", "F /x.htm/"}},
    {"a link to a folder is listed but never entered",
     {{"real/c.htm"}, {"link.htm->real"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm");
         c.Attribute().setAttributes(AllFive);
     },
     {"F /", "M /link.htm", "F /real/", "M /real/c.htm"},
     {},
     true,
     true},
    {"Included items come before Location items",
     {{"sub/c.htm"}, {"logs/f.htm"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         masks(c, "*.htm");
         c.Files().setLocation(root + "/logs");
         c.Files().setIncluded({root + "/sub/*.htm"});
     },
     {"F /sub/", "M /sub/c.htm", "F /logs/", "M /logs/f.htm"}},
    {"an Included folder without a mask takes every name",
     {{"sub/c.txt"}},
     [](TSearchCriteria& c, const QByteArray& root) {
         c.Files().setLocation("");
         c.Files().setIncluded({root + "/sub/"});
     },
     {"F /sub/", "M /sub/c.txt"}},
    {"exclusions by mask and by folder",
     {{"a.htm"}, {"a.php"}, {"skip/b.htm"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm;*.php");
         c.Files().setExcluded({"*.php", "skip/"});
     },
     {"F /", "M /a.htm", "F /skip/"}},
    {"content decides last",
     {{"a.htm", "<p>evil</p>"}, {"a.php", "clean"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm;*.php");
         c.Content().setPhrase("EVIL");
     },
     {"F /", "M /a.htm"}},
    {"size bounds through the walk",
     {{"a.htm", "evil evil"}, {"a.php", "evil"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm;*.php");
         c.Size().setMin(5);
     },
     {"F /", "M /a.htm"}},
    {"a FIFO named like a mask is passed over",
     {{"pipe.htm|"}, {"a.php"}},
     [](TSearchCriteria& c, const QByteArray&) {
         masks(c, "*.htm;*.php");
         c.Content().setPhrase("evil");
     },
     {"F /", "M /a.php"}},
};

void build(const TempTree& tree, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        const QByteArray path(e.path);
        if (path.endsWith('/')) {
            tree.mkdir(path);
        } else if (const qsizetype arrow = path.indexOf("->"); arrow >= 0) {
            ASSERT_EQ(
                ::symlink(path.mid(arrow + 2).constData(), tree.path(path.left(arrow)).constData()),
                0);
        } else if (path.endsWith('|')) {
            ASSERT_EQ(::mkfifo(tree.path(path.chopped(1)).constData(), 0644), 0);
        } else {
            tree.write(path, e.content);
        }
    }
}

struct Mode {
    const char* name;
    bool threaded;
    int scanThreads;
    bool addPhrase; // also search for "evil", which every fixture file holds by default
};

class FolderWalk : public ::testing::TestWithParam<Mode> {};

} // namespace

// Every case runs unthreaded and threaded, with the plain walk and with files read ahead on
// helper threads: the events and their order must not differ.
TEST_P(FolderWalk, Cases) {
    const Mode mode = GetParam();
    for (const WalkCase& c : WalkCases) {
        if (mode.addPhrase && c.listsFolders) continue;
        TempTree tree;
        build(tree, c.tree);
        TFindFile findFile;
        findFile.setThreaded(mode.threaded);
        findFile.setScanThreads(mode.scanThreads);
        findFile.Criteria().Files().setLocation(tree.path());
        if (mode.addPhrase) findFile.Criteria().Content().setPhrase("evil");
        c.setUp(findFile.Criteria(), tree.path());

        SearchRecorder recorder(findFile, tree.path());
        recorder.ignores = c.ignores;
        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return recorder.finished(); })) << c.name;

        std::vector<std::string> events = recorder.walkEvents();
        std::vector<std::string> expected = c.expected;
        if (!c.ordered) {
            std::sort(events.begin(), events.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(events, expected) << c.name;
        EXPECT_FALSE(findFile.Busy());
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FolderWalk,
                         ::testing::Values(Mode{"unthreaded", false, 0, false},
                                           Mode{"threaded", true, 0, false},
                                           Mode{"unthreaded_phrase", false, 0, true},
                                           Mode{"unthreaded_read_ahead", false, 1, true},
                                           Mode{"threaded_read_ahead_3", true, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The record a handler gets is complete even when no criterion needed the entry's status.
TEST(FolderWalkRecords, MatchRecordsCarrySizeAttributesAndTime) {
    for (const int scanThreads : {0, 1}) {
        TempTree tree;
        const QByteArray path = tree.write("a.htm", QByteArray(1025, 'e') + "vil", 0444);
        const timespec times[2] = {{1721088000, 0}, {1721050259, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);

        TFindFile findFile;
        findFile.setScanThreads(scanThreads);
        findFile.Criteria().Files().setLocation(tree.path());
        findFile.Criteria().Content().setPhrase("evil");
        SearchRecorder recorder(findFile, tree.path());
        findFile.Execute();

        ASSERT_EQ(recorder.records.size(), 1u);
        const TSearchRec& rec = recorder.records[0];
        EXPECT_EQ(rec.Name, "a.htm");
        EXPECT_EQ(rec.Size, 1028);
        EXPECT_EQ(rec.Attr, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(rec.FindData.ftLastWriteTime, FileTimeFromTimespec(1721050259, 0));
        EXPECT_EQ(rec.Time, FileTimeToDosDateTime(rec.FindData.ftLastWriteTime));
    }
}

TEST(FolderWalkRecords, UnreadableFolderIsAnnouncedButYieldsNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    TempTree tree;
    tree.write("closed/a.htm", "evil");
    ASSERT_EQ(::chmod(tree.path("closed").constData(), 0), 0);
    TFindFile findFile;
    findFile.Criteria().Files().setLocation(tree.path());
    findFile.Criteria().Files().setFileName("*.htm");
    SearchRecorder recorder(findFile, tree.path());
    findFile.Execute();
    ::chmod(tree.path("closed").constData(), 0755);
    EXPECT_EQ(recorder.walkEvents(), (std::vector<std::string>{"F /", "F /closed/"}));
}
