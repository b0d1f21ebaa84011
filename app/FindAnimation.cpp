#include "app/FindAnimation.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace pw {

namespace {

constexpr int FrameMilliseconds = 70;
constexpr QSize ClipSize(44, 44);

void drawFolder(QPainter& p) {
    p.setPen(QPen(QColor(0x9A, 0x6B, 0x12), 1));
    p.setBrush(QColor(0xF2, 0xC4, 0x4F));
    QPainterPath back;
    back.moveTo(2, 14);
    back.lineTo(2, 10);
    back.lineTo(14, 10);
    back.lineTo(17, 13);
    back.lineTo(38, 13);
    back.lineTo(38, 40);
    back.lineTo(2, 40);
    back.closeSubpath();
    p.drawPath(back);
    // Two pages standing in the folder.
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 7.5, 20, 26));
    p.drawRect(QRectF(12.5, 10.5, 20, 26));
    p.setPen(QPen(QColor(0x6C, 0x8E, 0xBF), 1));
    for (int y = 16; y <= 31; y += 3)
        p.drawLine(QPointF(15.5, y + 0.5), QPointF(29.5, y + 0.5));
    p.setPen(QPen(QColor(0x9A, 0x6B, 0x12), 1));
    p.setBrush(QColor(0xF7, 0xD3, 0x6E));
    QPainterPath front;
    front.moveTo(2, 40);
    front.lineTo(5, 21);
    front.lineTo(41, 21);
    front.lineTo(38, 40);
    front.closeSubpath();
    p.drawPath(front);
}

void drawGlass(QPainter& p, QPointF centre) {
    const double radius = 7;
    const QPointF handleStart = centre + QPointF(radius * 0.72, radius * 0.72);
    p.setPen(QPen(QColor(0x3A, 0x2A, 0x1A), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(handleStart, handleStart + QPointF(6, 6));
    p.setPen(QPen(QColor(0x40, 0x40, 0x48), 2));
    p.setBrush(QColor(0xBF, 0xE3, 0xFF, 150));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.4));
    p.drawArc(QRectF(centre.x() - 4.5, centre.y() - 4.5, 9, 9), 100 * 16, 70 * 16);
}

} // namespace

TFindAnimation::TFindAnimation(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    m_timer.setInterval(FrameMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_frame = m_frame >= StopFrame ? StartFrame : m_frame + 1;
        update();
    });
}

void TFindAnimation::setActive(bool active) {
    if (active == Active()) return;
    if (active) {
        m_timer.start();
    } else {
        m_timer.stop();
        m_frame = StartFrame;
    }
    update();
}

void TFindAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The clip is drawn centred in the control, whatever its size.
    p.translate((width() - ClipSize.width()) / 2.0, (height() - ClipSize.height()) / 2.0);
    drawFolder(p);
    const double angle =
        2 * std::numbers::pi * (m_frame - StartFrame) / (StopFrame - StartFrame + 1) - 0.6;
    drawGlass(p, QPointF(22 + 8 * std::cos(angle), 22 + 6 * std::sin(angle)));
}

} // namespace pw
