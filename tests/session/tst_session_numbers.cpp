// Number texts: "," as decimal separator, no group separator, whatever the
// desktop's locale says.

#include "NumberText.h"

#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>

namespace {

// Runs f and reports whether it threw ConversionError, and its message.
template <typename F>
bool Throws(F&& f, QString* message)
{
    try {
        f();
    } catch (const numtext::ConversionError& e) {
        *message = e.message();
        return true;
    }
    return false;
}

// Switches LC_NUMERIC to a locale with "," as decimal point for one scope, as
// QCoreApplication does when the desktop session runs in such a language.
class CommaNumericLocale {
public:
    CommaNumericLocale()
    {
        m_previous = QByteArray(std::setlocale(LC_NUMERIC, nullptr));
#ifdef AMBERVALE_TEST_LOCPATH
        // The build makes one there; system locales are tried as well.
        const QByteArray systemPath = qgetenv("LOCPATH");
        qputenv("LOCPATH", AMBERVALE_TEST_LOCPATH);
        m_active = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        if (systemPath.isNull())
            qunsetenv("LOCPATH");
        else
            qputenv("LOCPATH", systemPath);
#endif
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "fr_FR.UTF-8"}) {
            if (m_active) break;
            m_active = std::setlocale(LC_NUMERIC, name) != nullptr;
        }
        if (m_active && std::localeconv()->decimal_point[0] != ',') {
            std::setlocale(LC_NUMERIC, m_previous.constData());
            m_active = false;
        }
    }
    ~CommaNumericLocale()
    {
        std::setlocale(LC_NUMERIC, m_previous.constData());
    }
    bool active() const
    {
        return m_active;
    }

private:
    QByteArray m_previous;
    bool m_active = false;
};

} // namespace

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void fixed8_data();
    void fixed8();
    void fixed8StaysShort();
    void fixed8NeverNegativeZero_data();
    void fixed8NeverNegativeZero();

    void general_data();
    void general();
    void truncated8_data();
    void truncated8();
    void textsReadBack_data();
    void textsReadBack();

    void parseAmount_data();
    void parseAmount();
    void parseNumber_data();
    void parseNumber();
    void rejectedNumbers_data();
    void rejectedNumbers();

    void parseWhole_data();
    void parseWhole();
    void rejectedWholes_data();
    void rejectedWholes();

    void textsIgnoreDesktopNumericLocale_data();
    void textsIgnoreDesktopNumericLocale();
};

void NumberTextTest::fixed8_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("half") << 0.5 << "0,50000000";
    QTest::newRow("rounded up at the 8th digit") << 0.123456789 << "0,12345679";
    QTest::newRow("rounded down at the 8th digit") << 0.123456784 << "0,12345678";
    QTest::newRow("whole") << 12.0 << "12,00000000";
    QTest::newRow("zero") << 0.0 << "0,00000000";
    QTest::newRow("one satoshi") << 0.00000001 << "0,00000001";
    QTest::newRow("below half a satoshi") << 0.000000004 << "0,00000000";
    QTest::newRow("no group separator") << 1234567.25 << "1234567,25000000";
    QTest::newRow("negative") << -0.5 << "-0,50000000";
    QTest::newRow("negative satoshi") << -0.00000001 << "-0,00000001";
    QTest::newRow("negative rounds away to a satoshi") << -0.000000006 << "-0,00000001";
    QTest::newRow("parsed 1,5") << numtext::ParseAmount(QStringLiteral("1,5")) << "1,50000000";
    QTest::newRow("parsed 0.5") << numtext::ParseAmount(QStringLiteral("0.5")) << "0,50000000";
    QTest::newRow("parsed 0.00012345") << numtext::ParseAmount(QStringLiteral("0.00012345")) << "0,00012345";
    // At most 18 significant digits: beyond 10 digits before the separator, zeros fill the eight after it.
    QTest::newRow("ten digits, all eight decimals") << 1234567890.125 << "1234567890,12500000";
    QTest::newRow("sixteen digits keep two decimals") << 1000000000000000.25 << "1000000000000000,25000000";
    QTest::newRow("eighteen digits keep none") << 1e17 << "100000000000000000,00000000";
    QTest::newRow("negative, sixteen digits") << -1000000000000000.25 << "-1000000000000000,25000000";
    // From 10^18 no fixed-point text fits: scientific, as the general format writes it.
    QTest::newRow("10^18") << 1e18 << "1E18";
    QTest::newRow("largest double's neighbour") << 1e308 << "1E308";
    QTest::newRow("negative huge") << -2.5e20 << "-2,5E20";
    QTest::newRow("just under 10^18") << 999999999999999872.0 << "999999999999999872,00000000";
}

