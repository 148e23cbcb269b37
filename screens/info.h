#pragma once
#include "common/Screen.h"
#include "ui_info.h"

class TFormInfo : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);

    // Selects the tab with that object name.
    void SelectTab(const QString& tabName);

private:
    Ui::TFormInfo ui;
};
