#include "app/AnchorLayout.h"

#include <QWidget>
#include <QWidgetItem>

#include <algorithm>

namespace pw {

TAnchorLayout::TAnchorLayout(QWidget* container, QSize designSize)
    : QLayout(container)
    , m_designSize(designSize) {
    setContentsMargins(0, 0, 0, 0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

TAnchorLayout::~TAnchorLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void TAnchorLayout::place(QWidget* widget, QRect designRect, TAnchors anchors) {
    addChildWidget(widget);
    m_items.append({new QWidgetItem(widget), designRect, anchors});
    widget->setGeometry(designRect);
    invalidate();
}

void TAnchorLayout::addItem(QLayoutItem* item) {
    const QRect now = item->widget() ? item->widget()->geometry() : item->geometry();
    m_items.append({item, now, {akLeft, akTop}});
}

QLayoutItem* TAnchorLayout::itemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items[index].item : nullptr;
}

QLayoutItem* TAnchorLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size()) return nullptr;
    return m_items.takeAt(index).item;
}

QRect TAnchorLayout::anchored(QRect design, TAnchors anchors, QSize designSize, QSize size) {
    const int dx = size.width() - designSize.width();
    const int dy = size.height() - designSize.height();
    QRect r = design;
    if (anchors & akRight) {
        if (anchors & akLeft)
            r.setWidth(std::max(0, r.width() + dx));
        else
            r.moveLeft(r.left() + dx);
    }
    if (anchors & akBottom) {
        if (anchors & akTop)
            r.setHeight(std::max(0, r.height() + dy));
        else
            r.moveTop(r.top() + dy);
    }
    return r;
}

void TAnchorLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    // Positions count from the container's own corner, not from its contents area (which a
    // group box starts below its title).
    const QRect area = parentWidget() ? parentWidget()->rect() : rect;
    for (const Item& i : std::as_const(m_items)) {
        const QRect r =
            anchored(i.design, i.anchors, m_designSize, area.size()).translated(area.topLeft());
        // Straight to the widget: a placed rectangle is exact, whatever the widget's size hints,
        // and hidden widgets are placed too.
        if (QWidget* w = i.item->widget())
            w->setGeometry(r);
        else
            i.item->setGeometry(r);
    }
}

} // namespace pw
