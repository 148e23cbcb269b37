#pragma once
// What the money did: the account's history page by page (filtered by coin,
// exported as CSV), the open rentals as cards, the credited earnings per day
// as a chart, and the notices of new events (tray or message panel).
#include "History.h"
#include "common/Screen.h"
#include "ui_activity.h"

#include <QPointer>

class EarningsChart;
class NoticeWatcher;
class QFileDialog;
class QSystemTrayIcon;

class FormActivity : public SecondaryScreen {
    Q_OBJECT
public:
    explicit FormActivity(QWidget* parent = nullptr);
    ~FormActivity() override;

    HistoryModel* Model() const { return m_model; }
    NoticeWatcher* Watcher() const { return m_watcher; }
    // Rows asked for per page as the user scrolls, and per page of an export.
    static constexpr int PageRows = 100;
    static constexpr int ExportPageRows = 200;
    EarningsChart* Chart() const { return m_chart; }
    // Whether a system tray took the notices (else they go to the message panel).
    bool HasTray() const { return m_tray != nullptr; }

public slots:
    // Loads the next page when the view is near its end and pages remain.
    void LoadMoreIfNeeded();
    void btn_exportClick();
    // Writes the whole filtered history to path, loading the pages not yet shown first.
    void ExportTo(const QString& path);
    void combo_coinChange(int index);

protected:
    void FormShow() override;

private:
    void FillCoins();
    void LoadPage(int rows);
    void PageArrived(const QString& error);
    void LoadRentals();
    void LoadEarnings();
    void DrawEarnings();
    void Notify(const QString& text);
    void SetupTray();

    Ui::FormActivity ui;
    HistoryModel* m_model = nullptr;
    NoticeWatcher* m_watcher = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    EarningsChart* m_chart = nullptr;
    QPointer<QFileDialog> m_dialog;
    bool m_loading = false;
    QString m_exportPath; // set while an export waits for its pages
    // The current coin's lines for the chart, newest first, and what is still to read.
    QList<history::Item> m_earningLines;
    QString m_chartCoin;
    int m_chartPages = 0;
};
