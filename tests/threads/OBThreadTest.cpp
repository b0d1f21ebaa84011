#include "threads/OBThread.h"
#include "common/Assert.h"
#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QMetaProperty>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace pw;
using pw::test::waitFor;

namespace {

// A gate jobs wait at until the test opens it (with a generous limit, so a fault cannot hang).
class Gate {
public:
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void pass() {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// What the component's events did, in order, as seen from the main thread.
struct Journal {
    std::vector<std::string> events;
    bool senderAlwaysEmpty = true;
    bool allOnMainThread = true;

    TNotifyEvent record(const std::string& name) {
        return [this, name](QObject* sender) {
            events.push_back(name);
            senderAlwaysEmpty = senderAlwaysEmpty && sender == nullptr;
            allOnMainThread = allOnMainThread && QThread::currentThread() == qApp->thread();
        };
    }
    void bind(TOBThread& worker) {
        worker.Onbegin = record("begin");
        worker.OnFinish = record("finish");
        worker.OnFinishAll = record("finishAll");
    }
    int count(const std::string& name) const {
        return static_cast<int>(std::count(events.begin(), events.end(), name));
    }
};

bool threadObjectExists(TThreadHandle handle) {
    return TThreadObject::withHandle(handle, [](TThreadObject&) {});
}

TEST(OBThread, NewComponentAndItsPublishedProperties) {
    QObject owner;
    auto* worker = new TOBThread(&owner);
    EXPECT_EQ(worker->ThreadCount(), 0);
    EXPECT_TRUE(worker->Exclusif());
    EXPECT_TRUE(worker->RunOnCreate());
    EXPECT_TRUE(worker->FreeOnTerminate());
    EXPECT_EQ(worker->About(), "");
    EXPECT_FALSE(worker->OneThreadIsRunning());

    const QMetaObject* meta = worker->metaObject();
    std::vector<std::string> names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names.push_back(meta->property(i).name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"About", "Exclusif", "RunOnCreate", "FreeOnTerminate"}));
    std::vector<std::string> methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods.push_back(meta->method(i).name().toStdString());
    EXPECT_EQ(methods,
              (std::vector<std::string>{"Execute", "Execute", "OneThreadIsRunning", "GetPriority",
                                        "SetPriority", "QuitThread", "Suspend", "Resume"}));
    EXPECT_TRUE(worker->setProperty("Exclusif", false));
    EXPECT_FALSE(worker->Exclusif());
}

TEST(OBThread, WithoutOnExecuteNothingStarts) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    EXPECT_EQ(worker.Execute(), 0u);
    EXPECT_EQ(worker.ThreadCount(), 0);
    EXPECT_TRUE(journal.events.empty());
}

TEST(OBThread, EachEventOnItsThreadWithAnEmptySender) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    int value = 7;
    std::atomic<bool> bodyOffMain = false;
    std::atomic<bool> bodySenderEmpty = false;
    std::atomic<void*> bodyParams = nullptr;
    worker.OnExecute = [&](QObject* sender, void* params) {
        bodyOffMain = QThread::currentThread() != qApp->thread();
        bodySenderEmpty = sender == nullptr;
        bodyParams = params;
    };
    EXPECT_NE(worker.Execute(&value), 0u);
    EXPECT_EQ(journal.events, std::vector<std::string>{"begin"}); // before the job has ended
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_EQ(journal.events, (std::vector<std::string>{"begin", "finish", "finishAll"}));
    EXPECT_TRUE(journal.senderAlwaysEmpty);
    EXPECT_TRUE(journal.allOnMainThread);
    EXPECT_TRUE(bodyOffMain);
    EXPECT_TRUE(bodySenderEmpty);
    EXPECT_EQ(bodyParams, &value);
    EXPECT_EQ(worker.ThreadCount(), 0);
}

TEST(OBThread, ExclusifRefusesUntilTheRunningJobHasEnded) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    Gate gate;
    std::atomic<int> runs = 0;
    worker.OnExecute = [&](QObject*, void*) {
        gate.pass();
        ++runs;
    };
    TThreadHandle again = 0;
    worker.OnFinish = [&](QObject* sender) {
        journal.record("finish")(sender);
        if (journal.count("finish") == 1) {
            EXPECT_EQ(worker.ThreadCount(), 0); // already lowered when OnFinish runs
            again = worker.Execute();
        }
    };
    ASSERT_NE(worker.Execute(), 0u);
    EXPECT_EQ(worker.Execute(), 0u); // refused: not queued, no Onbegin
    EXPECT_EQ(worker.ThreadCount(), 1);
    EXPECT_EQ(journal.count("begin"), 1);
    gate.open();
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_NE(again, 0u);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(journal.events,
              (std::vector<std::string>{"begin", "finish", "begin", "finish", "finishAll"}));
}

