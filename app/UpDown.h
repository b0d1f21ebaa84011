#pragma once

#include <QLocale>
#include <QWidget>

#include <optional>

class QLineEdit;
class QToolButton;

namespace pw {

// Spin buttons bound to a one-line text (the "associate"): the position is a whole number in
// [Min, Max]. The buttons, and the Up and Down keys in the text, step it by one without
// wrapping and show it in the text with the locale's thousands separator. Typing moves the
// position when the text is a whole number within the range (thousands separators allowed);
// any other text leaves the last valid position in force.
class TUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min)
    Q_PROPERTY(int Max READ Max)
    Q_PROPERTY(int Position READ Position WRITE setPosition)

public:
    explicit TUpDown(QWidget* parent = nullptr);

    void setAssociate(QLineEdit* edit);
    QLineEdit* associate() const { return m_edit; }
    void setRange(int min, int max);
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    void setPosition(int position); // clamped to the range; rewrites the text
    void step(int delta);

    // The number a text stands for in this locale, when it is a whole number in [min, max].
    static std::optional<int> parse(const QString& text, const QLocale& locale, int min, int max);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void textChanged(const QString& text);

    QLineEdit* m_edit = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    bool m_writing = false;
};

} // namespace pw
