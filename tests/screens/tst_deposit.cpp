// Deposits: the network picker, the address request and the QR picture a phone can scan.
#include "ScreenTestSupport.h"

#include "Login.h"
#include "QRCode.h"
#include "QrCode.Tools.h"
#include "dashboard.h"
#include "deposit.h"

#include <QClipboard>
#include <QHash>
#include <QListWidget>
#include <QPushButton>
#include <ZXing/ReadBarcode.h>

using namespace support;

namespace {
const QString HexAddress = QStringLiteral("0x52908400098527886e0f7030069857d2e4169ee7"); // 42 characters
const QString MixedAddress = QStringLiteral("1BvBMSEYstWetqTFn5Au4m4GFg7xJaNVN2");       // 34 characters

QString Decode(const QImage& picture)
{
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(), ZXing::ImageFormat::Lum,
                          int(gray.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) return QString();
    return QString::fromStdString(result.text());
}

bool AllWhite(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != 0xFFFFFFFF) return false;
    return true;
}
} // namespace

class DepositTest : public ScreenTest {
    Q_OBJECT
    QString address = HexAddress;
    int delayMs = 0;
    bool drop = false;
    // Answers for one coin_get_a value, ahead of the common one: body, delay.
    QHash<QString, QPair<QString, int>> perCoin;
    QMutex mutex;

    void Answer(const QString& body, int delay = 0, bool dropIt = false)
    {
        QMutexLocker lock(&mutex);
        address = body;
        delayMs = delay;
        drop = dropIt;
    }
    void AnswerFor(const QString& coin, const QString& body, int delay)
    {
        QMutexLocker lock(&mutex);
        perCoin.insert(coin, {body, delay});
    }
    QString AddressText() const { return Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(); }
    bool NoQrCode() const { return Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().isNull(); }
    void Select(const QString& code)
    {
        auto* list = Child<QListWidget>(Get<TFormDashboard>("dashboard"), "ListBox1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code.toUpper()) list->setCurrentRow(i);
        Get<TFormDashboard>("dashboard")->show_full_balance();
    }
    QList<RecordedRequest> Deposits() const { return Requests("get_deposit_address"); }
    void Deposit(const QString& code, QPushButton* network = nullptr)
    {
        Activate(Get<TFormDashboard>("dashboard"));
        Select(code);
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonDeposit"), Qt::LeftButton);
        if (network) {
            QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isVisible());
            QTest::mouseClick(network, Qt::LeftButton);
        }
    }

    void Script() override
    {
        Answer(HexAddress);
        {
            QMutexLocker lock(&mutex);
            perCoin.clear();
        }
        fake->setHandler([this](const RecordedRequest& request) {
            QMutexLocker lock(&mutex);
            ScriptedReply r;
            r.body = address.toUtf8();
            r.delayMs = delayMs;
            r.dropConnection = drop;
            if (const auto it = perCoin.constFind(request.field("coin_get_a")); it != perCoin.constEnd()) {
                r.body = it->first.toUtf8();
                r.delayMs = it->second;
                r.dropConnection = false;
            }
            return r;
        });
    }
    void Ready() override
    {
        LogIn();
        State().UserLogin = "alice";
    }

private slots:

