#include "watch/FileSystemWatcher.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"
#include "tests/watch/WatchTestSupport.h"
#include "watch/FanotifyTree.h"
#include "watch/ShellChangeThread.h"

#include <QMetaProperty>

#include <cstring>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using namespace pw::test;

namespace {

const TNotifyFilters WindowFilter{nfAttributeChange};

// Writes bytes in the given number of write() calls, creating or truncating the file.
void writeFile(const QByteArray& path, const QByteArray& bytes, int chunks = 1) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    const qsizetype step = std::max<qsizetype>(1, bytes.size() / chunks);
    for (qsizetype at = 0; at < bytes.size(); at += step)
        ASSERT_GT(::write(fd, bytes.constData() + at, std::min(step, bytes.size() - at)), 0);
    ::close(fd);
}

void makeDir(const QByteArray& path) {
    ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
}

void moveFile(const QByteArray& from, const QByteArray& to) {
    ASSERT_EQ(std::rename(from.constData(), to.constData()), 0) << from.constData();
}

const char* backendName(TWatchBackend backend) {
    return backend == wbFanotify ? "fanotify" : backend == wbInotify ? "inotify" : "auto";
}

// A watcher on a temporary folder, recording its calls and notices on the main thread, through
// one backend. Fanotify needs root; elsewhere its cases skip.
class WatchBase : public ::testing::Test {
protected:
    void useBackend(TWatchBackend chosen) {
        backend = chosen;
        if (backend != wbFanotify) return;
        if (const QByteArray why = FanotifyUnavailable({site.path()}); !why.isEmpty())
            GTEST_SKIP() << "fanotify cannot be used here: " << why.constData();
    }
    void newWatcher() {
        watcher = std::make_unique<TFileSystemWatcher>();
        watcher->setBackend(backend);
    }
    void start(TNotifyFilters filters, bool subtree = true) {
        newWatcher();
        watcher->setNotifyFilters(filters);
        watcher->setWatchSubTree(subtree);
        watcher->setWatchedDir(site.path());
        watcher->setOnChange(recordInto(calls));
        watcher->OnNotice = [this](const TWatchNotice& n) { notices.push_back(n); };
        watcher->setActived(true);
        ASSERT_TRUE(watcher->watching());
        ASSERT_EQ(watcher->backendInUse(), backend);
    }
    QByteArray at(const QByteArray& relative) const { return site.path(relative); }

    bool reported(const Call& call) {
        return waitFor([&] { return std::count(calls.begin(), calls.end(), call) > 0; });
    }
    // Makes a change the watcher reports and waits for it: every change made before it has been
    // reported by then, as one inotify instance keeps its events in order. Returns the calls
    // before it and forgets them.
    std::vector<Call> settle() {
        const QByteArray marker = at("zz-marker-" + QByteArray::number(++m_markers) + ".txt");
        writeFile(marker, "marker");
        const Call expected = watcher->NotifyFilters().contains(nfFileNameChange)
                                  ? Call{foAdded, marker, ""}
                                  : Call{foModified, marker, ""};
        EXPECT_TRUE(reported(expected)) << marker.constData();
        std::vector<Call> before(calls.begin(), std::find(calls.begin(), calls.end(), expected));
        calls.clear();
        return before;
    }

    TempTree site;
    TempTree elsewhere; // outside the watched tree, on the same file system
    std::unique_ptr<TFileSystemWatcher> watcher;
    std::vector<Call> calls;
    std::vector<TWatchNotice> notices;
    TWatchBackend backend = wbInotify;

private:
    int m_markers = 0;
};

class Watch : public WatchBase, public ::testing::WithParamInterface<TWatchBackend> {
protected:
    void SetUp() override { useBackend(GetParam()); }
};

const TWatchBackend Backends[] = {wbInotify, wbFanotify};

