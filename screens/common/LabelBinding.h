#pragma once
// Labels named like JSON members show those members: the dashboard's "wall_"
// labels, the statistics' "earn" labels.
#include <QJsonObject>
#include <QString>

class QWidget;

// Every label of the screen whose name starts (case-insensitively) with
// prefix takes the text of the member of the same name, in component order.
// Throws json::JsonError at the first label without a member; the labels
// before it keep their new texts.
void BindLabelsByName(QWidget* screen, const QString& prefix, const QJsonObject& values);
