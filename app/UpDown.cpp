#include "app/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace pw {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this)) {
    setFocusPolicy(Qt::NoFocus);
    for (QToolButton* b : {m_up, m_down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::setAssociate(QLineEdit* edit) {
    m_edit = edit;
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, &TUpDown::textChanged);
    setPosition(m_position);
}

void TUpDown::setRange(int min, int max) {
    m_min = min;
    m_max = std::max(min, max);
    setPosition(m_position);
}

void TUpDown::setPosition(int position) {
    m_position = std::clamp(position, m_min, m_max);
    if (!m_edit) return;
    m_writing = true;
    m_edit->setText(locale().toString(m_position));
    m_writing = false;
}

void TUpDown::step(int delta) {
    if (isEnabled()) setPosition(m_position + delta);
}

std::optional<int> TUpDown::parse(const QString& text, const QLocale& locale, int min, int max) {
    QString digits = text.trimmed();
    if (!(locale.numberOptions() & QLocale::OmitGroupSeparator))
        digits.remove(locale.groupSeparator());
    if (digits.isEmpty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    const int n = digits.toInt();
    if (n < min || n > max) return std::nullopt;
    return n;
}

void TUpDown::textChanged(const QString& text) {
    if (m_writing) return;
    if (std::optional<int> n = parse(text, locale(), m_min, m_max)) m_position = *n;
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            step(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

} // namespace pw
