#include "CoinRows.h"
#include "dashboard.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>

void CreateCoinRows(QListWidget* list, const QString& valuePrefix, const QString& iconPrefix, CoinRowSize size)
{
    for (const QString& code : TFormDashboard::ListCoins()) {
        const QString lower = code.toLower();
        auto* item = new QListWidgetItem(code, list);
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
        layout->addWidget(icon);
        layout->addWidget(name);
        layout->addStretch();
        layout->addWidget(value);
        row->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks select the row underneath
        item->setSizeHint(QSize(0, size.height));
        list->setItemWidget(item, row);
    }
    list->setCurrentRow(0);
}

void DrawCoinIcons(QListWidget* list, const QString& iconPrefix, CoinRowSize size)
{
    for (const QString& code : TFormDashboard::ListCoins()) {
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
        item->setHidden(!item->text().contains(text.trimmed(), Qt::CaseInsensitive));
    }
}