void NumberTextTest::fixed8()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numtext::Fixed8(value), expected);
}

void NumberTextTest::fixed8StaysShort()
{
    // Whatever the server sends that parses, the text fits a label: 18 digits,
    // separator, eight decimals and a sign at most.
    for (double v : {1e9, 9.99999999e9, 1e10, 1.5e13, 9.87654321e17, 1e18, 3.3e42, 1.7976931348623157e308,
                     -1.7976931348623157e308, -4.2e17}) {
        const QString text = numtext::Fixed8(v);
        QVERIFY2(text.size() <= 28, qPrintable(text));
        if (std::fabs(v) >= 1e18)
            QCOMPARE(text, numtext::General(v));
        else
            QCOMPARE(text.indexOf(QLatin1Char(',')), text.size() - 9);
    }
}

void NumberTextTest::fixed8NeverNegativeZero_data()
{
    QTest::addColumn<double>("value");

    QTest::newRow("negative zero") << -0.0;
    QTest::newRow("tiny negative") << -1e-12;
    QTest::newRow("just under half a satoshi") << -0.0000000049;
    QTest::newRow("negative subnormal") << -std::numeric_limits<double>::denorm_min();
    QTest::newRow("rounding residue of a balance") << 0.3 - (0.1 + 0.2);
}

void NumberTextTest::fixed8NeverNegativeZero()
{
    QFETCH(double, value);
    QCOMPARE(numtext::Fixed8(value), QStringLiteral("0,00000000"));
}

void NumberTextTest::general_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    // Small values: plain down to 0,00001, exponent form below.
    QTest::newRow("0.001/10") << 0.001 / 10 << "0,0001";
    QTest::newRow("0.0005/10") << 0.0005 / 10 << "0,00005";
    QTest::newRow("0.00005/10") << 0.00005 / 10 << "5E-6";
    QTest::newRow("1e-5 is still plain") << 1e-5 << "0,00001";
    QTest::newRow("0.000015") << 0.000015 << "0,000015";
    QTest::newRow("rounds up into plain range") << 9.999999999999999e-6 << "0,00001";
    QTest::newRow("1.5e-10") << 1.5e-10 << "1,5E-10";
    QTest::newRow("negative small") << -0.000001 << "-1E-6";

    // Large values: plain up to 15 digits, exponent form from 10^15.
    QTest::newRow("123456789012345") << 123456789012345.0 << "123456789012345";
    QTest::newRow("999999999999999") << 999999999999999.0 << "999999999999999";
    QTest::newRow("1e15") << 1e15 << "1E15";
    QTest::newRow("1.5e15") << 1.5e15 << "1,5E15";
    QTest::newRow("rounds up to 1E15") << 999999999999999.9 << "1E15";
    QTest::newRow("1e100") << 1e100 << "1E100";
    QTest::newRow("negative large") << -2.5e20 << "-2,5E20";

    // Ordinary values, 15 significant digits.
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("whole") << 100.0 << "100";
    QTest::newRow("decimal") << 123.456 << "123,456";
    QTest::newRow("negative") << -2.5 << "-2,5";
    QTest::newRow("negative whole") << -42.0 << "-42";
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0,3";
    QTest::newRow("one third") << 1.0 / 3 << "0,333333333333333";
    QTest::newRow("two thirds rounded") << 2.0 / 3 << "0,666666666666667";
    QTest::newRow("17 digits rounded to 15") << 1.2345678901234567 << "1,23456789012346";
    QTest::newRow("no group separator") << 1234567.5 << "1234567,5";
    // 15 digits of the largest doubles round up past the largest double: kept below it.
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << "1,79769313486231E308";
    QTest::newRow("largest double, negative") << -std::numeric_limits<double>::max() << "-1,79769313486231E308";
    QTest::newRow("1.797693134862315e308") << 1.797693134862315e308 << "1,79769313486231E308";
    QTest::newRow("1.7976931348623e308 keeps its digits") << 1.7976931348623e308 << "1,7976931348623E308";
    QTest::newRow("1.8e307 is no special case") << 1.8e307 << "1,8E307";
}

