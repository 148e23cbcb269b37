#include "activity.h"

#include "AccountModel.h"
#include "AppState.h"
#include "EarningsChart.h"
#include "Notices.h"
#include "Rentals.h"
#include "ServiceClient.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <limits>

namespace {

// Pages read for the chart at most: 90 days of earnings among other lines.
constexpr int MaxChartPages = 10;

QLabel* PlainLabel(const QString& text, QWidget* parent, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

} // namespace

FormActivity::FormActivity(QWidget* parent) : SecondaryScreen(parent)
{
    ui.setupUi(this);
    InitScreen();

    m_model = new HistoryModel(this);
    m_model->setObjectName(QStringLiteral("HistoryModel"));
    QTableView* table = ui.table_history;
    table->setModel(m_model);
    // Plain text only: the default delegate draws the model's text as it is, and no row grows to fit it.
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setAccessibleName(QStringLiteral("Column headings"));
    table->verticalHeader()->setAccessibleName(QStringLiteral("Row headings"));
    table->setColumnWidth(HistoryModel::Date, 150);
    table->setColumnWidth(HistoryModel::Kind, 110);
    table->setColumnWidth(HistoryModel::Coin, 60);
    table->setColumnWidth(HistoryModel::Amount, 140);
    table->setColumnWidth(HistoryModel::Fee, 110);
    table->setColumnWidth(HistoryModel::Status, 70);
    table->setTextElideMode(Qt::ElideRight);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(table->verticalScrollBar(), &QScrollBar::valueChanged, this, &FormActivity::LoadMoreIfNeeded);
    connect(table->verticalScrollBar(), &QScrollBar::rangeChanged, this, &FormActivity::LoadMoreIfNeeded);

    // The section tabs and the table's select-all corner are read by name too.
    ui.tabs_activity->tabBar()->setAccessibleName(QStringLiteral("Activity sections"));
    const auto corner = table->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : corner)
        if (b->accessibleName().isEmpty()) b->setAccessibleName(QStringLiteral("Select every row"));

    connect(ui.btn_export, &QPushButton::clicked, this, &FormActivity::btn_exportClick);
    connect(ui.combo_coin, &QComboBox::currentIndexChanged, this, &FormActivity::combo_coinChange);
    connect(ui.radio_30, &QRadioButton::toggled, this, [this] { DrawEarnings(); });
    connect(ui.tabs_activity, &QTabWidget::currentChanged, this, [this](int) {
        if (ui.tabs_activity->currentWidget() == ui.tab_rentals) LoadRentals();
        if (ui.tabs_activity->currentWidget() == ui.tab_earnings) LoadEarnings();
    });

    ui.chk_notifications->setChecked(notices::Enabled());
    connect(ui.chk_notifications, &QCheckBox::toggled, this, [](bool on) { notices::SetEnabled(on); });

    // The chart: one bar per day of the chosen range.
    m_chart = new EarningsChart(ui.chart_holder);
    ui.ChartLayout->addWidget(m_chart);

    m_watcher = new NoticeWatcher(this);
    connect(m_watcher, &NoticeWatcher::Notice, this, &FormActivity::Notify);
    // Every refreshed account is a moment to look for news.
    connect(&Account(), &AccountModel::AccountChanged, m_watcher, &NoticeWatcher::Check);
    connect(&Account(), &AccountModel::CatalogueChanged, this, [this] { FillCoins(); });
    SetupTray();
    FillCoins();
    ui.PanelErrorMessage->hide();
}

FormActivity::~FormActivity()
{
    delete m_tray;
}

