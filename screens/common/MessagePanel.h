#pragma once
// The message panel every screen carries: a plain-text label that scrolls when
// the text is long, and a close button. Forms place it as one promoted widget.
#include <QFrame>

class QLabel;
class QPushButton;
class QScrollArea;

class MessagePanel : public QFrame {
    Q_OBJECT
    // Screens name the close button differently ("Button2" on most, "Button1" on the lottery).
    Q_PROPERTY(QString closeButtonName READ closeButtonName WRITE setCloseButtonName)
public:
    // Texts beyond this are cut with an ellipsis: a reply of megabytes would
    // otherwise take the GUI seconds to lay out, and nobody reads it.
    static constexpr int MaxChars = 4000;

    explicit MessagePanel(QWidget* parent = nullptr);

    QString closeButtonName() const;
    void setCloseButtonName(const QString& name);

    QLabel* label() const { return m_label; }
    QPushButton* closeButton() const { return m_close; }

    // Shows text over the top of the parent's content (margins 10, 5, 10), sized to
    // the text up to the parent's height; longer texts scroll.
    void Present(const QString& text);

private:
    QLabel* m_label;
    QScrollArea* m_scroll;
    QPushButton* m_close;
};
