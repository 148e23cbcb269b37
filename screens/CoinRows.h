#pragma once
// The fifteen-coin lists of the statistics and referral screens: a row per
// coin, its text the code in capitals, with an icon and a value label named
// after the coin so that the labels bind to account members by name.
#include <QString>

class QListWidget;

// Rows in the dashboard's order. Each row holds a label valuePrefix + code
// (lower case, text "0") and an icon iconPrefix + code.
void CreateCoinRows(QListWidget* list, const QString& valuePrefix, const QString& iconPrefix);

// Draws the rows' icons; they cost start-up time, so screens call this when
// the list is first seen.
void DrawCoinIcons(QListWidget* list, const QString& iconPrefix);

// Shows only the rows whose code contains the text, in any letter case.
void FilterCoinRows(QListWidget* list, const QString& text);
