#pragma once
#include "common/Screen.h"
#include "ui_Lotto.h"

class TFormLotto : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormLotto(QWidget* parent = nullptr);

    // The catalogue's codes, the fifth selected.
    void FillCoinList(const QStringList& codes);

private:
    Ui::TFormLotto ui;
};
