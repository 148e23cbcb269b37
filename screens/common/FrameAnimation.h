#pragma once
// The loading indicator's animation: 32 frames a second, looping, drawn into
// an image label. Each frame raises Process so the screen can stop it.
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

class QLabel;

class FrameAnimation : public QObject {
    Q_OBJECT
public:
    static constexpr int FrameCount = 32;
    static constexpr int CycleMs = 1000;

    FrameAnimation(QLabel* target, QObject* parent);

    bool Enabled() const { return m_timer.isActive(); }
    void SetEnabled(bool enabled);
    int Frame() const { return m_frame; }

signals:
    void Process();

private:
    void Step();
    QPointer<QLabel> m_target;
    QTimer m_timer;
    int m_frame = 0;
};
