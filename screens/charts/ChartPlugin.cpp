// The chart plugin: bar charts drawn with Qt Charts.
#include "ChartBackend.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QObject>
#include <QValueAxis>
#include <algorithm>

class ChartPlugin : public QObject, public ChartBackend {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ChartBackend_iid)
    Q_INTERFACES(ChartBackend)
public:
    QWidget* CreateView(QWidget* parent) override
    {
        auto* chart = new QChart;
        chart->setObjectName(QStringLiteral("chart"));
        chart->legend()->hide();
        auto* view = new QChartView(chart, parent);
        view->setRenderHint(QPainter::Antialiasing);
        return view;
    }

    void DrawBars(QWidget* widget, const QString& title, const QStringList& labels, const QList<double>& values,
                  const QLocale& locale, int decimals) override
    {
        auto* view = qobject_cast<QChartView*>(widget);
        if (!view) return;
        QChart* chart = view->chart();
        chart->removeAllSeries();
        const auto axes = chart->axes();
        for (QAbstractAxis* axis : axes) {
            chart->removeAxis(axis);
            delete axis;
        }
        chart->setLocale(locale);
        chart->setLocalizeNumbers(true);
        auto* set = new QBarSet(title);
        set->setObjectName(QStringLiteral("bars"));
        set->append(values);
        auto* series = new QBarSeries;
        series->setBarWidth(0.9);
        series->append(set);
        chart->addSeries(series);
        auto* x = new QBarCategoryAxis;
        x->append(labels);
        x->setLabelsAngle(-90);
        QFont small = x->labelsFont();
        small.setPointSizeF(std::max(5.0, small.pointSizeF() * (labels.size() > 31 ? 0.6 : 0.8)));
        x->setLabelsFont(small);
        chart->addAxis(x, Qt::AlignBottom);
        series->attachAxis(x);
        double highest = 0;
        for (double v : values) highest = std::max(highest, v);
        auto* y = new QValueAxis;
        y->setRange(0, highest > 0 ? highest * 1.1 : 1.0);
        y->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QStringLiteral("f"));
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(y);
        // The title is the client's own text (a coin code of its list), never the service's.
        chart->setTitle(title);
    }
};

#include "ChartPlugin.moc"
