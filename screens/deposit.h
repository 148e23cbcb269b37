#pragma once
#include "common/Screen.h"
#include "HttpClient.h"
#include "ui_deposit.h"

class TFormDeposit : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormDeposit(QWidget* parent = nullptr);

    // Asks for the address of the selected coin on the selected network.
    void RequestAddress();

    // The coin and network lines, and the deposit terms.
    void Prepare(const QString& coinText, const QString& networkText);
    void SetTerms(const QString& minimumText, const QString& bonusText);
    // The address arrived: text and QR code, the loading indicator gone.
    void ShowAddress(const QString& address);
    // No address and no QR code: before every request, so that a slow or failed
    // one never leaves another coin's address to be copied or scanned.
    void ClearAddress();
    void EndLoading() { HideLoading(); }

public slots:
    void lab_dep_addressClick();

protected:
    void FormShow() override;

private:
    void AddressAnswered(const HttpClient::Outcome& outcome);
    Ui::TFormDeposit ui;
};
