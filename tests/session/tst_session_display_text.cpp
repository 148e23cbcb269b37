// Texts shown in labels: short ones whole, long ones cut with an ellipsis.
#include "DisplayText.h"

#include <QtTest>

class DisplayTextTest : public QObject {
    Q_OBJECT

private slots:
    void elide_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        const QString ell(QChar(0x2026));
        QTest::newRow("empty") << QString() << 5 << QString();
        QTest::newRow("shorter") << "abc" << 5 << "abc";
        QTest::newRow("exactly the limit") << "abcde" << 5 << "abcde";
        QTest::newRow("one over") << "abcdef" << 5 << QString("abcd" + ell);
        QTest::newRow("limit of one") << "abcdef" << 1 << ell;
        // U+1F600 is a surrogate pair: it is kept whole or not at all.
        QTest::newRow("pair at the cut") << QString("abc" + QString::fromUtf8("\xF0\x9F\x98\x80") + "xyz") << 5
                                         << QString("abc" + ell);
        QTest::newRow("pair before the cut") << QString("ab" + QString::fromUtf8("\xF0\x9F\x98\x80") + "xyz") << 5
                                             << QString("ab" + QString::fromUtf8("\xF0\x9F\x98\x80") + ell);
    }
    void elide()
    {
        QFETCH(QString, text);
        QFETCH(int, max);
        QFETCH(QString, expected);
        QCOMPARE(display::Elide(text, max), expected);
        QVERIFY(display::Elide(text, max).size() <= max);
    }
    void defaultLimit()
    {
        const QString huge(1024 * 1024, QLatin1Char('a'));
        const QString shown = display::Elide(huge);
        QCOMPARE(shown.size(), display::MaxLabelChars);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        // Everything a QR code can hold is shown whole.
        const QString qrSized(2953, QLatin1Char('b'));
        QCOMPARE(display::Elide(qrSized), qrSized);
    }
};

QTEST_GUILESS_MAIN(DisplayTextTest)
#include "tst_session_display_text.moc"
