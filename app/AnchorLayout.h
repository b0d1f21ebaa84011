#pragma once

#include <QFlags>
#include <QLayout>
#include <QList>
#include <QRect>

namespace pw {

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
Q_DECLARE_FLAGS(TAnchors, TAnchor)
Q_DECLARE_OPERATORS_FOR_FLAGS(TAnchors)

// Places each widget at a fixed rectangle of a container designed at a given size (pixels at
// 96 dpi) and keeps the widget's distance to each anchored edge when the container is resized:
// anchored left and right it stretches, anchored right only it moves, and likewise vertically.
class TAnchorLayout : public QLayout {
public:
    TAnchorLayout(QWidget* container, QSize designSize);
    ~TAnchorLayout() override;

    void place(QWidget* widget, QRect designRect, TAnchors anchors = {akLeft, akTop});
    QSize designSize() const { return m_designSize; }

    void addItem(QLayoutItem* item) override; // placed where the widget stands now
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QSize sizeHint() const override { return m_designSize; }
    QSize minimumSize() const override { return {0, 0}; }
    void setGeometry(const QRect& rect) override;

    // Where a rectangle designed for designSize lies in a container of the given size.
    static QRect anchored(QRect design, TAnchors anchors, QSize designSize, QSize size);

private:
    struct Item {
        QLayoutItem* item;
        QRect design;
        TAnchors anchors;
    };
    QSize m_designSize;
    QList<Item> m_items;
};

} // namespace pw
