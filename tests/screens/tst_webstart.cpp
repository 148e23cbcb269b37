// The web engine is started ahead of the first page, but only in a quiet
// moment: while the user types or moves the mouse it waits, since starting it
// holds the window for most of a second.
#include "common/WebView.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class WebStartTest : public QObject {
    Q_OBJECT
private slots:
    void startsOnlyAfterAQuietSpell()
    {
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QVERIFY(!WebView::EngineStarted());

        constexpr int QuietMs = 1500;
        WebView::PrepareWhenIdle(QuietMs);
        // The libraries come first, on their own thread, while the window answers.
        QTRY_VERIFY_WITH_TIMEOUT(WebView::LibraryRead(), 60000);

        // Typing a key every 200 ms for three quiet spells: nothing starts.
        for (int i = 0; i < 3 * QuietMs / 200; ++i) {
            QTest::keyClick(&edit, Qt::Key_A);
            QTest::qWait(200);
            QVERIFY2(!WebView::EngineStarted(), qPrintable(QStringLiteral("started after key %1").arg(i)));
        }
        QCOMPARE(edit.text().size(), 3 * QuietMs / 200);

        // Left alone, it starts.
        QTRY_VERIFY_WITH_TIMEOUT(WebView::EngineStarted(), 60000);
        QVERIFY2(WebView::LoadError().isEmpty(), qPrintable(WebView::LoadError()));

        // A page shown afterwards loads in the engine that was started.
        WebView view;
        QSignalSpy loaded(&view, &WebView::loadFinished);
        view.resize(300, 200);
        view.show();
        view.Navigate(QUrl(QStringLiteral("data:text/html,<p>ready</p>")));
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 60000);
        QCOMPARE(loaded.first().first().toBool(), true);
    }
};

QTEST_MAIN(WebStartTest)
#include "tst_webstart.moc"
