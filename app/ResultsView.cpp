#include "app/ResultsView.h"

#include <QHeaderView>
#include <QScrollBar>

namespace pw {

namespace {
constexpr int MinimumFillWidth = 50;
}

TResultsView::TResultsView(QWidget* parent)
    : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setHighlightSections(false);
    header()->setSortIndicatorShown(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section != m_fillColumn) fill();
    });
}

void TResultsView::setColumnWidths(const QList<int>& widths, int fillColumn) {
    m_fillColumn = fillColumn;
    for (int i = 0; i < widths.size(); ++i)
        if (i != fillColumn) header()->resizeSection(i, widths[i]);
    fill();
}

void TResultsView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    fill();
}

// The fill column takes the width the viewport has beyond the other columns.
void TResultsView::fill() {
    if (m_filling || m_fillColumn < 0 || m_fillColumn >= header()->count()) return;
    int others = 0;
    for (int i = 0; i < header()->count(); ++i)
        if (i != m_fillColumn) others += header()->sectionSize(i);
    m_filling = true;
    header()->resizeSection(m_fillColumn, std::max(MinimumFillWidth, viewport()->width() - others));
    m_filling = false;
}

} // namespace pw
