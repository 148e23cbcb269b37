// Loaded into the real program by Qt itself (QT_QPA_GENERIC_PLUGINS): does
// what a user does with the mouse, so a test can watch the unmodified program
// open its information screen's guide. It reports each step on stdout and
// ends the program the way a user does, by closing the login window.
#include <QApplication>
#include <QGenericPlugin>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

QWidget* Screen(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

void Say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

class UserDriver : public QObject {
    Q_OBJECT
public:
    UserDriver()
    {
        connect(&m_poll, &QTimer::timeout, this, &UserDriver::Step);
        m_poll.start(100);
    }

public slots:
    void GuideLoaded(bool ok)
    {
        Say(ok ? "guide loaded" : "guide failed");
        // Still running a while after the page came up: then close as a user does.
        QTimer::singleShot(3000, this, [] {
            Say("still running");
            if (QWidget* login = Screen("FormLogin")) login->close();
        });
    }

private:
    void Step()
    {
        QWidget* login = Screen("FormLogin");
        QWidget* info = Screen("FormInfo");
        if (m_stage == 0 && login && info && login->isVisible()) {
            // The icon at the top right of the login window opens the information screen.
            if (QWidget* icon = login->findChild<QWidget*>(QStringLiteral("Image5"))) {
                QTest::mouseClick(icon, Qt::LeftButton, {}, icon->rect().center());
                m_stage = 1;
            }
        } else if (m_stage == 1 && info && info->isVisible()) {
            Say("info shown");
            auto* tabs = info->findChild<QTabWidget*>(QStringLiteral("TabControl1"));
            QWidget* guide = info->findChild<QWidget*>(QStringLiteral("TabGuides"));
            QObject* view = info->findChild<QObject*>(QStringLiteral("WebBrowser1"));
            if (!tabs || !guide || !view) {
                Say("controls missing");
                return;
            }
            connect(view, SIGNAL(loadFinished(bool)), this, SLOT(GuideLoaded(bool)));
            // A click on the "Guides" tab.
            QTabBar* bar = tabs->tabBar();
            const QRect tab = bar->tabRect(tabs->indexOf(guide));
            QTest::mouseClick(bar, Qt::LeftButton, {}, tab.center());
            m_stage = 2;
            m_poll.stop();
        }
    }

    QTimer m_poll;
    int m_stage = 0;
};

class UserDriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "UserDriver.json")
public:
    // Qt deletes the object when the application ends.
    QObject* create(const QString&, const QString&) override { return new UserDriver; }
};

#include "UserDriver.moc"
