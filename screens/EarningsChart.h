#pragma once
// The earnings chart's place on the activity screen: the chart plugin is
// loaded the first time a chart is drawn; where it cannot be, a line says why.
#include <QDate>
#include <QList>
#include <QPair>
#include <QWidget>

class ChartBackend;
class QLabel;

class EarningsChart : public QWidget {
    Q_OBJECT
public:
    explicit EarningsChart(QWidget* parent = nullptr);

    // Bars of the amounts (units of 10^-8) per day, for coin (upper case).
    void Draw(const QString& coin, const QList<QPair<QDate, qint64>>& perDay);

    // The plugin beside the program, else where the package installs it,
    // else where the build wrote it.
    static QString PluginPath();
    // The heights drawn last, in coins (what the bars show).
    const QList<double>& Heights() const { return m_heights; }
    // The chart widget of the plugin, or null while none could be made.
    QWidget* View() const { return m_view; }

private:
    bool Load();
    ChartBackend* m_backend = nullptr;
    QWidget* m_view = nullptr;
    QLabel* m_missing = nullptr;
    QList<double> m_heights;
};