TEST(OBThread, WithoutExclusifJobsRunAtOnceAndTheLastEndRaisesFinishAll) {
    TOBThread worker;
    worker.setExclusif(false);
    Journal journal;
    journal.bind(worker);
    std::mutex mutex;
    std::condition_variable changed;
    int arrived = 0;
    std::atomic<int> sawAllThree = 0;
    // Each job waits for the other two: they can only all pass if they run at the same time.
    worker.OnExecute = [&](QObject*, void*) {
        std::unique_lock lock(mutex);
        ++arrived;
        changed.notify_all();
        if (changed.wait_for(lock, std::chrono::seconds(20), [&] { return arrived == 3; }))
            ++sawAllThree;
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(worker.Execute(), 0u);
    EXPECT_EQ(worker.ThreadCount(), 3);
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_EQ(sawAllThree, 3);
    EXPECT_EQ(journal.count("finish"), 3);
    EXPECT_EQ(journal.events.back(), "finishAll");
}

TEST(OBThread, JobsChainedFromOnFinishGiveOneFinishAll) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    std::atomic<int> runs = 0;
    worker.OnExecute = [&](QObject*, void*) { ++runs; };
    worker.OnFinish = [&](QObject* sender) {
        journal.record("finish")(sender);
        if (journal.count("finish") < 10) {
            EXPECT_NE(worker.Execute(), 0u);
        }
    };
    ASSERT_NE(worker.Execute(), 0u);
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_EQ(runs, 10);
    EXPECT_EQ(journal.count("finish"), 10);
    EXPECT_EQ(journal.events.back(), "finishAll");
    EXPECT_EQ(worker.ThreadCount(), 0);
}

TEST(OBThread, FailingJobStillFinishesSilently) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    worker.OnExecute = [](QObject*, void*) { throw std::runtime_error("job failed"); };
    ASSERT_NE(worker.Execute(), 0u);
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_EQ(journal.events, (std::vector<std::string>{"begin", "finish", "finishAll"}));
    EXPECT_EQ(worker.ThreadCount(), 0);
}

TEST(OBThread, RunOnCreateFalseHoldsTheThreadUntilResume) {
    TOBThread worker;
    worker.setRunOnCreate(false);
    Journal journal;
    journal.bind(worker);
    std::atomic<bool> ran = false;
    worker.OnExecute = [&](QObject*, void*) { ran = true; };
    const TThreadHandle handle = worker.Execute();
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(worker.OneThreadIsRunning());
    EXPECT_EQ(worker.Suspend(handle), 1); // held once by creation, now twice
    EXPECT_EQ(worker.Resume(handle), 2);
    EXPECT_FALSE(ran); // one hold left: the body cannot have started
    EXPECT_EQ(worker.Suspend(handle), 1);
    EXPECT_EQ(worker.Resume(handle), 2);
    EXPECT_EQ(worker.Resume(handle), 1);
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(worker.OneThreadIsRunning());
    // The thread released itself: its handle now names nothing.
    ASSERT_TRUE(waitFor([&] { return !threadObjectExists(handle); }));
    EXPECT_EQ(worker.Resume(handle), -1);
    EXPECT_EQ(worker.Suspend(handle), -1);
}

TEST(OBThread, QuitThreadEndsOnlyAThreadThatHasNotStarted) {
    TOBThread worker;
    Journal journal;
    journal.bind(worker);
    std::atomic<int> runs = 0;
    Gate gate;
    worker.OnExecute = [&](QObject*, void*) {
        ++runs;
        gate.pass();
    };
    worker.setRunOnCreate(false);
    const TThreadHandle held = worker.Execute();
    EXPECT_TRUE(worker.QuitThread(held));
    EXPECT_FALSE(worker.QuitThread(held));
    ASSERT_TRUE(waitFor([&] { return !threadObjectExists(held); }));
    EXPECT_EQ(runs, 0);
    // No finish events for it, so it stays counted and Exclusif refuses from now on.
    EXPECT_EQ(worker.ThreadCount(), 1);
    EXPECT_EQ(journal.count("finish"), 0);
    EXPECT_EQ(worker.Execute(), 0u);

    TOBThread other;
    other.OnExecute = worker.OnExecute;
    const TThreadHandle running = other.Execute();
    ASSERT_TRUE(waitFor([&] { return runs == 1; }));
    EXPECT_FALSE(other.QuitThread(running)); // Linux cannot kill a running thread safely
    EXPECT_EQ(other.Suspend(running), -1);
    EXPECT_EQ(other.Resume(running), 0);
    gate.open();
    ASSERT_TRUE(waitFor([&] { return !other.OneThreadIsRunning(); }));
}

