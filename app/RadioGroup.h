#pragma once

#include "app/GroupBox.h"
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace pw {

// A titled group of radio buttons laid out in columns, one item selected (ItemIndex), or none
// (-1).
class TRadioGroup : public TGroupBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)

public:
    TRadioGroup(const QString& title, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int ItemIndex() const;
    void setItemIndex(int index);
    QRadioButton* item(int index) const { return m_items.value(index); }
    qsizetype count() const { return m_items.size(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QButtonGroup* m_group;
    QList<QRadioButton*> m_items;
    int m_columns;
};

} // namespace pw
