#include "search/SearchSession.h"

#include "search/FindFile.h"
#include "search/ScanAhead.h"

namespace pw {

TSearchSession::TSearchSession(TFindFile* owner, const TSearchCriteria& criteria, int scanThreads)
    : m_owner(owner)
    , m_pass(std::make_unique<TTargetSearch>(criteria))
    , m_scanThreads(scanThreads) {}

void TSearchSession::Run() {
    if (m_scanThreads > 0 && m_pass->Content.PhraseLen() > 0) {
        TScanAheadWalk walk(*m_pass, *this, m_scanThreads);
        walk.SearchAllFolders();
    } else {
        TFolderWalk walk(m_pass->TargetFolders, *this);
        walk.SearchAllFolders();
    }
}

void TSearchSession::PostDone(const QByteArray& error) {
    std::lock_guard lock(m_ownerMutex);
    TFindFile* owner = m_owner.load();
    if (!owner) return;
    QMetaObject::invokeMethod(
        owner, [owner, error] { owner->searchDone(error); }, Qt::QueuedConnection);
}

void TSearchSession::Detach() {
    std::lock_guard lock(m_ownerMutex);
    m_owner.store(nullptr);
}

TFolderIgnore TSearchSession::DoFolderChange(const QByteArray& Folder) {
    TFindFile* owner = m_owner.load();
    return owner ? owner->DoFolderChange(Folder) : fiNone;
}

bool TSearchSession::AcceptFile(const QByteArray& Folder, const TSearchRec& FileInfo) {
    return !Aborted() && m_pass->Matches(Folder, FileInfo);
}

void TSearchSession::DoFileMatch(const QByteArray& Folder, const TSearchRec& FileInfo) {
    if (TFindFile* owner = m_owner.load()) owner->DoFileMatch(Folder, FileInfo);
}

void TSearchSession::DoLinkNotFollowed(const QByteArray& Path) {
    if (TFindFile* owner = m_owner.load()) owner->DoLinkNotFollowed(Path);
}

} // namespace pw
