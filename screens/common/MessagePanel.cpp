#include "MessagePanel.h"
#include "DisplayText.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

MessagePanel::MessagePanel(QWidget* parent) : QFrame(parent)
{
    setAccessibleName(QStringLiteral("Message"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);

    m_label = new QLabel(QStringLiteral("TEST"), this); // the design text, replaced by every message
    m_label->setObjectName(QStringLiteral("message_label"));
    m_label->setTextFormat(Qt::PlainText); // server text is never markup
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("message_scroll"));
    m_scroll->setAccessibleName(QStringLiteral("Message text"));
    m_scroll->setAccessibleDescription(QStringLiteral("Scrolls a long message"));
    m_scroll->setWidget(m_label);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scroll);

    m_close = new QPushButton(QStringLiteral("\u274CClose"), this);
    m_close->setObjectName(QStringLiteral("Button2"));
    m_close->setAccessibleName(QStringLiteral("Close the message"));
    m_close->setAccessibleDescription(QStringLiteral("Enter or Escape closes it too"));
    layout->addWidget(m_close);
    connect(m_close, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

QString MessagePanel::closeButtonName() const
{
    return m_close->objectName();
}

void MessagePanel::setCloseButtonName(const QString& name)
{
    m_close->setObjectName(name);
}

void MessagePanel::Present(const QString& text)
{
    m_label->setText(display::Elide(text, MaxChars));
    QWidget* container = parentWidget();
    if (!container) {
        show();
        return;
    }
    const int width = std::max(40, container->width() - 20);
    const QMargins m = layout()->contentsMargins();
    const int textWidth =
        std::max(20, width - m.left() - m.right() - m_scroll->verticalScrollBar()->sizeHint().width());
    const int wanted = m.top() + m.bottom() + layout()->spacing() + m_label->heightForWidth(textWidth) +
                       m_close->sizeHint().height() + 4;
    const int height = std::min(wanted, std::max(60, container->height() - 10));
    setGeometry(10, 5, width, height);
    m_scroll->verticalScrollBar()->setValue(0);
    show();
    raise();
    // Read out at once: the focus stays where the user was working.
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}