    void mainNetworkCoinAsksNothing()
    {
        Answer(HexAddress, 300);
        Deposit("btc");
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isHidden());
        QVERIFY(Get<TFormDeposit>("deposit")->isVisible());
        QVERIFY(!Get<TFormDashboard>("dashboard")->isVisible());
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_form")->text(), "Coin: " + FullName("btc"));
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_network")->text(), QStringLiteral("Network: Main"));
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "mindep_coin")->text(), QStringLiteral("0,00050000 BTC"));
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "LabBonusDeposit")->text(), QStringLiteral("+3 %"));
        QVERIFY(!Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        QVERIFY(Child<FrameAnimation>(Get<TFormDeposit>("deposit"), "gifload")->Enabled());
        QTRY_COMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(), HexAddress);
        QVERIFY(Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        QTRY_VERIFY(!Child<FrameAnimation>(Get<TFormDeposit>("deposit"), "gifload")->Enabled());

        QCOMPARE(Deposits().size(), 1);
        const RecordedRequest r = Deposits().at(0);
        QStringList names;
        for (const auto& f : r.fields) names << f.first;
        QCOMPARE(names, (QStringList{"a", "coin_get_a", "s", "pass", "session"}));
        QCOMPARE(r.field("coin_get_a"), QStringLiteral("btc"));
        QCOMPARE(r.field("s"), QStringLiteral("alice"));
        QCOMPARE(r.field("pass"), State().PassHash);
        QVERIFY(!r.header("User-Agent").contains("Chrome")); // the library's own user agent
        QCOMPARE(Account().CurrentNetwork(), QStringLiteral("Main"));
    }

    void networkPicker_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("usdt OMNI") << "usdt"
                                   << "Button3"
                                   << "OMNI"
                                   << "usdt"
                                   << "Network: OMNI";
        QTest::newRow("usdt TRC-20") << "usdt"
                                     << "Button6"
                                     << "OMNI"
                                     << "usdt.trc20"
                                     << "Network: TRC-20";
        QTest::newRow("usdt BEP-20") << "usdt"
                                     << "Button4"
                                     << "OMNI"
                                     << "usdt.bep20"
                                     << "Network: BEP-20";
        QTest::newRow("matic PRC-20") << "matic"
                                      << "Button8"
                                      << "POLYGON"
                                      << "matic.prc20"
                                      << "Network: PRC-20";
        QTest::newRow("shib ERC-20") << "shib"
                                     << "Button5"
                                     << "ETHEREUM"
                                     << "shib.erc20"
                                     << "Network: ERC-20";
        QTest::newRow("shib SOLANA") << "shib"
                                     << "Button7"
                                     << "ETHEREUM"
                                     << "shib.sol"
                                     << "Network: SOLANA";
    }

    void networkPicker()
    {
        QFETCH(QString, coin);
        QFETCH(QString, button);
        QFETCH(QString, firstCaption);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        Activate(Get<TFormDashboard>("dashboard"));
        Select(coin);
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonDeposit"), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isVisible());
        QCOMPARE(Deposits().size(), 0);
        QStringList captions;
        for (const char* b : {"Button3", "Button4", "Button5", "Button6", "Button7", "Button8"})
            captions << Child<QPushButton>(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit"), b)->text();
        QCOMPARE(captions, (QStringList{firstCaption, "BEP-20", "ERC-20", "TRC-20", "SOLANA", "PRC-20"}));
        QCOMPARE(Child<QLabel>(Get<TFormDashboard>("dashboard"), "Text1")->text(), QStringLiteral("Select the network:"));
        QTest::mouseClick(Child<QPushButton>(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit"), button), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isHidden());
        QTRY_COMPARE(Deposits().size(), 1);
        QCOMPARE(Deposits().at(0).field("coin_get_a"), sent);
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_network")->text(), shown);
    }

    void mainNetworkCoinResetsThePickedNetwork()
    {
        Deposit("shib", Child<QPushButton>(Get<TFormDashboard>("dashboard"), "Button5"));
        QTRY_COMPARE(Deposits().size(), 1);
        Get<TFormDeposit>("deposit")->close();
        Deposit("btc");
        QTRY_COMPARE(Deposits().size(), 2);
        QCOMPARE(Deposits().at(1).field("coin_get_a"), QStringLiteral("btc"));
    }

    void closingThePickerKeepsTheNetwork()
    {
        Deposit("usdt", Child<QPushButton>(Get<TFormDashboard>("dashboard"), "Button7"));
        QTRY_COMPARE(Deposits().size(), 1);
        Get<TFormDeposit>("deposit")->close();
        Activate(Get<TFormDashboard>("dashboard"));
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonDeposit"), Qt::LeftButton);
        QTest::mouseClick(Child<ClickableLabel>(Get<TFormDashboard>("dashboard"), "Text2"), Qt::LeftButton);
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isHidden());
        QCOMPARE(Account().CurrentNetwork(), QStringLiteral("sol"));
        QTest::qWait(200);
        QCOMPARE(Deposits().size(), 1);
        // The picker is closed by the next showing of the dashboard too.
        QTest::mouseClick(Child<QPushButton>(Get<TFormDashboard>("dashboard"), "ButtonDeposit"), Qt::LeftButton);
        Get<TFormDashboard>("dashboard")->hide();
        Get<TFormDashboard>("dashboard")->show();
        QVERIFY(Child<QFrame>(Get<TFormDashboard>("dashboard"), "get_network_deposit")->isHidden());
    }

    void qrPictureAtTheDesignSize()
    {
        Get<TFormDeposit>("deposit")->show();
        QCOMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->size(), QSize(488, 269));
        Get<TFormDeposit>("deposit")->hide();
        Deposit("eth");
        QTRY_COMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(), HexAddress);
        const QImage picture = Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(269, 269));
        QCOMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->alignment(), Qt::AlignCenter);
        QVERIFY(!Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->hasScaledContents());

        TQRCodeGrid grid;
        grid.SetData(HexAddress.toStdU16String());
        QCOMPARE(grid.Rows(), 37);
        // 7-pixel modules from the top-left corner; 10 white pixels right and bottom.
        for (int r = 0; r < 37; ++r)
            for (int c = 0; c < 37; ++c) {
                const QRgb expected = grid.IsBlack(r, c) ? 0xFF000000 : 0xFFFFFFFF;
                QCOMPARE(picture.pixel(c * 7, r * 7), expected);
                QCOMPARE(picture.pixel(c * 7 + 6, r * 7 + 6), expected);
            }
        QVERIFY(AllWhite(picture, QRect(259, 0, 10, 269)));
        QVERIFY(AllWhite(picture, QRect(0, 259, 269, 10)));
        QCOMPARE(Decode(picture), HexAddress);
    }

    void qrPictureDecodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("hex address") << HexAddress;
        QTest::newRow("mixed-case address") << MixedAddress;
        QTest::newRow("memo address") << QStringLiteral("rPT1Sjq2YGrBMTttX4GZHjKu9dyfzbpAYe?dt=12345");
    }

    void qrPictureDecodes()
    {
        QFETCH(QString, text);
        Answer(text);
        Deposit("btc");
        QTRY_COMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(), text);
        QCOMPARE(Decode(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().toImage()), text);
        TQRCodeGrid grid;
        grid.SetData(text.toStdU16String());
        if (text == MixedAddress) QCOMPARE(grid.Rows(), 37);
    }

    void qrDrawingEdgeCases()
    {
        // A module of 0 pixels leaves the picture white.
        const QImage tiny = TQrCodeTools::Render(HexAddress, 18);
        QVERIFY(AllWhite(tiny, tiny.rect()));
        // Half to even: 37 modules in 111 pixels is exactly 3.
        const QImage exact = TQrCodeTools::Render(HexAddress, 111);
        QCOMPARE(exact.pixel(4 * 3, 4 * 3), 0xFF000000); // the finder's corner after the quiet zone
        QCOMPARE(exact.pixel(0, 0), 0xFFFFFFFF);
        // The dark module beside the bottom-left finder: row Rows-12, column 12 of the grid.
        const QImage big = TQrCodeTools::Render(HexAddress, 370);
        QCOMPARE(big.pixel(12 * 10 + 5, (37 - 12) * 10 + 5), 0xFF000000);
    }

    void clickCopiesTheAddress()
    {
        Deposit("btc");
        QTRY_COMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(), HexAddress);
        Activate(Get<TFormDeposit>("deposit"));
        for (QWidget* target : {static_cast<QWidget*>(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")),
                                static_cast<QWidget*>(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode"))}) {
            QGuiApplication::clipboard()->setText("something else");
            Child<MessagePanel>(Get<TFormDeposit>("deposit"), "PanelErrorMessage")->hide();
            QTest::mouseClick(target, Qt::LeftButton);
            QCOMPARE(QGuiApplication::clipboard()->text(), HexAddress);
            QVERIFY(PanelShown(Get<TFormDeposit>("deposit")));
            QTRY_COMPARE(PanelText(Get<TFormDeposit>("deposit")), "You copied your deposit address: " + HexAddress);
        }
    }

    void emptyReplyClosesTheScreen()
    {
        Answer(QString());
        Deposit("btc");
        QTRY_VERIFY(!Get<TFormDeposit>("deposit")->isVisible());
        QVERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QTRY_COMPARE(PanelText(Get<TFormDashboard>("dashboard")),
                     QStringLiteral("Something went wrong. Try changing the network or coin."));
        QVERIFY(Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
    }

    void emptyReplyAfterTheUserLeftStillShowsTheDashboard()
    {
        Answer(QString(), 400);
        Deposit("btc");
        Get<TFormDeposit>("deposit")->close();
        Activate(Get<TFormDashboard>("dashboard"));
        Get<TFormDashboard>("dashboard")->close(); // logged out: the login screen is in front now
        QVERIFY(Get<TFormLogin>("login")->isVisible());
        Activate(Get<TFormLogin>("login"));
        // The late reply still runs the close handler, which brings the dashboard to the front with the message.
        QTRY_VERIFY(Get<TFormDashboard>("dashboard")->isVisible());
        QTRY_COMPARE(PanelText(Get<TFormDashboard>("dashboard")),
                     QStringLiteral("Something went wrong. Try changing the network or coin."));
        QVERIFY(!Get<TFormDeposit>("deposit")->isVisible());
    }

    // While the next address is awaited the screen names the new coin and shows
    // no address at all: the old one belongs to another coin.
    void secondRequestClearsTheOldAddress()
    {
        Deposit("btc");
        QTRY_COMPARE(AddressText(), HexAddress);
        QVERIFY(!NoQrCode());
        Get<TFormDeposit>("deposit")->close();
        Answer(MixedAddress, 500);
        Deposit("usdt", Child<QPushButton>(Get<TFormDashboard>("dashboard"), "Button6"));
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_form")->text(), "Coin: " + FullName("usdt"));
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_network")->text(), QStringLiteral("Network: TRC-20"));
        QCOMPARE(AddressText(), QString());
        QVERIFY(NoQrCode());
        QVERIFY(!Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        QVERIFY(Child<FrameAnimation>(Get<TFormDeposit>("deposit"), "gifload")->Enabled());
        QTRY_COMPARE(AddressText(), MixedAddress);
        QCOMPARE(Decode(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().toImage()), MixedAddress);
    }

    // A request that fails (service down, connection dropped) or hangs leaves the
    // address and QR code empty; a failure is said on the deposit screen, and a
    // click copies nothing.
    void failedRequestLeavesNoAddress_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("service down") << "down";
        QTest::newRow("connection dropped") << "dropped";
        QTest::newRow("stuck") << "stuck";
    }
    void failedRequestLeavesNoAddress()
    {
        QFETCH(QString, failure);
        Deposit("btc");
        QTRY_COMPARE(AddressText(), HexAddress);
        Get<TFormDeposit>("deposit")->close();
        if (failure == "down") State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        if (failure == "dropped") Answer(QString(), 0, true);
        if (failure == "stuck") Answer(MixedAddress, 60000);
        QGuiApplication::clipboard()->clear();
        Deposit("eth");
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_form")->text(), "Coin: " + FullName("eth"));
        if (failure == "stuck") {
            QTRY_COMPARE(Deposits().size(), 2);
            QTest::qWait(300);
            QVERIFY(!Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(PanelShown(Get<TFormDeposit>("deposit")), 15000);
            QVERIFY(PanelText(Get<TFormDeposit>("deposit")).startsWith("Error:"));
            QVERIFY(Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        }
        QCOMPARE(AddressText(), QString());
        QVERIFY(NoQrCode());
        Click(Get<TFormDeposit>("deposit"), "lab_dep_address");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QVERIFY(!PanelText(Get<TFormDeposit>("deposit")).startsWith("You copied"));
    }

    // An answer for a coin the user has left behind never lands under the next
    // coin's name, whichever arrives first.
    void lateAnswerForAnEarlierCoinIsIgnored()
    {
        AnswerFor("btc", HexAddress, 1500);
        AnswerFor("eth", MixedAddress, 0);
        Deposit("btc");
        QTRY_COMPARE(Deposits().size(), 1);
        Get<TFormDeposit>("deposit")->close();
        Deposit("eth");
        QTRY_COMPARE(AddressText(), MixedAddress);
        // The btc answer comes in after this: the screen still shows eth's.
        QTest::qWait(3000);
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_form")->text(), "Coin: " + FullName("eth"));
        QCOMPARE(AddressText(), MixedAddress);
        QCOMPARE(Decode(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().toImage()), MixedAddress);
        QVERIFY(!PanelShown(Get<TFormDeposit>("deposit")));
    }

    void oddRepliesAreShownAsPlainText_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("fits");
        QTest::newRow("line breaks") << "Address:\r\nbc1qxy2kgdygjrsqtzq2n0yrf2493p83kkfjhx0wlh\r\n" << true;
        QTest::newRow("html") << "<b>Service</b> <a href='x'>unavailable</a>" << true;
        QTest::newRow("3000 characters") << QString(3000, QLatin1Char('z')) << false;
    }

    void oddRepliesAreShownAsPlainText()
    {
        QFETCH(QString, body);
        QFETCH(bool, fits);
        Answer(body);
        Deposit("btc");
        QTRY_COMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->text(), body);
        QCOMPARE(Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "lab_dep_address")->textFormat(), Qt::PlainText);
        const QImage picture = Child<ClickableLabel>(Get<TFormDeposit>("deposit"), "ImgQrCode")->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(269, 269));
        QCOMPARE(AllWhite(picture, picture.rect()), !fits);
        QCOMPARE(Get<TFormDeposit>("deposit")->size(), QSize(488, 488));
    }

    void transportFailureStopsTheAnimationAndSaysSo()
    {
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        Deposit("btc");
        QTRY_VERIFY(Child<QLabel>(Get<TFormDeposit>("deposit"), "LoadingAnim")->isHidden());
        QVERIFY(PanelShown(Get<TFormDeposit>("deposit")));
        QVERIFY(PanelText(Get<TFormDeposit>("deposit")).startsWith("Error:"));
    }

    void missingMinimumIsReportedAndNothingSent()
    {
        ChangeLimits([](QJsonObject& limits) { limits.remove("Mindep_btc"); });
        Deposit("btc");
        QVERIFY(Get<TFormDeposit>("deposit")->isVisible());
        QCOMPARE(Child<QLabel>(Get<TFormDeposit>("deposit"), "name_network")->text(), QStringLiteral("Network: Main"));
        QVERIFY(PanelShown(Get<TFormDeposit>("deposit")));
        QVERIFY(PanelText(Get<TFormDeposit>("deposit")).startsWith("Error Get_Deposit_Address: "));
        QTest::qWait(200);
        QCOMPARE(Deposits().size(), 0);
    }
};

AMBERVALE_GUI_TEST_MAIN(DepositTest)
#include "tst_deposit.moc"