void FormActivity::SetupTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/earning.svg")));
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(QStringLiteral("Ambervale"));
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TrayMenu"));
    QAction* show = menu->addAction(QStringLiteral("Show"));
    connect(show, &QAction::triggered, this, [] {
        ScreenHost* host = Host();
        Screen* front = host ? host->LastFront() : nullptr;
        if (!front && host) front = host->Find(State().LoggedIn ? QStringLiteral("dashboard") : QStringLiteral("login"));
        if (!front) return;
        front->show();
        front->raise();
        front->activateWindow();
    });
    QAction* refresh = menu->addAction(QStringLiteral("Refresh"));
    connect(refresh, &QAction::triggered, this, [] {
        if (State().LoggedIn && ServiceClient::Instance()) Service().RefreshAccount();
    });
    QAction* quit = menu->addAction(QStringLiteral("Quit"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    m_tray->setContextMenu(menu);
    m_tray->show();
}

void FormActivity::Notify(const QString& text)
{
    if (m_tray && QSystemTrayIcon::supportsMessages()) {
        m_tray->showMessage(QStringLiteral("Ambervale"), text, QSystemTrayIcon::Information);
        return;
    }
    // No tray: the screen the user has in front says it.
    ::ShowMessage(text);
}

void FormActivity::FillCoins()
{
    const QString chosen = ui.combo_coin->currentData().toString();
    const QSignalBlocker block(ui.combo_coin);
    ui.combo_coin->clear();
    ui.combo_coin->addItem(QStringLiteral("All coins"), QString());
    for (const QString& code : Account().Codes()) ui.combo_coin->addItem(code.toUpper(), code);
    const int i = ui.combo_coin->findData(chosen);
    ui.combo_coin->setCurrentIndex(i < 0 ? 0 : i);
}

void FormActivity::FormShow()
{
    FillCoins();
    // The newest lines each time the screen opens: what was just done is there.
    m_model->Reset(ui.combo_coin->currentData().toString());
    m_loading = false;
    LoadPage(PageRows);
    if (ui.tabs_activity->currentWidget() == ui.tab_rentals) LoadRentals();
    if (ui.tabs_activity->currentWidget() == ui.tab_earnings) LoadEarnings();
}

void FormActivity::combo_coinChange(int)
{
    m_exportPath.clear();
    m_model->Reset(ui.combo_coin->currentData().toString());
    m_loading = false;
    LoadPage(PageRows);
}

void FormActivity::LoadMoreIfNeeded()
{
    if (m_loading || !m_model->HasMore() || !isVisible()) return;
    // Near the end: within two screenfuls of it, or the rows do not fill the view. Measured from the rows
    // themselves: the scroll bar's range follows new rows only later.
    const QTableView* table = ui.table_history;
    const int screenful = table->viewport()->height();
    const int below = table->verticalHeader()->length() - table->verticalScrollBar()->value() - screenful;
    if (below <= 2 * screenful) LoadPage(PageRows);
}

void FormActivity::LoadPage(int rows)
{
    if (!m_model->HasMore()) return;
    const bool sent = history::Fetch(QStringLiteral("history"), m_model->CoinFilter(), m_model->NextBefore(), rows,
                                     this, [this](const history::Page* page, const QString& error) {
                                         if (page) m_model->Append(*page);
                                         PageArrived(error);
                                     });
    if (!sent) return;
    m_loading = true;
    ShowLoading();
}

void FormActivity::PageArrived(const QString& error)
{
    m_loading = false;
    HideLoading();
    if (!error.isEmpty()) {
        // What was shown stays; the user may scroll again to retry.
        m_exportPath.clear();
        ShowMessage(error);
        return;
    }
    if (!m_exportPath.isEmpty()) {
        if (m_model->HasMore()) {
            LoadPage(ExportPageRows);
            return;
        }
        const QString path = m_exportPath;
        m_exportPath.clear();
        ExportTo(path);
        return;
    }
    // The rows may not fill the view yet.
    LoadMoreIfNeeded();
}

void FormActivity::btn_exportClick()
{
    if (m_dialog) {
        m_dialog->raise();
        return;
    }
    const QString coin = m_model->CoinFilter();
    const QString name = QStringLiteral("ambervale-history%1-%2.csv")
                             .arg(coin.isEmpty() ? QString() : QLatin1Char('-') + coin)
                             .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd")));
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_dialog = new QFileDialog(this, QStringLiteral("Export CSV"), QDir(dir).filePath(name),
                               QStringLiteral("CSV files (*.csv)"));
    m_dialog->setObjectName(QStringLiteral("dialog_export"));
    m_dialog->setAcceptMode(QFileDialog::AcceptSave);
    m_dialog->setDefaultSuffix(QStringLiteral("csv"));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QFileDialog::fileSelected, this, &FormActivity::ExportTo);
    m_dialog->open();
}

