#pragma once
#include "common/Screen.h"
#include "ui_swapcoin.h"

class TFormSwap : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSwap(QWidget* parent = nullptr);

    // The catalogue's codes in both lists: nothing selected in the first, the seventh in the second.
    void FillCoinLists(const QStringList& codes);

private:
    Ui::TFormSwap ui;
};
