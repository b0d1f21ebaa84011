#pragma once

#include <QGroupBox>

namespace pw {

// A titled frame drawn with its title on the top line of the frame, so that controls placed a
// little below the box's top edge sit inside it.
class TGroupBox : public QGroupBox {
    Q_OBJECT

public:
    explicit TGroupBox(const QString& title, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace pw
