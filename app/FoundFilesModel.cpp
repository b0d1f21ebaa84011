#include "app/FoundFilesModel.h"

#include <QString>

#include <algorithm>
#include <numeric>

namespace pw {

namespace {
const char* const Headers[TFoundFilesModel::ColumnCount] = {
    QT_TRANSLATE_NOOP("pw::TFoundFilesModel", "文件名"),
    QT_TRANSLATE_NOOP("pw::TFoundFilesModel", "路径"),
    QT_TRANSLATE_NOOP("pw::TFoundFilesModel", "大小"),
    QT_TRANSLATE_NOOP("pw::TFoundFilesModel", "修改时间")};
}

const QByteArray& TFoundRow::text(int column) const {
    switch (column) {
    case 0:
        return name;
    case 1:
        return folder;
    case 2:
        return size;
    default:
        return time;
    }
}

TFoundFilesModel::TFoundFilesModel(QObject* parent)
    : QAbstractTableModel(parent) {}

int TFoundFilesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TFoundFilesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFoundFilesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TFoundRow& r = row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromUtf8(r.text(index.column()));
    case Qt::ToolTipRole:
        return index.column() <= 1 ? QString::fromUtf8(r.path()) : QVariant();
    default:
        return {};
    }
}

QVariant TFoundFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return tr(Headers[section]);
}

std::optional<QByteArray> TFoundFilesModel::pathAt(int i) const {
    QReadLocker lock(&m_lock);
    if (i < 0 || static_cast<size_t>(i) >= m_rows.size()) return std::nullopt;
    return m_rows[static_cast<size_t>(i)].path();
}

void TFoundFilesModel::append(std::vector<TFoundRow>&& rows) {
    if (rows.empty()) return;
    const size_t first = m_rows.size();
    const size_t needed = first + rows.size();
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(needed - 1));
    {
        QWriteLocker lock(&m_lock);
        if (needed > m_rows.capacity()) // geometric growth, rounded up to whole steps
            m_rows.reserve(std::max(needed, 2 * m_rows.capacity()) / Growth * Growth + Growth);
        std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
    }
    endInsertRows();
}

void TFoundFilesModel::clear() {
    beginResetModel();
    {
        QWriteLocker lock(&m_lock);
        m_rows.clear();
    }
    endResetModel();
}

void TFoundFilesModel::sort(const std::function<int(const TFoundRow&, const TFoundRow&)>& compare) {
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(m_rows[a], m_rows[b]) < 0; });

    std::vector<int> newRow(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
    {
        QWriteLocker lock(&m_lock);
        std::vector<TFoundRow> sorted;
        sorted.reserve(m_rows.capacity());
        for (int from : order)
            sorted.push_back(std::move(m_rows[static_cast<size_t>(from)]));
        m_rows = std::move(sorted);
    }

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRow[static_cast<size_t>(index.row())], index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace pw
