#pragma once
#include "common/Screen.h"
#include "ui_swapcoin.h"

#include <QTimer>

class HttpClient;

class TFormSwap : public SecondaryScreen {
    Q_OBJECT
public:
    explicit TFormSwap(QWidget* parent = nullptr);

    // The catalogue's codes in both lists: nothing selected in the first, the seventh in the second.
    void FillCoinLists(const QStringList& codes);

    QTimer* TimerCheckPrice;
    HttpClient* NetHTTP_get_swap;

    // "get" or "swap": how the next reply of NetHTTP_get_swap is read.
    const QString& SwapCommand() const { return m_swapCommand; }
    // From-coins per to-coin and to-coins per from-coin of the last successful
    // quote.
    const QString& SwapRate() const { return m_swapRate; }
    const QString& SwapPriceText() const { return m_swapPriceText; }

public slots:
    void edit_valChangeTracking();
    void TimerCheckPriceTimer();
    void NetHTTP_get_swapRequestCompleted(const QString& body);
    void NetHTTP_get_swapRequestError(const QString& description);
    void cur0_to_cur1ChangeTracking();
    void Button1Click();
    void Button3Click();
    void Image2Click();
    void edit_valClick();
    void cur0_to_cur1Click();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AttachReverse();
    void DetachReverse();
    void AttachAmount();
    void DetachAmount();
    // One request of this screen in the air at a time: a reply is read by the
    // last command sent, and a second swap must not leave on a double click.
    void RequestSent();
    void ReplyArrived();
    // A quote that came due while a swap was in the air leaves once its answer is
    // handled.
    void SendDeferredQuote();
    // Shows why the quote failed and keeps it: "Swap" repeats it and sends
    // nothing until a quote succeeds.
    void QuoteFailed(const QString& message);

    Ui::TFormSwap ui;
    QString m_swapCommand;
    QString m_swapRate;
    QString m_swapPriceText;
    QMetaObject::Connection m_reverse;
    QMetaObject::Connection m_amount;
    int m_pending = 0;
    bool m_quoteDeferred = false;
    QString m_quoteFailure;
};
