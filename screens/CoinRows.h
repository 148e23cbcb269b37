#pragma once
// The fifteen-coin lists of the statistics and referral screens: a row per
// coin, its text the code in capitals, with an icon and a value label named
// after the coin so that the labels bind to account members by name.
#include <QString>
#include <QStringList>

class QListWidget;

// The coins of every coin list, in list order (upper case).
const QStringList& CoinListCodes();

// The sizes of one list's rows: the dashboard's are larger.
struct CoinRowSize {
    int icon = 24;
    int height = 32;
};

// Rows in the dashboard's order. Each row holds a label valuePrefix + code
// (lower case, text "0") and an icon iconPrefix + code. A long value is cut
// rather than widening the window. A screen reader reads a row as its code,
// valueCaption and the value the label shows at that moment. Enter or Space on
// the list acts as a click on its current row.
void CreateCoinRows(QListWidget* list, const QString& valuePrefix, const QString& iconPrefix,
                    const QString& valueCaption, CoinRowSize size = {});

// Draws the rows' icons; they cost start-up time, so screens call this when
// the list is first seen.
void DrawCoinIcons(QListWidget* list, const QString& iconPrefix, CoinRowSize size = {});

// Shows only the rows whose coin the search text finds, by code or by full name.
void FilterCoinRows(QListWidget* list, const QString& text);
