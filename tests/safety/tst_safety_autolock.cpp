// The client locks itself after the chosen idle time: every screen is covered,
// nothing under the covers takes clicks or keys, a wrong password keeps it
// locked and says so, the right one (checked against the remembered digest,
// nothing sent) unlocks. Password fields give their characters to neither the
// clipboard, nor a drag, nor an input method.
#include "AutoLock.h"
#include "Digest.h"
#include "SafetyPrefs.h"
#include "ScreenTestSupport.h"

#include <QClipboard>
#include <QInputMethodQueryEvent>
#include <QMenu>
#include <QPushButton>

using support::Child;
using support::Get;

class SafetyAutoLockTest : public support::ScreenTest {
    Q_OBJECT

    static constexpr const char* Password = "correct horse";

    void logInWithPassword()
    {
        LogIn();
        State().PassHash = digest::MD5(Password);
    }

    // Requests other than the ones a new snapshot brings on its own (prices, a look at the history).
    int ownRequests() const
    {
        int n = 0;
        for (const RecordedRequest& r : fake->requests())
            if (r.field("a") != "prices" && r.field("a") != "history") ++n;
        return n;
    }

    static QList<LockCover*> covers()
    {
        QList<LockCover*> all;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* c = qobject_cast<LockCover*>(w); c && !c->isHidden()) all << c;
        return all;
    }
    static LockCover* coverOf(QWidget* screen)
    {
        for (LockCover* c : covers())
            if (c->parentWidget() == screen) return c;
        return nullptr;
    }

