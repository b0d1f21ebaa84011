#include "search/FindFile.h"
#include "platform/ErrorDisplay.h"
#include "tests/search/SearchRecorder.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace pw;
using pw::test::SearchRecorder;
using pw::test::TempTree;
using pw::test::waitFor;

namespace {

// A tree of folders with files holding the phrase, big enough that a search is still under way
// when a test steps in after its first match.
void fillTree(const TempTree& tree, int folders = 4, int filesPerFolder = 50) {
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < filesPerFolder; ++f)
            tree.write(QByteArray("d") + QByteArray::number(d) + "/f" + QByteArray::number(f) +
                           ".htm",
                       "x evil x");
}

void searchTree(TFindFile& findFile, const TempTree& tree) {
    findFile.Criteria().Files().setLocation(tree.path());
    findFile.Criteria().Files().setFileName("*.htm");
    findFile.Criteria().Content().setPhrase("evil");
}

// Events after the first "abort": none may be a folder or a file event.
bool walkEventsAfterAbort(const std::vector<std::string>& events) {
    const auto abort = std::find(events.begin(), events.end(), "abort");
    return std::any_of(abort, events.end(),
                       [](const std::string& e) { return e[0] == 'F' || e[0] == 'M'; });
}

struct ThreadModes : ::testing::TestWithParam<int> {}; // scan threads

} // namespace

TEST(FindFile, PublishedDefaults) {
    TFindFile findFile;
    EXPECT_FALSE(findFile.property("Threaded").toBool());
    EXPECT_EQ(findFile.property("ThreadPriority").value<TThreadPriority>(), tpNormal);
    EXPECT_FALSE(findFile.Busy());
    EXPECT_FALSE(findFile.Aborted());
}

TEST(FindFile, UnthreadedSearchWithoutHandlers) {
    TempTree tree;
    fillTree(tree, 1, 3);
    TFindFile findFile;
    searchTree(findFile, tree);
    findFile.Execute();
    EXPECT_FALSE(findFile.Busy());
    EXPECT_FALSE(findFile.Aborted());
}

TEST(FindFile, UnthreadedEventsRunInsideExecute) {
    TempTree tree;
    fillTree(tree, 1, 2);
    TFindFile findFile;
    searchTree(findFile, tree);
    SearchRecorder recorder(findFile, tree.path());
    findFile.Execute();
    const std::vector<std::string> events = recorder.events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events.front(), "begin");
    EXPECT_EQ(events[1], "F /");
    EXPECT_EQ(events[2], "F /d0/");
    EXPECT_EQ(events.back(), "finish");
}

TEST_P(ThreadModes, ThreadedSearchBeginsAndFinishesOnceOnTheComponentsThread) {
    TempTree tree;
    fillTree(tree);
    TFindFile findFile;
    findFile.setThreaded(true);
    findFile.setScanThreads(GetParam());
    searchTree(findFile, tree);
    SearchRecorder recorder(findFile, tree.path());
    std::atomic<bool> walkOnMainThread{false};
    const auto fileMatch = findFile.OnFileMatch;
    findFile.OnFileMatch = [&](QObject* s, const QByteArray& f, const TSearchRec& r) {
        walkOnMainThread = walkOnMainThread || QThread::currentThread() == qApp->thread();
        fileMatch(s, f, r);
    };

    findFile.Execute();
    EXPECT_TRUE(findFile.Busy());
    EXPECT_EQ(recorder.count("begin"), 1); // raised before Execute returned
    findFile.Execute();                    // ignored: a search is under way
    ASSERT_TRUE(waitFor([&] { return recorder.finished(); }));
    EXPECT_FALSE(findFile.Busy());

    EXPECT_EQ(recorder.count("begin"), 1);
    EXPECT_EQ(recorder.count("finish"), 1);
    EXPECT_EQ(recorder.records.size(), 200u);
    EXPECT_EQ(recorder.finishThread, qApp->thread());
    EXPECT_FALSE(walkOnMainThread);
    EXPECT_FALSE(findFile.Aborted());

    // Nothing more arrives afterwards, and the next search runs normally.
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.count("finish"), 1);
    findFile.Execute();
    ASSERT_TRUE(waitFor([&] { return recorder.count("finish") == 2; }));
    EXPECT_EQ(recorder.count("begin"), 2);
}

