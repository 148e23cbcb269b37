#pragma once
#include "common/Screen.h"
#include "ui_settings.h"

class SecurityTab;

class TFormSetting : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSetting(QWidget* parent = nullptr);

    // "Security code:" when opened from the login screen, "Old Pass:" from the
    // dashboard.
    void SetPassCaption(const QString& caption);

    // The answer to a password change for login arrived: a change the service
    // made for the remembered login moves the remembered digest along.
    void ChangeAnswered(const QString& login, const QString& newDigest, const QString& reply);

public slots:
    void Button6Click();
    void Button7Click();

protected:
    void FormShow() override;
    void hideEvent(QHideEvent* event) override;

private:
    Ui::TFormSetting ui;
    SecurityTab* m_security = nullptr;
};
