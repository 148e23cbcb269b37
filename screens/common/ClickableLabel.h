#pragma once
// An image or text that reacts to a click (back controls, icons, text links).
// Both are reached with Tab (not by a mouse click, so a mouse user sees no focus
// mark on them) and act on Enter, Return or Space as on a click.
#include <QFrame>
#include <QLabel>

class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);
    // Acts as a click does.
    void click() { emit clicked(); }
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A panel that reacts to a click anywhere on it.
class ClickableFrame : public QFrame {
    Q_OBJECT
public:
    explicit ClickableFrame(QWidget* parent = nullptr);
    void click() { emit clicked(); }
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Enter, Return and Space, the keys that act on a focused control.
bool IsActivationKey(const QKeyEvent* event);
