#include "ClickableLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

bool IsActivationKey(const QKeyEvent* event)
{
    if (event->isAutoRepeat()) return false;
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space || key == Qt::Key_Select;
}

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void ClickableLabel::keyPressEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event)) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    emit clicked();
}

ClickableFrame::ClickableFrame(QWidget* parent) : QFrame(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ClickableFrame::mouseReleaseEvent(QMouseEvent* event)
{
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void ClickableFrame::keyPressEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event)) {
        QFrame::keyPressEvent(event);
        return;
    }
    event->accept();
    emit clicked();
}
