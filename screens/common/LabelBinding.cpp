#include "LabelBinding.h"
#include "Json.h"

#include <QLabel>

void BindLabelsByName(QWidget* screen, const QString& prefix, const QJsonObject& values)
{
    const auto labels = screen->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        const QString name = label->objectName();
        if (name.left(prefix.size()).toLower() != prefix.toLower()) continue;
        label->setText(json::MemberText(values, name));
    }
}
