#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QReadWriteLock>

#include <functional>
#include <optional>
#include <vector>

namespace pw {

// One row of the results list, as bytes: the caption (the file name) and the three sub-items
// (the folder, ending with "/", the size text and the modification-time text). The folder
// followed directly by the name is the entry's real path, whatever its bytes; the list shows
// them decoded as UTF-8 as best it can.
struct TFoundRow {
    QByteArray name;
    QByteArray folder;
    QByteArray size;
    QByteArray time;

    const QByteArray& text(int column) const; // 0 caption, 1..3 sub-items 0..2
    QByteArray path() const { return folder + name; }
};

// The rows of the results list for a QTreeView. Rows are only appended while a search runs, in
// batches (one insertion per batch), removed all at once, and sorted on request; a stable sort,
// so rows that compare equal keep their order. Changed on the window's thread only; pathAt()
// may be called from any thread.
class TFoundFilesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int ColumnCount = 4;
    static constexpr int Growth = 1000; // room for rows is reserved in steps of this many

    explicit TFoundFilesModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TFoundRow& row(int i) const { return m_rows[static_cast<size_t>(i)]; }
    // The real path of a row (folder bytes followed by name bytes) as the list holds it at this
    // moment; none when the row does not exist (any more). Any thread.
    std::optional<QByteArray> pathAt(int i) const;
    void append(std::vector<TFoundRow>&& rows);
    void clear();
    // Reorders every row by `compare` (negative: first before second).
    void sort(const std::function<int(const TFoundRow&, const TFoundRow&)>& compare);

private:
    std::vector<TFoundRow> m_rows;
    mutable QReadWriteLock m_lock; // taken for writing by changes, for reading by pathAt
};

} // namespace pw
