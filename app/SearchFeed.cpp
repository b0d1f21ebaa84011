#include "app/SearchFeed.h"

#include <QMutexLocker>
#include <QThread>

namespace pw {

TSearchFeed::TSearchFeed(TFoundFilesModel* model, std::function<void(const QString&)> showStatus,
                         QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_showStatus(std::move(showStatus)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(Interval);
    connect(&m_timer, &QTimer::timeout, this, &TSearchFeed::flush);
}

void TSearchFeed::add(const QByteArray& folder, const QByteArray& name, qint64 size, bool isFolder,
                      quint32 dosTime) {
    if (folder != m_lastFolder) m_lastFolder = folder;
    TFoundRow row{name, m_lastFolder, m_sizes.text(size, isFolder), m_times.text(dosTime)};
    bool first = false;
    {
        QMutexLocker lock(&m_mutex);
        m_rows.push_back(std::move(row));
        first = !std::exchange(m_posted, true);
    }
    if (first) post();
}

void TSearchFeed::setStatus(const QByteArray& folder) {
    if (QThread::currentThread() == thread()) {
        m_showStatus(QString::fromUtf8(folder));
        return;
    }
    bool first = false;
    {
        QMutexLocker lock(&m_mutex);
        m_status = folder;
        first = !std::exchange(m_posted, true);
    }
    if (first) post();
}

void TSearchFeed::post() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_timer.isActive()) m_timer.start();
        },
        Qt::QueuedConnection);
}

void TSearchFeed::flush() {
    std::vector<TFoundRow> rows;
    std::optional<QByteArray> status;
    {
        QMutexLocker lock(&m_mutex);
        rows.swap(m_rows);
        m_batchCapacity = std::max(m_batchCapacity, rows.size());
        m_rows.reserve(m_batchCapacity);
        status.swap(m_status);
        m_posted = false;
    }
    m_timer.stop();
    m_model->append(std::move(rows));
    if (status) m_showStatus(QString::fromUtf8(*status));
}

void TSearchFeed::dropStatus() {
    QMutexLocker lock(&m_mutex);
    m_status.reset();
}

qsizetype TSearchFeed::pendingRows() const {
    QMutexLocker lock(&m_mutex);
    return static_cast<qsizetype>(m_rows.size());
}

} // namespace pw
