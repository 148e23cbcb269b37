#pragma once
// The mark around the control that has the keyboard focus. It is drawn only
// while the user works with the keyboard (a key was pressed after the last
// mouse press), so a mouse user sees the screens as before. It is a separate
// overlay, styled in style.qss as QWidget#FocusRing, so no control changes its
// size or look to show it.
#include <QPointer>
#include <QWidget>

class FocusRing : public QWidget {
    Q_OBJECT
public:
    // Starts following the focus of the whole application; once per process.
    static void Install();
    // The ring is shown around a control now.
    static bool ShownAround(const QWidget* control);
    // The user's last press was a key, not a mouse button.
    static bool KeyboardInUse();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit FocusRing(QWidget* window);
    friend class FocusTracker;
};