TEST(FileSystemWatcher, NewWatcherAndFilterWords) {
    TFileSystemWatcher watcher;
    EXPECT_FALSE(watcher.Actived());
    EXPECT_EQ(watcher.WatchedDir(), "/");
    EXPECT_TRUE(watcher.WatchSubTree());
    EXPECT_EQ(watcher.NotifyFilters(), (TNotifyFilters{nfFileNameChange, nfDirNameChange}));
    EXPECT_FALSE(watcher.OnChange());
    EXPECT_EQ(watcher.changeThread(), nullptr);

    const std::pair<TNotifyFilters, quint32> words[] = {
        {{nfFileNameChange, nfDirNameChange}, 0x003},
        {{nfAttributeChange}, 0x004},
        {{nfSecurityChange}, 0x100},
        {TNotifyFilters::fromBits(0xFF), 0x17F},
        {{}, 0x000},
    };
    for (const auto& [filters, word] : words) {
        watcher.setNotifyFilters(filters);
        EXPECT_EQ(watcher.filterWord(), word) << int(filters.bits());
    }
    static_assert(sizeof(TNotifyFilters) == 1);
    EXPECT_TRUE(watcher.setProperty("NotifyFilters", quint8(0x04)));
    EXPECT_EQ(watcher.NotifyFilters(), WindowFilter);
    std::vector<std::string> names;
    const QMetaObject* meta = watcher.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names.push_back(meta->property(i).name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"Actived", "WatchedDir", "WatchSubTree", "NotifyFilters"}));
}

TEST_P(Watch, NameChangesWithFullPaths) {
    start({nfFileNameChange, nfDirNameChange});
    const QByteArray a = at("a.htm"), b = at("b.htm"), sub = at("sub"), c = at("sub/c.htm");
    writeFile(a, "x");
    EXPECT_TRUE(reported({foAdded, a, ""}));
    moveFile(a, b);
    EXPECT_TRUE(reported({foRenamed, a, b}));
    makeDir(sub);
    EXPECT_TRUE(reported({foAdded, sub, ""}));
    writeFile(c, "y");
    EXPECT_TRUE(reported({foAdded, c, ""}));
    moveFile(c, elsewhere.path("c.htm"));
    EXPECT_TRUE(reported({foRemoved, c, ""}));
    moveFile(elsewhere.path("c.htm"), at("in.htm"));
    EXPECT_TRUE(reported({foAdded, at("in.htm"), ""}));
    writeFile(b, "rewritten"); // content is no name change
    ASSERT_EQ(::unlink(b.constData()), 0);
    EXPECT_TRUE(reported({foRemoved, b, ""}));
    EXPECT_EQ(settle(), (std::vector<Call>{{foAdded, a, ""},
                                           {foRenamed, a, b},
                                           {foAdded, sub, ""},
                                           {foAdded, c, ""},
                                           {foRemoved, c, ""},
                                           {foAdded, at("in.htm"), ""},
                                           {foRemoved, b, ""}}));
}

// The window's filter: what a site's files go through, and what it must stay quiet about.
struct WindowCase {
    const char* name;
    void (*act)(const TempTree& site, const TempTree& elsewhere);
    std::vector<QByteArray> modified; // relative to the watched folder, in order
};

class WindowFilterCases
    : public WatchBase,
      public ::testing::WithParamInterface<std::tuple<TWatchBackend, WindowCase>> {
protected:
    void SetUp() override { useBackend(std::get<0>(GetParam())); }
};

TEST_P(WindowFilterCases, ReportsEachCompletedWriteOnce) {
    const WindowCase& c = std::get<1>(GetParam());
    site.write("page.htm", "old page");
    site.write("sub/deep/page.htm", "old page");
    start(WindowFilter);
    c.act(site, elsewhere);
    std::vector<Call> expected;
    for (const QByteArray& relative : c.modified)
        expected.push_back({foModified, at(relative), ""});
    EXPECT_EQ(settle(), expected);
}