void FormActivity::ExportTo(const QString& path)
{
    if (path.isEmpty()) return;
    if (m_model->HasMore()) {
        // The file holds the whole filtered history, not only the rows scrolled to.
        m_exportPath = path;
        if (!m_loading) LoadPage(ExportPageRows);
        return;
    }
    QString error;
    if (history::SaveCsv(path, m_model->Items(), &error))
        ShowMessage(QStringLiteral("Exported %1 rows to %2").arg(m_model->Items().size()).arg(QDir::toNativeSeparators(path)));
    else
        ShowMessage(QStringLiteral("The file could not be written: ") + error);
}

// ---- rentals ----

void FormActivity::LoadRentals()
{
    rentals::Fetch(this, [this](const rentals::List* list, const QString& error) {
        if (!list) {
            ShowMessage(error);
            return;
        }
        QLayout* layout = ui.RentalCardsLayout;
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        int open = 0;
        for (const rentals::Rental& r : list->rentals) {
            if (!r.open) continue;
            ++open;
            auto* card = new QFrame(ui.rental_cards);
            card->setObjectName(QStringLiteral("rental_card_%1").arg(r.id));
            card->setFrameShape(QFrame::StyledPanel);
            auto* lines = new QVBoxLayout(card);
            const QStringList texts = rentals::CardLines(r, list->time);
            static const char* const names[] = {"lab_principal", "lab_days_left", "lab_earned", "lab_end",
                                                "lab_returns"};
            for (int i = 0; i < texts.size(); ++i) lines->addWidget(PlainLabel(texts[i], card, QLatin1String(names[i])));
            card->setAccessibleName(texts.join(QStringLiteral(", ")));
            layout->addWidget(card);
        }
        layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
        ui.lab_rentals_empty->setVisible(open == 0);
    });
}

// ---- earnings chart ----

void FormActivity::LoadEarnings()
{
    m_chartCoin = Account().CurrentCoin();
    m_earningLines.clear();
    m_chartPages = 0;
    auto next = std::make_shared<std::function<void(qint64)>>();
    *next = [this, next](qint64 before) {
        const QDate cutoff = QDateTime::currentDateTimeUtc().date().addDays(-90);
        history::Fetch(QStringLiteral("history.chart"), m_chartCoin, before, ExportPageRows, this,
                       [this, next, cutoff](const history::Page* page, const QString& error) {
                           if (!page) {
                               ShowMessage(error);
                               DrawEarnings();
                               *next = nullptr; // ends the cycle between the function and its copy
                               return;
                           }
                           m_earningLines.append(page->items);
                           const bool old = !page->items.isEmpty() &&
                                            QDate::fromString(page->items.last().time.left(10),
                                                              QStringLiteral("yyyy-MM-dd")) < cutoff;
                           if (page->next && !old && ++m_chartPages < MaxChartPages) {
                               (*next)(*page->next);
                               return;
                           }
                           DrawEarnings();
                           *next = nullptr;
                       });
    };
    (*next)(0);
}

void FormActivity::DrawEarnings()
{
    const int days = ui.radio_30->isChecked() ? 30 : 90;
    // The last day shown: today, or a later day the service's clock has reached.
    QDate last = QDateTime::currentDateTimeUtc().date();
    if (!m_earningLines.isEmpty()) {
        const QDate newest = QDate::fromString(m_earningLines.first().time.left(10), QStringLiteral("yyyy-MM-dd"));
        if (newest.isValid() && newest > last) last = newest;
    }
    const auto perDay = history::EarningsPerDay(m_earningLines, m_chartCoin, last, days);
    qint64 total = 0;
    for (const auto& day : perDay)
        if (__builtin_add_overflow(total, day.second, &total)) total = std::numeric_limits<qint64>::max();
    m_chart->Draw(m_chartCoin.toUpper(), perDay);
    ui.lab_earnings_total->setText(QStringLiteral("Credited in %1 days: %2 %3")
                                       .arg(days)
                                       .arg(history::ShownAmount(total), m_chartCoin.toUpper()));
}
