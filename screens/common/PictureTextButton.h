#pragma once
// A push button whose text ends in a symbol drawn as our own picture: text()
// (and so what assistive tools read) stays the whole text, but the button is
// measured and painted as the rest of the text followed by the picture. A
// colour emoji in the text would otherwise send the first paint through the
// font fallback search, the emoji font and its bitmap glyphs.
#include <QPainter>
#include <algorithm>
#include <QPixmap>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

class PictureTextButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    // Draws shown (text() without its symbol) followed by picture.
    void DrawAs(const QString& shown, const QPixmap& picture)
    {
        m_shown = shown;
        m_picture = picture;
        m_drawn = true;
        updateGeometry();
        update();
    }

    QSize sizeHint() const override
    {
        if (!m_drawn) return QPushButton::sizeHint();
        ensurePolished();
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text = m_shown;
        const QSize content = ContentSize();
        return style()->sizeFromContents(QStyle::CT_PushButton, &option, content, this);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_drawn) {
            QPushButton::paintEvent(event);
            return;
        }
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear(); // the background and frame only: the text is drawn below
        painter.drawControl(QStyle::CE_PushButtonBevel, option);
        const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        const QSize content = ContentSize();
        QRect group(QPoint(0, 0), content);
        group.moveCenter(contents.center());
        const int textWidth = fontMetrics().horizontalAdvance(m_shown);
        const QRect textRect(group.left(), contents.top(), textWidth, contents.height());
        style()->drawItemText(&painter, textRect, Qt::AlignLeft | Qt::AlignVCenter, option.palette, isEnabled(),
                              m_shown, foregroundRole());
        const QSize pictureSize = m_picture.deviceIndependentSize().toSize();
        const QPoint at(textRect.right() + 1 + Gap, contents.center().y() - pictureSize.height() / 2 + 1);
        painter.drawPixmap(QRect(at, pictureSize), m_picture);
    }

private:
    static constexpr int Gap = 2;

    QSize ContentSize() const
    {
        const QSize pictureSize = m_picture.deviceIndependentSize().toSize();
        const int width = fontMetrics().horizontalAdvance(m_shown) + Gap + pictureSize.width();
        return QSize(width, std::max(fontMetrics().height(), pictureSize.height()));
    }

    QString m_shown;
    QPixmap m_picture;
    bool m_drawn = false;
};
