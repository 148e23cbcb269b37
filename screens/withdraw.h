#pragma once
#include "common/Screen.h"
#include "AddressBook.h"
#include "ui_withdraw.h"

class TFormWithdraw : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormWithdraw(QWidget* parent = nullptr);

public slots:
    void Button3Click();
    void val_withdraw_coinChangeTracking();
    void ComboBox1Change();
    void Button1Click();
    void Text5Click();
    void Button4Click();

protected:
    void FormCreate();
    void FormShow() override;

private:
    // The saved addresses of the current coin and network, none picked.
    void FillAddressBook();
    void AddressBookPicked(int index);
    void SaveAddressClick();

    Ui::TFormWithdraw ui;
    AddressBook m_book;
};
