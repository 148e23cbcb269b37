#include "FrameAnimation.h"

#include <QLabel>
#include <QPainter>
#include <QVector>

namespace {
// A ring of twelve dots whose brightness turns with the frame; drawn once.
const QVector<QPixmap>& Frames()
{
    static const QVector<QPixmap> frames = [] {
        QVector<QPixmap> out;
        const int side = 48;
        for (int f = 0; f < FrameAnimation::FrameCount; ++f) {
            QPixmap pm(side, side);
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
            out.push_back(pm);
        }
        return out;
    }();
    return frames;
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
        if (m_target) m_target->setPixmap(Frames().at(m_frame));
    } else {
        m_timer.stop();
    }
}

void FrameAnimation::Step()
{
    m_frame = (m_frame + 1) % FrameCount;
    if (m_target) m_target->setPixmap(Frames().at(m_frame));
    emit Process();
}
