#include "EarningsChart.h"

#include "ChartBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPluginLoader>
#include <QVBoxLayout>

#ifndef AMBERVALE_CHARTS_PLUGIN_BUILD_PATH
#define AMBERVALE_CHARTS_PLUGIN_BUILD_PATH ""
#endif
#ifndef AMBERVALE_CHARTS_PLUGIN_INSTALL_DIR
#define AMBERVALE_CHARTS_PLUGIN_INSTALL_DIR ""
#endif

EarningsChart::EarningsChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("chart_earnings"));
    setAccessibleName(QStringLiteral("Earnings per day"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

QString EarningsChart::PluginPath()
{
    const QString file = QStringLiteral("libambervale_charts.so");
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + file;
    if (QFileInfo::exists(beside)) return beside;
    const QString installDir = QStringLiteral(AMBERVALE_CHARTS_PLUGIN_INSTALL_DIR);
    if (!installDir.isEmpty()) {
        const QString installed = QDir::cleanPath(programDir + QLatin1Char('/') + installDir + QLatin1Char('/') + file);
        if (QFileInfo::exists(installed)) return installed;
    }
    return QStringLiteral(AMBERVALE_CHARTS_PLUGIN_BUILD_PATH);
}

bool EarningsChart::Load()
{
    if (m_backend) return true;
    QPluginLoader loader(PluginPath());
    m_backend = qobject_cast<ChartBackend*>(loader.instance());
    if (!m_backend) {
        if (!m_missing) {
            m_missing = new QLabel(this);
            m_missing->setObjectName(QStringLiteral("lab_chart_missing"));
            m_missing->setTextFormat(Qt::PlainText);
            m_missing->setWordWrap(true);
            layout()->addWidget(m_missing);
        }
        m_missing->setText(QStringLiteral("The chart could not be loaded: ") + loader.errorString());
        return false;
    }
    m_view = m_backend->CreateView(this);
    m_view->setObjectName(QStringLiteral("chart_view_earnings"));
    m_view->setAccessibleName(accessibleName());
    layout()->addWidget(m_view);
    return true;
}

void EarningsChart::Draw(const QString& coin, const QList<QPair<QDate, qint64>>& perDay)
{
    m_heights.clear();
    QStringList labels;
    for (const auto& [day, units] : perDay) {
        // Only the bars' heights are doubles; every figure shown as text stays in units.
        m_heights.append(double(units) / 1e8);
        labels << day.toString(QStringLiteral("MM-dd"));
    }
    if (!Load()) return;
    // "," and no group separator on the value axis, as every number of the client.
    QLocale figures(QLocale::German);
    figures.setNumberOptions(QLocale::OmitGroupSeparator);
    m_backend->DrawBars(m_view, QStringLiteral("Credited earnings per day, %1").arg(coin), labels, m_heights, figures, 8);
}
