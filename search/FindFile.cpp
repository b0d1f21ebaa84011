#include "search/FindFile.h"

#include "platform/ErrorDisplay.h"
#include "search/SearchSession.h"
#include "search/SearchThread.h"

#include <QCoreApplication>

#include <chrono>
#include <stdexcept>
#include <system_error>

namespace pw {

TFindFile::TFindFile(QObject* owner)
    : QObject(owner) {}

TFindFile::~TFindFile() {
    m_destroying = true;
    if (m_busy) Abort(); // raises nothing now; afterwards no handler runs any more
    if (m_session) m_session->Detach();
    m_thread.reset(); // waits for the walk to unwind; its completion is no longer posted
}

bool TFindFile::Aborted() const {
    return m_session && m_session->Aborted();
}

void TFindFile::raise(const TNotifyEvent& event) {
    if (event && !m_destroying) {
        const TNotifyEvent handler = event; // the handler may destroy this component
        handler(this);
    }
}

void TFindFile::Execute() {
    if (m_busy) return;
    m_busy = true;
    std::shared_ptr<TSearchSession> session;
    try {
        session = std::make_shared<TSearchSession>(this, m_criteria, m_scanThreads);
    } catch (...) {
        m_busy = false;
        throw;
    }
    m_session = session;

    // From here on `session` tells whether a handler destroyed this component.
    DoSearchBegin();
    if (!session->Owner()) return;

    if (!m_threaded) {
        try {
            session->Run();
        } catch (...) {
            if (session->Owner()) finish();
            throw;
        }
        if (session->Owner()) finish();
        return;
    }

    try {
        m_thread = std::make_unique<TSearchThread>(session, m_threadPriority);
    } catch (const std::system_error& e) {
        finish();
        throw std::runtime_error("Thread creation error: " + e.code().message());
    }
}

void TFindFile::finish() {
    const std::shared_ptr<TSearchSession> session = m_session;
    DoSearchFinish();
    if (!session->Owner()) return; // destroyed by the handler
    session->FreePass();
    m_busy = false;
}

void TFindFile::searchDone(const QByteArray& error) {
    if (m_destroying) return;
    if (m_aborting > 0) {
        // OnSearchAbort comes first: finish once the Abort under way has returned.
        QMetaObject::invokeMethod(
            this, [this, error] { searchDone(error); }, Qt::QueuedConnection);
        return;
    }
    m_thread.reset(); // the thread has posted this, so it is about to end
    if (!error.isEmpty()) ShowError(error);
    finish();
}

void TFindFile::Abort() {
    const std::shared_ptr<TSearchSession> session = m_session;
    if (!m_busy || !session || !session->setAborted()) return;
    ++m_aborting;
    // A handler on the search thread may be waiting for this thread: keep serving its events
    // while the lock is held elsewhere.
    while (!session->Lock.try_lock_for(std::chrono::milliseconds(2)))
        QCoreApplication::processEvents();
    DoSearchAbort();
    session->Lock.unlock();
    if (session->Owner()) --m_aborting;
}

TFolderIgnore TFindFile::DoFolderChange(const QByteArray& Folder) {
    TFolderIgnore ignore = fiNone;
    const std::shared_ptr<TSearchSession> session = m_session;
    if (session->Aborted() || !OnFolderChange) return ignore;
    const TFolderChangeEvent handler = OnFolderChange; // the handler may destroy this component
    const std::lock_guard lock(session->Lock);
    // Checked again under the lock: an Abort that took the lock first has raised OnSearchAbort.
    if (!session->Aborted()) handler(this, Folder, ignore);
    return ignore;
}

void TFindFile::DoLinkNotFollowed(const QByteArray& Path) {
    const std::shared_ptr<TSearchSession> session = m_session;
    if (session->Aborted() || !OnLinkNotFollowed) return;
    const TLinkNotFollowedEvent handler = OnLinkNotFollowed;
    const std::lock_guard lock(session->Lock);
    if (!session->Aborted()) handler(this, Path);
}

void TFindFile::DoFileMatch(const QByteArray& Folder, const TSearchRec& FileInfo) {
    const std::shared_ptr<TSearchSession> session = m_session;
    if (session->Aborted() || !OnFileMatch) return;
    const TFileMatchEvent handler = OnFileMatch;
    const std::lock_guard lock(session->Lock);
    if (!session->Aborted()) handler(this, Folder, FileInfo);
}

} // namespace pw
