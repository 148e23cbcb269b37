#pragma once
#include "common/Screen.h"
#include "ui_Lotto.h"

#include <QTimer>


class TFormLotto : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormLotto(QWidget* parent = nullptr);

    // The catalogue's codes, the fifth selected.
    void FillCoinList(const QStringList& codes);

    QTimer* Timer1; // one-shot: the balance, two seconds after the draw figures
    QTimer* Timer2; // the draw's refresh every 30 s while the screen is visible

public slots:
    void ComboBox1Change();
    void HTTPGetPlayersRequestCompleted(const QString& body);
    void HTTPGetWinnerRequestCompleted(const QString& body);
    void Timer1Timer();
    void Timer2Timer();
    void Button3Click();
    void Button2Click();
    void Button5Click();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FileRequestError(const QString& description);
    void ShowFigures(const QString& prize, const QString& deposit, const QString& players);
    void LayOutWinners();
    void RegainFront();
    // The drawn coin's caption and icon, once both files are in.
    void ShowCoin(const QString& coin);
    // Marks each listed draw verified or not and says so under the list.
    void ShowChecks(const QString& body, const QString& coin);
    QLabel* m_check = nullptr;
    Ui::TFormLotto ui;
    QString m_coin; // the coin the draw shown is in, upper case as the list shows it
};