const WindowCase WindowCases[] = {
    {"saved in place",
     [](const TempTree& site, const TempTree&) { writeFile(site.path("page.htm"), "new page"); },
     {"page.htm"}},
    {"created and written in pieces",
     [](const TempTree& site, const TempTree&) {
         writeFile(site.path("new.htm"), QByteArray(64 * 1024, 'x'), 16);
     },
     {"new.htm"}},
    {"in a subfolder",
     [](const TempTree& site, const TempTree&) {
         writeFile(site.path("sub/deep/page.htm"), "new page");
     },
     {"sub/deep/page.htm"}},
    {"written elsewhere and moved in",
     [](const TempTree& site, const TempTree& elsewhere) {
         writeFile(elsewhere.path("page.htm"), "new page");
         moveFile(elsewhere.path("page.htm"), site.path("page.htm"));
     },
     {"page.htm"}},
    {"written beside and renamed over it",
     [](const TempTree& site, const TempTree&) {
         writeFile(site.path("sub/.page.htm.swp"), "new page");
         moveFile(site.path("sub/.page.htm.swp"), site.path("sub/deep/page.htm"));
     },
     {"sub/.page.htm.swp", "sub/deep/page.htm"}},
    {"status changed",
     [](const TempTree& site, const TempTree&) {
         ASSERT_EQ(::chmod(site.path("page.htm").constData(), 0600), 0);
     },
     {"page.htm"}},
    {"empty file created",
     [](const TempTree& site, const TempTree&) { writeFile(site.path("empty.htm"), ""); },
     {}},
    {"empty file touched into being",
     [](const TempTree& site, const TempTree&) {
         const QByteArray path = site.path("touched.htm");
         const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::futimens(fd, nullptr), 0); // what touch does
         ::close(fd);
     },
     {}},
    {"deleted",
     [](const TempTree& site, const TempTree&) {
         ASSERT_EQ(::unlink(site.path("page.htm").constData()), 0);
     },
     {}},
    {"renamed without a write",
     [](const TempTree& site, const TempTree&) {
         moveFile(site.path("page.htm"), site.path("renamed.htm"));
     },
     {}},
    {"moved out",
     [](const TempTree& site, const TempTree& elsewhere) {
         moveFile(site.path("page.htm"), elsewhere.path("page.htm"));
     },
     {}},
    {"folder made", [](const TempTree& site, const TempTree&) { makeDir(site.path("made")); }, {}},
};