void NumberTextTest::general()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numtext::General(value), expected);
}

void NumberTextTest::truncated8_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("whole") << 5000.0 << "5000";
    QTest::newRow("trailing zeros dropped") << 0.5 << "0,5";
    QTest::newRow("ninth decimal cut, not rounded") << 1.234567899 << "1,23456789";
    QTest::newRow("two thirds cut down") << 2.0 / 3.0 << "0,66666666";
    QTest::newRow("0,1 times 3 is 0,3") << 0.1 * 3 << "0,3";
    QTest::newRow("below the eighth decimal") << 4e-9 << "0";
    QTest::newRow("small, no exponent") << 2.5e-5 << "0,000025";
    QTest::newRow("negative cut toward zero") << -1.999999999 << "-1,99999999";
    QTest::newRow("large, no exponent") << 1.5e16 << "15000000000000000";
}

void NumberTextTest::truncated8()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numtext::Truncated8(value), expected);
}

void NumberTextTest::textsReadBack_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("largest double") << std::numeric_limits<double>::max();
    QTest::newRow("largest double, negative") << -std::numeric_limits<double>::max();
    QTest::newRow("largest double's neighbour") << std::nextafter(std::numeric_limits<double>::max(), 0.0);
    QTest::newRow("1e308") << 1e308;
    QTest::newRow("smallest normal") << std::numeric_limits<double>::min();
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min();
    QTest::newRow("a balance") << 1234.56789012;
}

// Shown figures are read again (the dashboard's invested amount, the swap
// rate): whatever the two formats write must read back as nearly the value.
void NumberTextTest::textsReadBack()
{
    QFETCH(double, value);
    for (const QString& text : {numtext::General(value), numtext::Fixed8(value)}) {
        QString message;
        double back = 0;
        QVERIFY2(!Throws([&] { back = numtext::ParseNumber(text); }, &message), qPrintable(text + ": " + message));
        QVERIFY2(std::fabs(back - value) <= 5e-9 + 1e-14 * std::fabs(value), qPrintable(text));
    }
}

void NumberTextTest::parseAmount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("comma") << "1,5" << 1.5;
    QTest::newRow("server point") << "0.5" << 0.5;
    QTest::newRow("whole") << "12" << 12.0;
    QTest::newRow("blanks around") << "  2,25 " << 2.25;
    QTest::newRow("negative point") << "-0.25" << -0.25;
    QTest::newRow("plus sign") << "+3" << 3.0;
    QTest::newRow("exponent") << "3E-4" << 0.0003;
    QTest::newRow("point and exponent") << "1.5e2" << 150.0;
    QTest::newRow("leading separator") << ".5" << 0.5;
    QTest::newRow("eight decimals") << "0.00012345" << 0.00012345;
}

void NumberTextTest::parseAmount()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(numtext::ParseAmount(text), expected);
}

void NumberTextTest::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("comma") << "1,5" << 1.5;
    QTest::newRow("negative") << "-2" << -2.0;
    QTest::newRow("exponent") << "3E-4" << 0.0003;
    QTest::newRow("comma and exponent") << "1,5E15" << 1.5e15;
    QTest::newRow("trailing separator") << "7," << 7.0;
}

void NumberTextTest::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(numtext::ParseNumber(text), expected);
}