// The search thread is held inside its second file handler until Abort has been called, so the
// abort always meets a search with files still to report.
TEST_P(ThreadModes, AbortFromAnotherThreadStopsTheEvents) {
    for (const bool abortFromWorker : {false, true}) {
        TempTree tree;
        fillTree(tree);
        TFindFile findFile;
        findFile.setThreaded(true);
        findFile.setScanThreads(GetParam());
        searchTree(findFile, tree);
        SearchRecorder recorder(findFile, tree.path());
        std::atomic<int> matches{0};
        std::atomic<bool> abortCalled{false};
        const auto fileMatch = findFile.OnFileMatch;
        findFile.OnFileMatch = [&](QObject* s, const QByteArray& f, const TSearchRec& r) {
            fileMatch(s, f, r);
            if (++matches == 2)
                while (!abortCalled)
                    std::this_thread::yield();
        };
        bool abortedInFinish = false;
        const auto finish = findFile.OnSearchFinish;
        findFile.OnSearchFinish = [&](QObject* s) {
            abortedInFinish = findFile.Aborted() && findFile.Busy();
            finish(s);
        };

        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return matches >= 2; }));
        const auto abort = [&] {
            abortCalled = true;
            findFile.Abort();
        };
        if (abortFromWorker)
            std::thread(abort).join();
        else
            abort();
        EXPECT_EQ(recorder.count("abort"), 1) << "raised inside Abort";
        findFile.Abort(); // a second Abort: no event
        ASSERT_TRUE(waitFor([&] { return recorder.finished(); }));

        const std::vector<std::string> events = recorder.events();
        EXPECT_EQ(recorder.count("abort"), 1);
        EXPECT_EQ(recorder.count("finish"), 1);
        EXPECT_EQ(events.back(), "finish");
        EXPECT_FALSE(walkEventsAfterAbort(events));
        EXPECT_LT(recorder.records.size(), 200u);
        EXPECT_TRUE(abortedInFinish);
        EXPECT_TRUE(findFile.Aborted());
        EXPECT_FALSE(findFile.Busy());
    }
}

INSTANTIATE_TEST_SUITE_P(ScanThreads, ThreadModes, ::testing::Values(0, 2));

TEST(FindFile, AbortWhenIdleRaisesNothing) {
    TFindFile findFile;
    int aborts = 0;
    findFile.OnSearchAbort = [&](QObject*) { ++aborts; };
    findFile.Abort();
    EXPECT_EQ(aborts, 0);
    EXPECT_FALSE(findFile.Aborted());
}

TEST(FindFile, AbortFromAnUnthreadedHandler) {
    TempTree tree;
    fillTree(tree, 2, 10);
    TFindFile findFile;
    searchTree(findFile, tree);
    SearchRecorder recorder(findFile, tree.path());
    const auto fileMatch = findFile.OnFileMatch;
    findFile.OnFileMatch = [&](QObject* s, const QByteArray& f, const TSearchRec& r) {
        fileMatch(s, f, r);
        if (recorder.records.size() == 3) findFile.Abort(); // the lock is this thread's already
    };
    findFile.Execute();
    const std::vector<std::string> events = recorder.events();
    EXPECT_EQ(recorder.records.size(), 3u);
    EXPECT_EQ(recorder.count("abort"), 1);
    EXPECT_EQ(events.back(), "finish");
    EXPECT_FALSE(walkEventsAfterAbort(events));
    EXPECT_TRUE(findFile.Aborted());
}

TEST(FindFile, ExecuteFromOnSearchFinishIsIgnoredAndWorksAfterwards) {
    TempTree tree;
    fillTree(tree, 1, 1);
    for (const bool threaded : {false, true}) {
        TFindFile findFile;
        findFile.setThreaded(threaded);
        searchTree(findFile, tree);
        int begins = 0, finishes = 0;
        findFile.OnSearchBegin = [&](QObject*) { ++begins; };
        findFile.OnSearchFinish = [&](QObject*) {
            ++finishes;
            EXPECT_TRUE(findFile.Busy());
            findFile.Execute();
        };
        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return finishes == 1; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(begins, 1);
        EXPECT_FALSE(findFile.Busy());
        findFile.OnSearchFinish = [&](QObject*) { ++finishes; };
        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return finishes == 2; }));
        EXPECT_EQ(begins, 2);
    }
}

TEST(FindFile, CriteriaChangedDuringASearchApplyToTheNextOne) {
    TempTree tree;
    tree.write("a.htm", "evil");
    tree.write("a.php", "evil");
    TFindFile findFile;
    searchTree(findFile, tree);
    findFile.Criteria().Files().setFileName("*.htm;*.php");
    std::vector<QByteArray> names;
    findFile.OnFileMatch = [&](QObject*, const QByteArray&, const TSearchRec& r) {
        names.push_back(r.Name);
        findFile.Criteria().Files().setFileName("*.txt");
        findFile.Criteria().Content().setPhrase("nothing like it");
    };
    findFile.Execute();
    EXPECT_EQ(names, (std::vector<QByteArray>{"a.php", "a.htm"}));
    names.clear();
    findFile.Execute();
    EXPECT_TRUE(names.empty());
}

TEST(FindFile, ErrorFromAnUnthreadedHandlerFinishesThenReachesTheCaller) {
    TempTree tree;
    fillTree(tree, 1, 3);
    TFindFile findFile;
    searchTree(findFile, tree);
    int finishes = 0;
    findFile.OnSearchFinish = [&](QObject*) { ++finishes; };
    findFile.OnFileMatch = [](QObject*, const QByteArray&, const TSearchRec&) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(findFile.Execute(), std::runtime_error);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(findFile.Busy());
}