INSTANTIATE_TEST_SUITE_P(Window, WindowFilterCases,
                         ::testing::Combine(::testing::ValuesIn(Backends),
                                            ::testing::ValuesIn(WindowCases)),
                         [](const auto& info) {
                             std::string name = std::string(backendName(std::get<0>(info.param))) +
                                                "_" + std::get<1>(info.param).name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST_P(Watch, WithoutSubTreeOnlyTheFolderItself) {
    site.write("sub/page.htm", "old");
    start(WindowFilter, false);
    writeFile(at("sub/page.htm"), "new");
    writeFile(at("top.htm"), "new");
    EXPECT_EQ(settle(), (std::vector<Call>{{foModified, at("top.htm"), ""}}));
}

TEST_P(Watch, FoldersAddedLaterAreWatchedFromTheirFirstFile) {
    start(WindowFilter);
    // Files written right after their folder is made, before the watcher can have seen it.
    makeDir(at("new"));
    writeFile(at("new/a.htm"), "a");
    ASSERT_EQ(
        ::system(("mkdir -p '" + at("deep/x/y") + "' && echo b > '" + at("deep/x/y/b.htm") + "'")
                     .constData()),
        0);
    EXPECT_TRUE(reported({foModified, at("new/a.htm"), ""}));
    EXPECT_TRUE(reported({foModified, at("deep/x/y/b.htm"), ""}));

    // A folder moved in from outside, then written in.
    elsewhere.write("moved/inner/old.htm", "old");
    moveFile(elsewhere.path("moved"), at("moved"));
    settle();
    writeFile(at("moved/inner/old.htm"), "new");
    EXPECT_TRUE(reported({foModified, at("moved/inner/old.htm"), ""}));

    // A watched folder renamed: its files are reported under the new name.
    moveFile(at("deep"), at("renamed"));
    writeFile(at("renamed/x/y/b.htm"), "changed");
    EXPECT_TRUE(reported({foModified, at("renamed/x/y/b.htm"), ""}));

    // A folder moved out is no longer reported.
    moveFile(at("renamed"), elsewhere.path("gone"));
    settle();
    writeFile(elsewhere.path("gone/x/y/b.htm"), "outside");
    EXPECT_EQ(settle(), std::vector<Call>{});
}

TEST_P(Watch, NothingAfterDeactivationEvenWithABatchOnItsWay) {
    start(WindowFilter);
    QPointer<const TShellChangeThread> thread = watcher->changeThread();
    writeFile(at("a.htm"), "a");
    // The thread has handed the batch over and waits; the main thread has not run it yet.
    ASSERT_TRUE(waitWithoutEvents([&] { return thread->handingOver(); }));
    watcher->setActived(false);
    EXPECT_EQ(watcher->changeThread(), nullptr);
    ASSERT_TRUE(waitFor([&] { return thread.isNull(); })); // it ended and freed itself
    EXPECT_TRUE(calls.empty());
    writeFile(at("b.htm"), "b");
    watcher->setActived(true); // a new watch reports again
    writeFile(at("c.htm"), "c");
    EXPECT_EQ(settle(), (std::vector<Call>{{foModified, at("c.htm"), ""}}));
}

TEST_P(Watch, NothingAfterDestructionEvenWithABatchOnItsWay) {
    start(WindowFilter);
    QPointer<const TShellChangeThread> thread = watcher->changeThread();
    writeFile(at("a.htm"), "a");
    ASSERT_TRUE(waitWithoutEvents([&] { return thread->handingOver(); }));
    watcher.reset();
    ASSERT_TRUE(waitFor([&] { return thread.isNull(); }));
    EXPECT_TRUE(calls.empty());
}

TEST_P(Watch, MissingFolderReportsNothingUntilNewOptions) {
    newWatcher();
    watcher->setNotifyFilters(WindowFilter);
    watcher->setWatchedDir(at("later"));
    watcher->setOnChange(recordInto(calls));
    watcher->OnNotice = [this](const TWatchNotice& n) { notices.push_back(n); };
    watcher->setActived(true);
    ASSERT_NE(watcher->changeThread(), nullptr);
    EXPECT_FALSE(watcher->watching());
    makeDir(at("later"));
    writeFile(at("later/a.htm"), "a");
    EXPECT_FALSE(watcher->watching()); // no retry on its own
    watcher->setActived(false);
    watcher->setActived(true);
    ASSERT_TRUE(watcher->watching());
    writeFile(at("later/b.htm"), "b");
    EXPECT_TRUE(reported({foModified, at("later/b.htm"), ""}));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_TRUE(notices.empty()); // a missing folder is no failure to tell about
}

TEST_P(Watch, AnotherFolderWhileActiveMovesTheWatch) {
    site.mkdir("one");
    site.mkdir("One"); // another folder on Linux, not the same one in other letter case
    newWatcher();
    watcher->setNotifyFilters(WindowFilter);
    watcher->setWatchedDir(at("one"));
    watcher->setOnChange(recordInto(calls));
    watcher->setActived(true);
    const TShellChangeThread* thread = watcher->changeThread();
    watcher->setWatchedDir(at("One"));
    EXPECT_EQ(watcher->changeThread(), thread); // reopened on the running thread
    writeFile(at("one/a.htm"), "a");
    writeFile(at("One/b.htm"), "b");
    EXPECT_TRUE(reported({foModified, at("One/b.htm"), ""}));
    EXPECT_EQ(calls, (std::vector<Call>{{foModified, at("One/b.htm"), ""}}));
}

TEST_P(Watch, HandlerStartsAndStopsTheWatch) {
    newWatcher();
    watcher->setNotifyFilters(WindowFilter);
    watcher->setWatchedDir(site.path());
    watcher->setActived(true);
    EXPECT_EQ(watcher->changeThread(), nullptr); // no handler, no thread
    watcher->setOnChange(recordInto(calls));
    ASSERT_TRUE(watcher->watching());
    writeFile(at("a.htm"), "a");
    EXPECT_TRUE(reported({foModified, at("a.htm"), ""}));
    QPointer<const TShellChangeThread> thread = watcher->changeThread();
    watcher->setOnChange(nullptr);
    EXPECT_EQ(watcher->changeThread(), nullptr);
    ASSERT_TRUE(waitFor([&] { return thread.isNull(); }));
}

TEST_P(Watch, QueueOverflowIsNoticedAndTheWatchGoesOn) {
    const QByteArray kind = backend == wbFanotify ? "fanotify" : "inotify";
    const QByteArray sysctl = "fs." + kind + ".max_queued_events";
    int limit = 0;
    if (FILE* f = std::fopen(("/proc/sys/fs/" + kind + "/max_queued_events").constData(), "r")) {
        if (std::fscanf(f, "%d", &limit) != 1) limit = 0;
        std::fclose(f);
    }
    if (limit <= 0 || limit > 200000) GTEST_SKIP() << kind.constData() << " queue limit " << limit;
    site.mkdir("flood");
    start(WindowFilter);
    // While the main thread is in the handler, the watcher thread waits and reads nothing: the
    // kernel queue fills up behind it. Every name is new, so no event merges with another.
    bool flooded = false;
    watcher->setOnChange([&](TFileOperation operation, const QByteArray& a, const QByteArray& b) {
        calls.push_back({operation, a, b});
        if (flooded) return;
        flooded = true;
        for (int i = 0; i <= limit + 1; ++i) {
            const int fd = ::open(at("flood/" + QByteArray::number(i)).constData(),
                                  O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) ::close(fd);
        }
        writeFile(at("lost.htm"), "written once the queue was full");
    });
    writeFile(at("first.htm"), "first");
    ASSERT_TRUE(waitFor([&] { return !notices.empty(); }));
    EXPECT_EQ(notices.front().Kind, wnQueueOverflow);
    EXPECT_TRUE(notices.front().Text.contains(sysctl)) << notices.front().Text.constData();
    // Fanotify finds the files changed while events were lost again.
    if (backend == wbFanotify) {
        EXPECT_TRUE(reported({foModified, at("lost.htm"), ""}));
    }
    makeDir(at("after")); // folders made after the overflow are watched too
    writeFile(at("after/last.htm"), "last");
    EXPECT_TRUE(reported({foModified, at("after/last.htm"), ""}));
}

TEST_P(Watch, SeveralFoldersAtOnce) {
    site.mkdir("one");
    site.mkdir("two");
    newWatcher();
    watcher->setNotifyFilters(WindowFilter);
    watcher->setWatchedDirs({at("one"), at("two/")});
    watcher->setOnChange(recordInto(calls));
    watcher->setActived(true);
    ASSERT_TRUE(watcher->watching());
    EXPECT_EQ(watcher->WatchedDir(), at("one"));
    writeFile(at("one/a.htm"), "a");
    writeFile(at("two/b.htm"), "b");
    writeFile(at("between.htm"), "not under either folder");
    EXPECT_TRUE(reported({foModified, at("one/a.htm"), ""}));
    EXPECT_TRUE(reported({foModified, at("two/b.htm"), ""}));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call{foModified, at("between.htm"), ""}), 0);
}

