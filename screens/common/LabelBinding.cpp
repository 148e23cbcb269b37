#include "LabelBinding.h"
#include "AccountModel.h"
#include "Json.h"

#include <QLabel>

void BindAmountLabels(QWidget* screen, const QString& prefix)
{
    const auto labels = screen->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        const QString name = label->objectName();
        if (name.left(prefix.size()).toLower() != prefix.toLower()) continue;
        const auto amount = AccountModel::AmountNamed(name);
        if (!amount) throw json::JsonError(QStringLiteral("JSON member \"%1\" not found").arg(name));
        label->setText(Account().Shown(Account().AmountText(amount->first, amount->second)));
    }
}
