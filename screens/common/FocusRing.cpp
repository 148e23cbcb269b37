#include "FocusRing.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyleOption>

// How far the ring stands out around its control, in pixels.
static constexpr int RingOutset = 3;

class FocusTracker : public QObject {
public:
    explicit FocusTracker(QObject* parent) : QObject(parent)
    {
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { Follow(now); });
    }

    bool keyboard = false;
    QPointer<QWidget> target;
    QPointer<FocusRing> ring;

    void Follow(QWidget* now)
    {
        if (target) target->removeEventFilter(this);
        target = now;
        if (target) target->installEventFilter(this);
        Place();
    }

    // Shows the ring around the focused control, or hides it.
    void Place()
    {
        QWidget* control = target;
        const bool wanted = keyboard && control && control->isVisible() && !control->isWindow() &&
                            control->window()->windowType() != Qt::Popup;
        if (!wanted) {
            if (ring) ring->hide();
            return;
        }
        QWidget* window = control->window();
        if (!ring || ring->parentWidget() != window) {
            delete ring.data();
            ring = new FocusRing(window);
        }
        const QPoint origin = control->mapTo(window, QPoint(0, 0));
        ring->setGeometry(QRect(origin, control->size()).adjusted(-RingOutset, -RingOutset, RingOutset, RingOutset));
        ring->show();
        ring->raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (!keyboard) {
                keyboard = true;
                Place();
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (keyboard) {
                keyboard = false;
                Place();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            if (watched == target) Place();
            break;
        default:
            break;
        }
        return false;
    }
};

static QPointer<FocusTracker>& TrackerSlot()
{
    static QPointer<FocusTracker> tracker;
    return tracker;
}

void FocusRing::Install()
{
    QPointer<FocusTracker>& tracker = TrackerSlot();
    if (tracker || !qApp) return;
    tracker = new FocusTracker(qApp);
    qApp->installEventFilter(tracker);
}

bool FocusRing::ShownAround(const QWidget* control)
{
    const FocusTracker* tracker = TrackerSlot();
    return tracker && tracker->ring && tracker->target == control && tracker->ring->isVisible();
}

bool FocusRing::KeyboardInUse()
{
    const FocusTracker* tracker = TrackerSlot();
    return tracker && tracker->keyboard;
}

FocusRing::FocusRing(QWidget* window) : QWidget(window)
{
    setObjectName(QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_StyledBackground);
    setFocusPolicy(Qt::NoFocus);
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
