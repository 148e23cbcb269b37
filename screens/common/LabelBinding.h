#pragma once
// Labels named after an account amount show it: the dashboard's "wall_"
// labels, the statistics' "earn" labels.
#include <QString>

class QWidget;

// Every label of the screen whose name starts (case-insensitively) with
// prefix takes the text of the account amount it is named after
// ("wall_btc": the BTC wallet), in component order. Throws json::JsonError
// at the first label the account has no amount for; the labels before it
// keep their new texts.
void BindAmountLabels(QWidget* screen, const QString& prefix);
