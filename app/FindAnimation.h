#pragma once

#include <QTimer>
#include <QWidget>

namespace pw {

// The searching animation: a magnifying glass sweeping over a folder of pages, frames 1 to 23,
// looping while active, drawn centred on a transparent background. Stopped, it shows frame 1.
class TFindAnimation : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE setActive)

public:
    static constexpr int StartFrame = 1;
    static constexpr int StopFrame = 23;

    explicit TFindAnimation(QWidget* parent = nullptr);

    bool Active() const { return m_timer.isActive(); }
    void setActive(bool active);
    void Play() { setActive(true); }
    void Stop() { setActive(false); }
    int frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_frame = StartFrame;
};

} // namespace pw
