#include "CoinRows.h"
#include "AccountModel.h"
#include "common/ClickableLabel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QIcon>
#include <QLabel>
#include <QListWidget>

namespace {
// A row whose spoken name follows its value label, so it is right whenever it is read.
class CoinRowItem : public QListWidgetItem {
public:
    CoinRowItem(const QString& code, const QString& caption, QListWidget* list)
        : QListWidgetItem(code, list), m_caption(caption)
    {
    }
    void SetValueLabel(QLabel* label) { m_value = label; }

    QVariant data(int role) const override
    {
        if (role == Qt::AccessibleTextRole && m_value)
            return QStringLiteral("%1: %2 %3").arg(text(), m_caption, m_value->text());
        return QListWidgetItem::data(role);
    }

private:
    QString m_caption;
    QPointer<QLabel> m_value;
};

// Enter or Space on a list: the current row is clicked.
class RowKeys : public QObject {
public:
    explicit RowKeys(QListWidget* list) : QObject(list), m_list(list) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_list && event->type() == QEvent::KeyPress && IsActivationKey(static_cast<QKeyEvent*>(event))) {
            QListWidgetItem* item = m_list->currentItem();
            if (item && !item->isHidden()) emit m_list->itemClicked(item);
            return true;
        }
        return false;
    }

private:
    QListWidget* m_list;
};
} // namespace

const QStringList& CoinListCodes()
{
    static const QStringList coins{"BTC",  "LTC", "BNB", "ETH",  "DOGE", "TRX", "USDT", "BCH",
                                   "DASH", "XMR", "ETC", "SHIB", "ZEC",  "SOL", "MATIC"};
    return coins;
}

void CreateCoinRows(QListWidget* list, const QString& valuePrefix, const QString& iconPrefix,
                    const QString& valueCaption, CoinRowSize size)
{
    list->installEventFilter(new RowKeys(list));
    for (const QString& code : CoinListCodes()) {
        const QString lower = code.toLower();
        auto* item = new CoinRowItem(code, valueCaption, list);
        item->setForeground(Qt::transparent); // the row widget draws the code beside its icon
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("List_") + code);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(6, 2, 10, 2);
        auto* icon = new QLabel(row);
        icon->setObjectName(iconPrefix + lower);
        icon->setFixedSize(size.icon, size.icon);
        auto* name = new QLabel(code, row);
        name->setObjectName(QStringLiteral("code_") + lower);
        auto* value = new QLabel(QStringLiteral("0"), row);
        value->setObjectName(valuePrefix + lower);
        value->setTextFormat(Qt::PlainText);
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        item->SetValueLabel(value);
        layout->addWidget(icon);
        layout->addWidget(name);
        // The value takes the rest of the row itself: beside a spacer a label
        // that asks for no width (it must not widen the window) is drawn 0 wide.
        layout->addWidget(value, 1);
        row->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks select the row underneath
        item->setSizeHint(QSize(0, size.height));
        list->setItemWidget(item, row);
    }
    list->setCurrentRow(0);
}

void DrawCoinIcons(QListWidget* list, const QString& iconPrefix, CoinRowSize size)
{
    for (const QString& code : CoinListCodes()) {
        const QString lower = code.toLower();
        auto* icon = list->findChild<QLabel*>(iconPrefix + lower);
        if (icon && icon->pixmap().isNull())
            icon->setPixmap(QIcon(QStringLiteral(":/icons/coin_%1.svg").arg(lower)).pixmap(size.icon, size.icon));
    }
}

void FilterCoinRows(QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        item->setHidden(!Account().CoinMatchesSearch(item->text(), text));
    }
}