TEST(OBThread, PriorityIsTheThreadsNiceValueNegated) {
    TOBThread worker;
    worker.setRunOnCreate(false);
    worker.OnExecute = [](QObject*, void*) {};
    const int inherited = -::getpriority(PRIO_PROCESS, 0);
    const TThreadHandle handle = worker.Execute();
    EXPECT_EQ(worker.GetPriority(0), 0);
    EXPECT_EQ(worker.GetPriority(handle), inherited);
    EXPECT_TRUE(worker.SetPriority(handle, inherited - 3)); // lowering needs no privilege
    EXPECT_EQ(worker.GetPriority(handle), inherited - 3);
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), -inherited); // only that thread changed
    EXPECT_EQ(worker.GetPriority(handle + 1000), ThreadPriorityError);
    EXPECT_FALSE(worker.SetPriority(handle + 1000, 0));
    worker.Resume(handle);
    ASSERT_TRUE(waitFor([&] { return !worker.OneThreadIsRunning(); }));
    ASSERT_TRUE(waitFor([&] { return !threadObjectExists(handle); }));
    EXPECT_EQ(worker.GetPriority(handle), ThreadPriorityError);
}

TEST(OBThread, ComponentDestroyedWhileAJobRunsGetsNoEvents) {
    auto* worker = new TOBThread;
    Journal journal;
    journal.bind(*worker);
    Gate gate;
    std::atomic<bool> ended = false;
    worker->OnExecute = [&](QObject*, void*) {
        gate.pass();
        ended = true;
    };
    const TThreadHandle handle = worker->Execute();
    delete worker;
    gate.open();
    ASSERT_TRUE(waitFor([&] { return ended && !threadObjectExists(handle); }));
    EXPECT_EQ(journal.events, std::vector<std::string>{"begin"});
}

TEST(OBThread, FreeOnTerminateFalseKeepsTheThreadObjectWithTheComponent) {
    auto* worker = new TOBThread;
    worker->setFreeOnTerminate(false);
    Journal journal;
    journal.bind(*worker);
    worker->OnExecute = [](QObject*, void*) {};
    const TThreadHandle handle = worker->Execute();
    ASSERT_TRUE(waitFor([&] { return journal.count("finishAll") == 1; }));
    // Its thread ends just after the notice; the object and its handle stay.
    EXPECT_TRUE(waitFor([&] { return worker->GetPriority(handle) == ThreadPriorityError; }));
    EXPECT_TRUE(threadObjectExists(handle));
    delete worker;
    EXPECT_FALSE(threadObjectExists(handle));
}

TEST(OBThread, ExecuteOnlyOnTheOwnersThread) {
    TOBThread worker;
    worker.OnExecute = [](QObject*, void*) {};
    bool refused = false;
    std::thread other([&] {
        try {
            worker.Execute();
        } catch (const EAssertionFailed&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(worker.ThreadCount(), 0);
}

TEST(OBThread, OnbeginErrorReachesTheCallerAndNothingStaysCounted) {
    TOBThread worker;
    std::atomic<bool> ran = false;
    worker.OnExecute = [&](QObject*, void*) { ran = true; };
    worker.Onbegin = [](QObject*) { throw std::runtime_error("refused"); };
    EXPECT_THROW(worker.Execute(), std::runtime_error);
    EXPECT_EQ(worker.ThreadCount(), 0);
    EXPECT_FALSE(ran);
}

// The system refuses a thread when the user is at its process limit. Root is exempt from that
// limit, so the child gives up root first.
TEST(OBThreadDeathTest, CreationErrorReachesTheCallerAndChangesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto refuseThreads = [] {
        const rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0 || (::getuid() == 0 && ::setuid(65534) != 0))
            std::_Exit(3);
        TOBThread worker;
        bool began = false;
        worker.Onbegin = [&](QObject*) { began = true; };
        worker.OnExecute = [](QObject*, void*) {};
        try {
            worker.Execute();
        } catch (const EThreadError& e) {
            const bool right = std::string(e.what()) ==
                               "Thread creation error: " + std::string(std::strerror(EAGAIN));
            std::_Exit(right && !began && worker.ThreadCount() == 0 ? 0 : 1);
        }
        std::_Exit(2);
    };
    EXPECT_EXIT(refuseThreads(), ::testing::ExitedWithCode(0), "");
}

} // namespace