private slots:
    void locksAfterIdleTimeAndUnlocksWithThePassword()
    {
        logInWithPassword();
        QWidget* dashboard = Get<QWidget>("dashboard");
        support::Activate(dashboard);
        const int requestsBefore = ownRequests();
        AutoLock::Instance()->SetIdleMs(300);
        QTRY_VERIFY_WITH_TIMEOUT(AutoLock::Instance()->Locked(), 10000);

        // Every screen is covered, shown or not, each cover over the whole screen.
        for (QWidget* s : AllScreens()) {
            LockCover* c = coverOf(s);
            QVERIFY2(c, qPrintable(s->objectName()));
            QCOMPARE(c->geometry(), s->rect());
        }
        LockCover* cover = coverOf(dashboard);
        QVERIFY(cover->isVisible());
        QTRY_VERIFY(cover->password()->hasFocus());

        // Under the cover nothing takes input: a click on Withdraw opens nothing,
        // keys typed into the search box do not arrive, Escape and Enter reach no panel.
        auto* withdraw = Child<QPushButton>(dashboard, "ButtonWithdraw");
        QTest::mouseClick(withdraw, Qt::LeftButton);
        auto* search = Child<QLineEdit>(dashboard, "SearchBox1");
        const QString searchBefore = search->text();
        QTest::keyClicks(search, "btc");
        QTest::keyClick(dashboard, Qt::Key_Return);
        QCOMPARE(search->text(), searchBefore);
        QVERIFY(!Get<QWidget>("withdraw")->isVisible());
        // Tab stays on the cover's own controls.
        QTest::keyClick(cover->password(), Qt::Key_Tab);
        QVERIFY(cover->unlockButton()->hasFocus());
        QTest::keyClick(cover->unlockButton(), Qt::Key_Tab);
        QVERIFY(cover->password()->hasFocus());

        // A wrong password keeps it locked and says so.
        QTest::keyClicks(cover->password(), "correct hors");
        QTest::mouseClick(cover->unlockButton(), Qt::LeftButton);
        QVERIFY(AutoLock::Instance()->Locked());
        QCOMPARE(cover->message()->text(), QString("Wrong password. Type the password of this account."));
        QVERIFY(cover->password()->text().isEmpty());
        QVERIFY(coverOf(dashboard));

        // The right one, with Enter, unlocks; nothing went to the service meanwhile.
        QTest::keyClicks(cover->password(), Password);
        QTest::keyClick(cover->password(), Qt::Key_Return);
        QVERIFY(!AutoLock::Instance()->Locked());
        QTRY_VERIFY(covers().isEmpty());
        QCOMPARE(ownRequests(), requestsBefore);

        // Input works again, and the lock comes back after the next idle time.
        AutoLock::Instance()->SetIdleMs(0);
        QTest::mouseClick(withdraw, Qt::LeftButton);
        QTRY_VERIFY(Get<QWidget>("withdraw")->isVisible());
        AutoLock::Instance()->SetIdleMs(300);
        QTRY_VERIFY_WITH_TIMEOUT(coverOf(Get<QWidget>("withdraw")), 10000);
        QVERIFY(AutoLock::Instance()->Unlock(Password));
    }

    // With a box open over a screen (the lottery's confirmation) the box is covered
    // too, and the password still unlocks.
    void boxOverAScreenIsCovered()
    {
        logInWithPassword();
        auto* box = new QMessageBox(QMessageBox::Question, "t", "Send?", QMessageBox::Yes | QMessageBox::No,
                                    Get<QWidget>("dashboard"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        QTRY_VERIFY(box->isVisible());
        AutoLock::Instance()->Lock();
        LockCover* cover = coverOf(box);
        QVERIFY(cover);
        QTest::keyClick(box->button(QMessageBox::Yes), Qt::Key_Space);
        QVERIFY(box->isVisible());
        QTest::keyClicks(cover->password(), Password);
        QTest::mouseClick(cover->unlockButton(), Qt::LeftButton);
        QVERIFY(!AutoLock::Instance()->Locked());
        box->close();
    }

    void nothingToLockBeforeLogin()
    {
        support::Activate(Get<QWidget>("login"));
        AutoLock::Instance()->Lock();
        QVERIFY(!AutoLock::Instance()->Locked());
        QVERIFY(covers().isEmpty());
    }

    // The chosen idle time is remembered: the next start's lock takes it, "off" included.
    void idleTimeRemembered_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::newRow("off") << 0;
        QTest::newRow("five") << 5;
        QTest::newRow("an hour") << 60;
    }
    void idleTimeRemembered()
    {
        QFETCH(int, minutes);
        QVERIFY(SafetyPrefs::Instance()->SetLockMinutes(minutes));
        QCOMPARE(AutoLock::Instance()->IdleMs(), qint64(minutes) * 60000);
        support::FreshScreens(fake.get()); // a new start reads the file
        QCOMPARE(SafetyPrefs::Instance()->LockMinutes(), minutes);
        QCOMPARE(AutoLock::Instance()->IdleMs(), qint64(minutes) * 60000);
        QVERIFY(!SafetyPrefs::Instance()->SetLockMinutes(7)); // not offered
        QCOMPARE(SafetyPrefs::Instance()->LockMinutes(), minutes);
        SafetyPrefs::Instance()->SetLockMinutes(SafetyPrefs::DefaultLockMinutes);
    }

    void defaultIsTenMinutes()
    {
        QFile::remove(SafetyPrefs::DefaultPath());
        support::FreshScreens(fake.get());
        QCOMPARE(SafetyPrefs::Instance()->LockMinutes(), 10);
        QCOMPARE(AutoLock::Instance()->IdleMs(), qint64(600000));
    }

    // Every password field of every screen, and the lock's own: select all, then copy,
    // cut, the context menu and the selection clipboard all leave the clipboard as it
    // was; no drag; an input method reads only the masked text.
    void passwordFieldsKeepTheirCharacters()
    {
        logInWithPassword();
        AutoLock::Instance()->Lock();
        QList<QLineEdit*> fields;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* e = qobject_cast<QLineEdit*>(w); e && e->echoMode() != QLineEdit::Normal) fields << e;
        QVERIFY(fields.size() >= 8);
        QClipboard* clipboard = QGuiApplication::clipboard();
        for (QLineEdit* e : fields) {
            const QString where = e->window()->objectName() + "/" + e->objectName();
            QVERIFY2(e->echoMode() == QLineEdit::Password, qPrintable(where));
            QVERIFY2(!e->dragEnabled(), qPrintable(where));
            e->setText("s3cret-word");
            clipboard->setText("before");
            if (clipboard->supportsSelection()) clipboard->setText("before", QClipboard::Selection);
            e->selectAll();
            e->copy();
            e->cut();
            std::unique_ptr<QMenu> menu(e->createStandardContextMenu());
            for (QAction* a : menu->actions())
                if (a->objectName() == "edit-copy" || a->objectName() == "edit-cut")
                    QVERIFY2(!a->isEnabled(), qPrintable(where + " " + a->objectName()));
            QCOMPARE(clipboard->text(), QString("before"));
            if (clipboard->supportsSelection()) QCOMPARE(clipboard->text(QClipboard::Selection), QString("before"));

            e->setText("s3cret-word");
            e->selectAll();
            QInputMethodQueryEvent query(Qt::ImSurroundingText | Qt::ImCurrentSelection | Qt::ImTextBeforeCursor |
                                         Qt::ImTextAfterCursor);
            QApplication::sendEvent(e, &query);
            for (Qt::InputMethodQuery q : {Qt::ImSurroundingText, Qt::ImCurrentSelection, Qt::ImTextBeforeCursor,
                                           Qt::ImTextAfterCursor})
                QVERIFY2(!query.value(q).toString().contains("s3cret"), qPrintable(where + " " + QString::number(q)));
            e->clear();
        }
        // The login screen takes the digest of what its password field holds.
        State().PassHash = digest::MD5(Password);
        QVERIFY(AutoLock::Instance()->Unlock(Password));
    }
};

AMBERVALE_GUI_TEST_MAIN(SafetyAutoLockTest)
#include "tst_safety_autolock.moc"
