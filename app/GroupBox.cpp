#include "app/GroupBox.h"

#include <QPainter>

namespace pw {

namespace {
constexpr int TitleLeft = 8;
}

TGroupBox::TGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

void TGroupBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect titleRect(TitleLeft, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());

    // The frame line is left out behind the title, so the title reads on whatever lies below.
    p.save();
    p.setClipRegion(QRegion(rect()).subtracted(titleRect));
    p.setRenderHint(QPainter::Antialiasing);
    const QColor line = palette().color(QPalette::Mid);
    p.setPen(QPen(line, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, metrics.height() / 2 + 0.5, -0.5, -0.5), 2, 2);
    p.restore();

    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(titleRect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, title());
}

} // namespace pw