TEST_P(Watch, DeletedWatchedFolderIsWatchedNoMore) {
    site.mkdir("w");
    site.mkdir("stays");
    newWatcher();
    watcher->setNotifyFilters(WindowFilter);
    watcher->setWatchedDirs({at("w"), at("stays")});
    watcher->setOnChange(recordInto(calls));
    watcher->setActived(true);
    ASSERT_TRUE(watcher->watching());
    ASSERT_EQ(::rmdir(at("w").constData()), 0);
    makeDir(at("w")); // another folder of the same name
    writeFile(at("w/a.htm"), "a");
    writeFile(at("stays/marker.htm"), "marker");
    EXPECT_TRUE(reported({foModified, at("stays/marker.htm"), ""}));
    EXPECT_EQ(calls, (std::vector<Call>{{foModified, at("stays/marker.htm"), ""}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, Watch, ::testing::ValuesIn(Backends),
                         [](const auto& info) { return std::string(backendName(info.param)); });

TEST(FanotifyTree, OneMarkPerFileSystem) {
    TempTree a, b;
    if (const QByteArray why = FanotifyUnavailable({a.path()}); !why.isEmpty())
        GTEST_SKIP() << "fanotify cannot be used here: " << why.constData();
    QByteArray why;
    auto group = TFanotifyTree::Open({a.path(), b.path(), a.path() + "/missing"},
                                     NotifyFlag::Attributes, true, why);
    ASSERT_TRUE(group) << why.constData();
    EXPECT_EQ(group->marks(), 1);
    struct stat shm {
    }, tmp{};
    if (::stat("/dev/shm", &shm) == 0 && ::stat(a.path().constData(), &tmp) == 0 &&
        shm.st_dev != tmp.st_dev) {
        group = TFanotifyTree::Open({a.path(), "/dev/shm", b.path()}, NotifyFlag::Attributes, true,
                                    why);
        ASSERT_TRUE(group) << why.constData();
        EXPECT_EQ(group->marks(), 2);
    }
    EXPECT_FALSE(TFanotifyTree::Open({a.path() + "/missing"}, NotifyFlag::Attributes, true, why));
    EXPECT_TRUE(why.isEmpty()); // nothing there is no failure
}

// Without root, auto watches with inotify and says once why; fanotify forced watches nothing
// and says why.
TEST(FileSystemWatcherDeathTest, WithoutTheRightsAutoFallsBackToInotify) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto withoutRoot = [] {
        TempTree site;
        if (::getuid() == 0 &&
            (::chmod(site.path().constData(), 0777) != 0 || ::setuid(65534) != 0))
            std::_Exit(3);
        std::vector<TWatchNotice> notices;
        TFileSystemWatcher watcher;
        watcher.OnNotice = [&](const TWatchNotice& n) { notices.push_back(n); };
        watcher.setWatchedDir(site.path());
        watcher.setOnChange([](TFileOperation, const QByteArray&, const QByteArray&) {});
        watcher.setActived(true);
        watcher.setWatchSubTree(false); // a reopen: still one notice
        // Notices come through the watcher thread's hand-over.
        const bool autoRight = waitFor([&] { return !notices.empty(); }) && watcher.watching() &&
                               watcher.backendInUse() == wbInotify &&
                               notices[0].Kind == wnBackendChosen &&
                               notices[0].Text.contains("CAP_SYS_ADMIN");
        watcher.setBackend(wbFanotify);
        const bool forcedRight = waitFor([&] { return notices.size() >= 2; }) &&
                                 !watcher.watching() && notices.size() == 2 &&
                                 notices[1].Kind == wnWatchFailed;
        std::_Exit(autoRight && forcedRight ? 0 : 1);
    };
    EXPECT_EXIT(withoutRoot(), ::testing::ExitedWithCode(0), "");
}

// The system refuses a thread when the user is at its process limit; root is exempt from that
// limit, so the child gives up root first.
TEST(FileSystemWatcherDeathTest, ThreadCreationErrorIsNoticed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto refuseThreads = [] {
        TempTree site;
        const rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0 || (::getuid() == 0 && ::setuid(65534) != 0))
            std::_Exit(3);
        TFileSystemWatcher watcher;
        std::vector<TWatchNotice> notices;
        watcher.OnNotice = [&](const TWatchNotice& n) { notices.push_back(n); };
        watcher.setWatchedDir(site.path());
        watcher.setOnChange([](TFileOperation, const QByteArray&, const QByteArray&) {});
        watcher.setActived(true);
        const bool right = notices.size() == 1 && notices[0].Kind == wnThreadFailed &&
                           notices[0].Text.contains(std::strerror(EAGAIN)) &&
                           !watcher.changeThread();
        std::_Exit(right ? 0 : 1);
    };
    EXPECT_EXIT(refuseThreads(), ::testing::ExitedWithCode(0), "");
}

} // namespace
