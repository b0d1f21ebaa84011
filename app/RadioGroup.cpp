#include "app/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace pw {

namespace {
// Where the items start inside the box: below its title, clear of its frame.
constexpr int Inset = 8;
constexpr int TitleHeight = 15;
} // namespace

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, int columns,
                         QWidget* parent)
    : TGroupBox(title, parent)
    , m_group(new QButtonGroup(this))
    , m_columns(std::max(1, columns)) {
    for (const QString& text : items) {
        auto* button = new QRadioButton(text, this);
        m_group->addButton(button, static_cast<int>(m_items.size()));
        m_items.append(button);
    }
}

int TRadioGroup::ItemIndex() const {
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index) {
    if (QRadioButton* button = item(index)) {
        button->setChecked(true);
        return;
    }
    // No item: a button group that is exclusive cannot uncheck its last button.
    m_group->setExclusive(false);
    for (QRadioButton* button : std::as_const(m_items))
        button->setChecked(false);
    m_group->setExclusive(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    TGroupBox::resizeEvent(event);
    const int rows = static_cast<int>((m_items.size() + m_columns - 1) / m_columns);
    if (rows == 0) return;
    const int columnWidth = (width() - 2 * Inset) / m_columns;
    const int rowHeight = std::max(1, (height() - TitleHeight - 2) / rows);
    for (int i = 0; i < m_items.size(); ++i) {
        const int column = i / rows;
        const int row = i % rows;
        m_items[i]->setGeometry(Inset + column * columnWidth, TitleHeight + row * rowHeight,
                                columnWidth, std::min(rowHeight, 20));
    }
}

} // namespace pw
