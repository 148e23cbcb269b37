#pragma once
#include "common/Screen.h"
#include "ui_info.h"

class TFormInfo : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);

    // Selects the tab with that object name.
    void SelectTab(const QString& tabName);

    // The addresses behind the contacts tab's three links.
    static const char* const ChatLink;
    static const char* const ChannelLink;
    static const char* const ProfileLink;

    void show_full_statistic();

public slots:
    void TabControl1Change();
    void ListBox1ItemClick();
    void SearchBox1Change(const QString& text);
    void Text4Click();
    void Text13Click();
    void Text10Click();

protected:
    void FormCreate();
    void FormShow() override;

private:
    Ui::TFormInfo ui;
};
