#include "FrameAnimation.h"

#include <QLabel>
#include <QPainter>

namespace {
// A ring of twelve dots whose brightness turns with the frame. Each frame is
// drawn the first time it is needed, so showing the animation costs one frame.
const QPixmap& DrawnFrame(int f)
{
    static QPixmap frames[FrameAnimation::FrameCount];
    QPixmap& pm = frames[f];
    if (pm.isNull()) {
        const int side = 48;
        pm = QPixmap(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(side / 2.0, side / 2.0);
        p.rotate(360.0 * f / FrameAnimation::FrameCount);
        for (int i = 0; i < 12; ++i) {
            QColor c(0xF2, 0xA9, 0x00);
            c.setAlphaF(0.15 + 0.85 * i / 11.0);
            p.setBrush(c);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(0, -side * 0.36), side * 0.07, side * 0.07);
            p.rotate(30);
        }
    }
    return pm;
}
} // namespace

FrameAnimation::FrameAnimation(QLabel* target, QObject* parent) : QObject(parent), m_target(target)
{
    m_timer.setInterval(CycleMs / FrameCount);
    connect(&m_timer, &QTimer::timeout, this, &FrameAnimation::Step);
}

void FrameAnimation::SetEnabled(bool enabled)
{
    if (enabled == m_timer.isActive()) return;
    if (enabled) {
        m_timer.start();
        if (m_target) m_target->setPixmap(DrawnFrame(m_frame));
    } else {
        m_timer.stop();
    }
}

void FrameAnimation::Step()
{
    m_frame = (m_frame + 1) % FrameCount;
    if (m_target) m_target->setPixmap(DrawnFrame(m_frame));
    emit Process();
}
