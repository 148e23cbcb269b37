#pragma once
// Interface of the chart plugin. The chart library brings OpenGL and its own
// libraries into the process, so it lives in a plugin loaded the first time
// a chart is drawn rather than at every start.
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QtPlugin>

class QWidget;

class ChartBackend {
public:
    virtual ~ChartBackend() = default;
    virtual QWidget* CreateView(QWidget* parent) = 0;
    // One bar per label, heights as given; the figures on the value axis
    // written as locale writes them, with decimals decimals.
    virtual void DrawBars(QWidget* view, const QString& title, const QStringList& labels,
                          const QList<double>& values, const QLocale& locale, int decimals) = 0;
};

#define ChartBackend_iid "com.ambervale.ChartBackend/1.0"
Q_DECLARE_INTERFACE(ChartBackend, ChartBackend_iid)
