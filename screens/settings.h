#pragma once
#include "common/Screen.h"
#include "ui_settings.h"

class TFormSetting : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSetting(QWidget* parent = nullptr);

    // "Security code:" when opened from the login screen, "Old Pass:" from the
    // dashboard.
    void SetPassCaption(const QString& caption);

public slots:
    void Button6Click();
    void Button7Click();

protected:
    void FormShow() override;

private:
    Ui::TFormSetting ui;
};
