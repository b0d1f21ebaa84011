#pragma once

#include <QTreeView>

namespace pw {

// The results list in report view: whole rows selected, one at a time, no editing in place,
// clickable headers whose widths can be dragged (the contents follow while dragging). One
// column fills whatever width the others leave.
class TResultsView : public QTreeView {
    Q_OBJECT

public:
    explicit TResultsView(QWidget* parent = nullptr);

    void setColumnWidths(const QList<int>& widths, int fillColumn);
    int fillColumn() const { return m_fillColumn; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fill();

    int m_fillColumn = -1;
    bool m_filling = false;
};

} // namespace pw
