#pragma once

#include "search/FolderWalk.h"
#include "search/TargetSearch.h"

#include <QByteArray>

#include <atomic>
#include <memory>
#include <mutex>

namespace pw {

class TFindFile;

// One search of a TFindFile: its pass, abort flag and lock, and the walk's host. Shared by the
// component, the Execute call and the search thread, so that it outlives a component destroyed
// during the search; the walk reaches the component only through Owner, which the component
// clears when it is destroyed.
class TSearchSession final : public TWalkHost {
public:
    TSearchSession(TFindFile* owner, const TSearchCriteria& criteria, int scanThreads);

    // The walk over every target folder, plain or reading ahead.
    void Run();

    // Hands the completion to the owner's thread, unless the owner is gone.
    void PostDone(const QByteArray& error);
    // Cuts the link to the owner; waits for a completion being posted.
    void Detach();
    TFindFile* Owner() const { return m_owner.load(); }

    void FreePass() { m_pass.reset(); }

    bool Aborted() const override { return m_aborted.load(); }
    bool NeedsFindData() const override { return m_pass->NeedsFindData(); }
    TFolderIgnore DoFolderChange(const QByteArray& Folder) override;
    bool AcceptFile(const QByteArray& Folder, const TSearchRec& FileInfo) override;
    void DoFileMatch(const QByteArray& Folder, const TSearchRec& FileInfo) override;
    void DoLinkNotFollowed(const QByteArray& Path) override;

    // Goes from false to true once, by Abort.
    bool setAborted() {
        bool expected = false;
        return m_aborted.compare_exchange_strong(expected, true);
    }

    // Serialises the folder and file handlers with Abort; the holder may enter it again.
    std::recursive_timed_mutex Lock;

private:
    std::atomic<TFindFile*> m_owner;
    std::mutex m_ownerMutex;
    std::atomic<bool> m_aborted{false};
    std::unique_ptr<TTargetSearch> m_pass;
    const int m_scanThreads;
};

} // namespace pw