TEST(FindFile, ErrorOnTheSearchThreadIsShownAndTheSearchFinishes) {
    TempTree tree;
    fillTree(tree, 1, 3);
    QByteArrayList shown;
    SetErrorDisplay([&](const QByteArray& message) { shown.append(message); });
    for (const int scanThreads : {0, 1}) {
        shown.clear();
        TFindFile findFile;
        findFile.setThreaded(true);
        findFile.setScanThreads(scanThreads);
        searchTree(findFile, tree);
        int finishes = 0;
        findFile.OnSearchFinish = [&](QObject*) { ++finishes; };
        findFile.OnFileMatch = [](QObject*, const QByteArray&, const TSearchRec&) {
            throw std::runtime_error("handler failed");
        };
        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return finishes == 1; }));
        EXPECT_EQ(shown, QByteArrayList{"handler failed"});
        EXPECT_FALSE(findFile.Aborted());
    }
    SetErrorDisplay(nullptr);
}

TEST(FindFile, ThreadPriorityIsApplied) {
    TempTree tree;
    fillTree(tree, 1, 2);
    for (const TThreadPriority priority : {tpIdle, tpLowest, tpHighest}) {
        TFindFile findFile;
        findFile.setThreaded(true);
        findFile.setThreadPriority(priority);
        searchTree(findFile, tree);
        SearchRecorder recorder(findFile, tree.path());
        findFile.Execute();
        ASSERT_TRUE(waitFor([&] { return recorder.finished(); }));
        EXPECT_EQ(recorder.records.size(), 2u);
    }
}

// Destroying the component while its thread searches: afterwards no event is raised, nothing
// is posted to the destroyed object, and (under the address sanitizer) no freed memory is
// touched. The handler also waits for the main thread each time, which the destructor's abort
// must keep serving.
TEST_P(ThreadModes, DestructionDuringAThreadedSearch) {
    for (const bool handlerWaitsForMainThread : {false, true}) {
        TempTree tree;
        fillTree(tree);
        auto* findFile = new TFindFile;
        findFile->setThreaded(true);
        findFile->setScanThreads(GetParam());
        searchTree(*findFile, tree);
        std::atomic<int> matches{0};
        std::atomic<int> otherEvents{0};
        std::atomic<bool> deleting{false};
        findFile->OnFileMatch = [&](QObject*, const QByteArray&, const TSearchRec&) {
            if (++matches == 3) // hold the search until the component is being destroyed
                while (!deleting)
                    std::this_thread::yield();
            if (handlerWaitsForMainThread)
                QMetaObject::invokeMethod(
                    qApp, [] {}, Qt::BlockingQueuedConnection);
        };
        findFile->OnSearchFinish = [&](QObject*) { ++otherEvents; };
        findFile->OnSearchAbort = [&](QObject*) { ++otherEvents; };
        findFile->Execute();
        ASSERT_TRUE(waitFor([&] { return matches >= 3; }));
        deleting = true;
        delete findFile;
        const int matchesAtDestruction = matches;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(matches, matchesAtDestruction);
        EXPECT_EQ(otherEvents, 0);
        EXPECT_LT(matches, 200);
    }
}

TEST(FindFile, DestructionInsideAnUnthreadedHandler) {
    TempTree tree;
    fillTree(tree, 2, 10);
    for (const int scanThreads : {0, 2}) {
        auto* findFile = new TFindFile;
        findFile->setScanThreads(scanThreads);
        searchTree(*findFile, tree);
        int matches = 0, finishes = 0;
        findFile->OnFileMatch = [&](QObject*, const QByteArray&, const TSearchRec&) {
            if (++matches == 2) delete findFile;
        };
        findFile->OnSearchFinish = [&](QObject*) { ++finishes; };
        findFile->Execute(); // returns through the destroyed component's frames
        EXPECT_EQ(matches, 2);
        EXPECT_EQ(finishes, 0);
    }
}

TEST(FindFile, DestructionInsideOnSearchFinish) {
    TempTree tree;
    fillTree(tree, 1, 2);
    for (const bool threaded : {false, true}) {
        auto* findFile = new TFindFile;
        findFile->setThreaded(threaded);
        searchTree(*findFile, tree);
        bool finished = false;
        findFile->OnSearchFinish = [&](QObject*) {
            finished = true;
            delete findFile;
        };
        findFile->Execute();
        ASSERT_TRUE(waitFor([&] { return finished; }));
        QCoreApplication::processEvents();
    }
}

TEST(FindFile, DestructionInsideOnSearchBegin) {
    TempTree tree;
    fillTree(tree, 1, 2);
    for (const bool threaded : {false, true}) {
        auto* findFile = new TFindFile;
        findFile->setThreaded(threaded);
        searchTree(*findFile, tree);
        int folders = 0;
        findFile->OnSearchBegin = [&](QObject*) { delete findFile; };
        findFile->OnFolderChange = [&](QObject*, const QByteArray&, TFolderIgnore&) { ++folders; };
        findFile->Execute();
        QCoreApplication::processEvents();
        EXPECT_EQ(folders, 0);
    }
}
