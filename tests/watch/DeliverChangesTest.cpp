#include "tests/watch/WatchTestSupport.h"
#include "watch/ShellChangeThread.h"

#include <gtest/gtest.h>

using namespace pw;
using pw::test::Call;
using pw::test::recordInto;

namespace {

// Batches handed straight to DeliverChanges, as the watcher thread would hand them over: no
// kernel, no thread running.
struct BatchCase {
    const char* name;
    QList<TChangeRecord> records;
    std::vector<Call> calls;
};

const QByteArray Site = "/srv/site/";

const BatchCase BatchCases[] = {
    {"added, removed, modified",
     {{caAdded, "a.htm"}, {caRemoved, "b.htm"}, {caModified, "c.htm"}},
     {{foAdded, "/srv/site/a.htm", ""},
      {foRemoved, "/srv/site/b.htm", ""},
      {foModified, "/srv/site/c.htm", ""}}},
    {"subfolder path between folder and name",
     {{caModified, "sub/deep/a.htm"}},
     {{foModified, "/srv/site/sub/deep/a.htm", ""}}},
    {"rename is one call with both paths",
     {{caRenamedOldName, "old.htm"}, {caRenamedNewName, "new.htm"}},
     {{foRenamed, "/srv/site/old.htm", "/srv/site/new.htm"}}},
    {"new name without old name", {{caRenamedNewName, "new.htm"}}, {}},
    {"new name after another operation",
     {{caAdded, "a.htm"}, {caRenamedNewName, "new.htm"}},
     {{foAdded, "/srv/site/a.htm", ""}}},
    {"old name carries over to a second new name",
     {{caRenamedOldName, "old.htm"}, {caRenamedNewName, "n1.htm"}, {caRenamedNewName, "n2.htm"}},
     {{foRenamed, "/srv/site/old.htm", "/srv/site/n1.htm"},
      {foRenamed, "/srv/site/old.htm", "/srv/site/n2.htm"}}},
    {"old name alone", {{caRenamedOldName, "old.htm"}}, {}},
    {"no name gives an empty path", {{caModified, ""}}, {{foModified, "", ""}}},
    // Names are taken as the file system has them: trimming would name another file.
    {"blanks belong to the name",
     {{caModified, " a.htm "}, {caAdded, " "}},
     {{foModified, "/srv/site/ a.htm ", ""}, {foAdded, "/srv/site/ ", ""}}},
    {"unknown actions and the empty record", {{caNone, "a"}, {9, "b"}}, {}},
};

TEST(DeliverChanges, RecordsBecomeCallsWithFullPaths) {
    for (const BatchCase& c : BatchCases) {
        SCOPED_TRACE(c.name);
        std::vector<Call> calls;
        TShellChangeThread thread(recordInto(calls));
        thread.SetOptions("/nonexistent-pagewarden-folder", true, 0x004, true);
        EXPECT_TRUE(thread.active());
        EXPECT_FALSE(thread.watching());
        thread.setPendingBatch({Site, c.records, {}});
        thread.DeliverChanges();
        EXPECT_EQ(calls, c.calls);
        thread.DeliverChanges(); // the batch was taken: nothing twice
        EXPECT_EQ(calls.size(), c.calls.size());
    }
}

TEST(DeliverChanges, FolderGetsItsSlash) {
    TShellChangeThread thread(nullptr);
    for (const auto& [given, kept] : {std::pair<QByteArray, QByteArray>{"/srv/site", "/srv/site/"},
                                      {"/srv/site/", "/srv/site/"},
                                      {"", "/"}}) {
        thread.SetOptions(given, false, 0x003, true);
        EXPECT_EQ(thread.folder(), kept);
    }
}

TEST(DeliverChanges, NothingWhileInactiveOrAfterTheHandlerSwitchesItOff) {
    std::vector<Call> calls;
    TShellChangeThread* self = nullptr;
    auto handler = [&](TFileOperation operation, const QByteArray& a, const QByteArray& b) {
        calls.push_back({operation, a, b});
        self->Stop(); // as a handler that sets Actived false would
    };
    TShellChangeThread thread(handler);
    self = &thread;
    const TChangeBatch batch{Site, {{caAdded, "a"}, {caAdded, "b"}}, {}};

    thread.SetOptions(Site, false, 0x003, true);
    thread.setPendingBatch(batch);
    thread.DeliverChanges();
    EXPECT_TRUE(calls.empty());

    thread.SetOptions(Site, true, 0x003, true);
    thread.setPendingBatch(batch);
    thread.DeliverChanges();
    EXPECT_EQ(calls, (std::vector<Call>{{foAdded, "/srv/site/a", ""}}));
}

// A batch read from the folder watched before new options is not delivered under them.
TEST(DeliverChanges, NothingReadUnderOptionsSinceReplaced) {
    std::vector<Call> calls;
    TShellChangeThread thread(recordInto(calls));
    thread.SetOptions("/nonexistent-pagewarden-folder", true, 0x004, true);
    thread.setPendingBatch({Site, {{caModified, "a.htm"}}, {}});
    thread.SetOptions("/nonexistent-pagewarden-other", true, 0x004, true);
    thread.DeliverChanges();
    EXPECT_TRUE(calls.empty());
}

TEST(DeliverChanges, NoticesGoToTheirHandler) {
    std::vector<TWatchNoticeKind> kinds;
    TShellChangeThread thread(nullptr, [&](const TWatchNotice& n) { kinds.push_back(n.Kind); });
    thread.SetOptions("/nonexistent-pagewarden-folder", true, 0x004, true);
    thread.setPendingBatch(
        {Site, {{caModified, "a"}}, {MakeWatchNotice(wnQueueOverflow, Site)}}); // no OnChange
    thread.DeliverChanges();
    EXPECT_EQ(kinds, std::vector<TWatchNoticeKind>{wnQueueOverflow});
    const TWatchNotice limit = MakeWatchNotice(wnWatchLimit, "/srv/site/sub/");
    EXPECT_TRUE(limit.Text.contains("fs.inotify.max_user_watches"));
    EXPECT_TRUE(limit.Text.endsWith("/srv/site/sub/"));
}

} // namespace
