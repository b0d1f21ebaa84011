#pragma once

#include "app/FoundFilesModel.h"
#include "app/RowText.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace pw {

// Carries what a search reports into the window: each found entry becomes a row of the results
// list, and the folder being searched the status text. The search's handlers call add() and
// setStatus() on the searching thread (the window's own when unthreaded, one call at a time);
// the rows reach the list on the window's thread in batches, at most `Interval` ms apart, so a
// search that finds 100,000 entries costs the list a few hundred insertions, not 100,000, and
// the searching thread never waits for the window. flush() moves everything pending at once.
class TSearchFeed : public QObject {
    Q_OBJECT

public:
    static constexpr int Interval = 50;

    TSearchFeed(TFoundFilesModel* model, std::function<void(const QString&)> showStatus,
                QObject* parent = nullptr);

    // Any thread, one at a time.
    void add(const QByteArray& folder, const QByteArray& name, qint64 size, bool isFolder,
             quint32 dosTime);
    void setStatus(const QByteArray& folder);

    // Window thread.
    void flush();      // every pending row into the list, the pending status shown
    void dropStatus(); // a pending status is not shown (a stop was requested)
    qsizetype pendingRows() const;

private:
    void post(); // a flush soon, on the window's thread

    TFoundFilesModel* m_model;
    std::function<void(const QString&)> m_showStatus;
    TRowTimeFormatter m_times; // used by the searching thread only, as the two below
    TRowSizeFormatter m_sizes;
    QByteArray m_lastFolder; // rows of one folder share its bytes
    mutable QMutex m_mutex;  // guards what follows
    std::vector<TFoundRow> m_rows;
    size_t m_batchCapacity = 0; // room each batch starts with: as much as the largest needed
    std::optional<QByteArray> m_status;
    bool m_posted = false;
    QTimer m_timer;
};

} // namespace pw