void NumberTextTest::rejectedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asAmount"); // through ParseAmount, else ParseNumber

    QTest::newRow("amount: letters") << "abc" << true;
    QTest::newRow("amount: empty") << "" << true;
    QTest::newRow("amount: blanks only") << "   " << true;
    QTest::newRow("amount: group separator") << "1 000" << true;
    QTest::newRow("amount: two separators") << "1.2.3" << true;
    QTest::newRow("amount: thousands and point") << "1,000.5" << true;
    QTest::newRow("amount: trailing junk") << "5abc" << true;
    QTest::newRow("amount: double sign") << "--1" << true;
    QTest::newRow("amount: bare exponent") << "e5" << true;
    QTest::newRow("amount: overflows") << "1e400" << true;
    QTest::newRow("amount: infinity word") << "inf" << true;
    QTest::newRow("amount: nan word") << "nan" << true;
    QTest::newRow("amount: hex") << "0x10" << true;
    QTest::newRow("number: point is not the separator") << "1.5" << false;
    QTest::newRow("number: empty") << "" << false;
}

void NumberTextTest::rejectedNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, asAmount);
    QString message;
    const bool threw = Throws([&] { asAmount ? numtext::ParseAmount(text) : numtext::ParseNumber(text); }, &message);
    QVERIFY2(threw, qPrintable(QStringLiteral("'%1' was accepted").arg(text)));
    QVERIFY2(!message.trimmed().isEmpty(), "the error carries no message for the user");
}

void NumberTextTest::parseWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("leading zero") << "015" << 15;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("plus sign") << "+3" << 3;
    QTest::newRow("blanks around") << " 42 " << 42;
    QTest::newRow("largest int") << "2147483647" << 2147483647;
    QTest::newRow("smallest int") << "-2147483648" << int(-2147483647 - 1);
}

void NumberTextTest::parseWhole()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(numtext::ParseWhole(text), expected);
}

void NumberTextTest::rejectedWholes_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("point fraction") << "12.5";
    QTest::newRow("comma fraction") << "12,5";
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("group separator") << "1 000";
    QTest::newRow("beyond int") << "2147483648";
    QTest::newRow("far beyond int") << "99999999999";
    QTest::newRow("hex") << "0x10";
}

void NumberTextTest::rejectedWholes()
{
    QFETCH(QString, text);
    QString message;
    QVERIFY2(Throws([&] { numtext::ParseWhole(text); }, &message),
             qPrintable(QStringLiteral("'%1' was accepted").arg(text)));
    QVERIFY2(!message.trimmed().isEmpty(), "the error carries no message for the user");
}

void NumberTextTest::textsIgnoreDesktopNumericLocale_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("fixed8");
    QTest::addColumn<QString>("general");

    QTest::newRow("server point") << "0.5" << 0.5 << "0,50000000"
                                  << "0,5";
    QTest::newRow("comma") << "1,5" << 1.5 << "1,50000000"
                           << "1,5";
    QTest::newRow("exponent") << "2.5E-3" << 0.0025 << "0,00250000"
                              << "0,0025";
    QTest::newRow("negative") << "-12.125" << -12.125 << "-12,12500000"
                              << "-12,125";
    QTest::newRow("tiny") << "0.000005" << 0.000005 << "0,00000500"
                          << "5E-6";
    QTest::newRow("huge") << "1.5E15" << 1.5e15 << "1500000000000000,00000000"
                          << "1,5E15";
}

void NumberTextTest::textsIgnoreDesktopNumericLocale()
{
    QFETCH(QString, amount);
    QFETCH(double, value);
    QFETCH(QString, fixed8);
    QFETCH(QString, general);

    CommaNumericLocale locale;
    if (!locale.active()) QSKIP("no locale with a decimal comma is installed");
    QCOMPARE(numtext::ParseAmount(amount), value);
    QCOMPARE(numtext::Fixed8(value), fixed8);
    QCOMPARE(numtext::General(value), general);
}

QTEST_GUILESS_MAIN(NumberTextTest)
#include "tst_session_numbers.moc"
