// Deposits: the network picker, the address request and the QR picture a phone can scan.
#include "ScreenTestSupport.h"

#include "Login.h"
#include "QRCode.h"
#include "QrCode.Tools.h"
#include "dashboard.h"
#include "deposit.h"

#include <QClipboard>
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

class DepositTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeService> fake;
    QString address = HexAddress;
    int delayMs = 0;
    QMutex mutex;

    void Answer(const QString& body, int delay = 0)
    {
        QMutexLocker lock(&mutex);
        address = body;
        delayMs = delay;
    }
    void Select(const QString& code)
    {
        auto* list = FormDashboard->ui.ListBox1;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == code.toUpper()) list->setCurrentRow(i);
        FormDashboard->show_full_balance();
    }
    QList<RecordedRequest> Deposits() const
    {
        QList<RecordedRequest> out;
        for (const auto& r : fake->requests())
            if (r.field("a") == "get_deposit_address") out << r;
        return out;
    }
    void Deposit(const QString& code, QPushButton* network = nullptr)
    {
        Activate(FormDashboard);
        Select(code);
        QTest::mouseClick(FormDashboard->ui.ButtonDeposit, Qt::LeftButton);
        if (network) {
            QVERIFY(FormDashboard->ui.get_network_deposit->isVisible());
            QTest::mouseClick(network, Qt::LeftButton);
        }
    }

private slots:
    void init()
    {
        fake = std::make_unique<FakeService>();
        Answer(HexAddress);
        fake->setHandler([this](const RecordedRequest&) {
            QMutexLocker lock(&mutex);
            ScriptedReply r;
            r.body = address.toUtf8();
            r.delayMs = delayMs;
            return r;
        });
        FreshScreens(fake.get());
        AppState& st = State();
        const QJsonObject settings = SettingsReply();
        st.MinWithdrawJson = settings["min_withdraw_coin"].toObject();
        st.CoinNames = settings["arr_name_coin"].toArray();
        st.CoinFullNames = settings["arr_fullname_coin"].toArray();
        st.ServerLoadPercent = 100;
        st.UserAccountJson = AccountReply();
        st.LoggedIn = true;
        st.UserLogin = "alice";
        st.PassHash = "0123456789ABCDEF0123456789ABCDEF";
        FormLogin->ParseJsonUserAcc();
    }
    void cleanup()
    {
        DestroyScreens();
        fake.reset();
    }

    void mainNetworkCoinAsksNothing()
    {
        Answer(HexAddress, 300);
        Deposit("btc");
        QVERIFY(FormDashboard->ui.get_network_deposit->isHidden());
        QVERIFY(FormDeposit->isVisible());
        QVERIFY(!FormDashboard->isVisible());
        QCOMPARE(FormDeposit->ui.name_form->text(), "Coin: " + FullName("btc"));
        QCOMPARE(FormDeposit->ui.name_network->text(), QStringLiteral("Network: Main"));
        QCOMPARE(FormDeposit->ui.mindep_coin->text(), QStringLiteral("0,00050000 BTC"));
        QCOMPARE(FormDeposit->ui.LabBonusDeposit->text(), QStringLiteral("+3 %"));
        QVERIFY(!FormDeposit->ui.LoadingAnim->isHidden());
        QVERIFY(FormDeposit->gifload->Enabled());
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), HexAddress);
        QVERIFY(FormDeposit->ui.LoadingAnim->isHidden());
        QTRY_VERIFY(!FormDeposit->gifload->Enabled());

        QCOMPARE(Deposits().size(), 1);
        const RecordedRequest r = Deposits().at(0);
        QStringList names;
        for (const auto& f : r.fields) names << f.first;
        QCOMPARE(names, (QStringList{"a", "coin_get_a", "s", "pass", "session"}));
        QCOMPARE(r.field("coin_get_a"), QStringLiteral("btc"));
        QCOMPARE(r.field("s"), QStringLiteral("alice"));
        QCOMPARE(r.field("pass"), State().PassHash);
        QVERIFY(!r.header("User-Agent").contains("Chrome")); // the library's own user agent
        QCOMPARE(State().CurrentNetwork, QStringLiteral("Main"));
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
                                   << "Network: Main";
        QTest::newRow("usdt TRC-20") << "usdt"
                                     << "Button6"
                                     << "OMNI"
                                     << "usdt.trc20"
                                     << "Network: trc20";
        QTest::newRow("usdt BEP-20") << "usdt"
                                     << "Button4"
                                     << "OMNI"
                                     << "usdt.bep20"
                                     << "Network: bep20";
        QTest::newRow("matic PRC-20") << "matic"
                                      << "Button8"
                                      << "POLYGON"
                                      << "matic.prc20"
                                      << "Network: prc20";
        QTest::newRow("shib ERC-20") << "shib"
                                     << "Button5"
                                     << "ETHEREUM"
                                     << "shib.erc20"
                                     << "Network: erc20";
        QTest::newRow("shib SOLANA") << "shib"
                                     << "Button7"
                                     << "ETHEREUM"
                                     << "shib.sol"
                                     << "Network: sol";
    }

    void networkPicker()
    {
        QFETCH(QString, coin);
        QFETCH(QString, button);
        QFETCH(QString, firstCaption);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        Activate(FormDashboard);
        Select(coin);
        QTest::mouseClick(FormDashboard->ui.ButtonDeposit, Qt::LeftButton);
        QVERIFY(FormDashboard->ui.get_network_deposit->isVisible());
        QCOMPARE(Deposits().size(), 0);
        QStringList captions;
        for (const char* b : {"Button3", "Button4", "Button5", "Button6", "Button7", "Button8"})
            captions << Child<QPushButton>(FormDashboard->ui.get_network_deposit, b)->text();
        QCOMPARE(captions, (QStringList{firstCaption, "BEP-20", "ERC-20", "TRC-20", "SOLANA", "PRC-20"}));
        QCOMPARE(FormDashboard->ui.Text1->text(), QStringLiteral("Select the network:"));
        QTest::mouseClick(Child<QPushButton>(FormDashboard->ui.get_network_deposit, button), Qt::LeftButton);
        QVERIFY(FormDashboard->ui.get_network_deposit->isHidden());
        QTRY_COMPARE(Deposits().size(), 1);
        QCOMPARE(Deposits().at(0).field("coin_get_a"), sent);
        QCOMPARE(FormDeposit->ui.name_network->text(), shown);
    }

    void mainNetworkCoinResetsThePickedNetwork()
    {
        Deposit("shib", FormDashboard->ui.Button5);
        QTRY_COMPARE(Deposits().size(), 1);
        FormDeposit->close();
        Deposit("btc");
        QTRY_COMPARE(Deposits().size(), 2);
        QCOMPARE(Deposits().at(1).field("coin_get_a"), QStringLiteral("btc"));
    }

    void closingThePickerKeepsTheNetwork()
    {
        Deposit("usdt", FormDashboard->ui.Button7);
        QTRY_COMPARE(Deposits().size(), 1);
        FormDeposit->close();
        Activate(FormDashboard);
        QTest::mouseClick(FormDashboard->ui.ButtonDeposit, Qt::LeftButton);
        QTest::mouseClick(FormDashboard->ui.Text2, Qt::LeftButton);
        QVERIFY(FormDashboard->ui.get_network_deposit->isHidden());
        QCOMPARE(State().CurrentNetwork, QStringLiteral("sol"));
        QTest::qWait(200);
        QCOMPARE(Deposits().size(), 1);
        // The picker is closed by the next showing of the dashboard too.
        QTest::mouseClick(FormDashboard->ui.ButtonDeposit, Qt::LeftButton);
        FormDashboard->hide();
        FormDashboard->show();
        QVERIFY(FormDashboard->ui.get_network_deposit->isHidden());
    }

    void qrPictureAtTheDesignSize()
    {
        FormDeposit->show();
        QCOMPARE(FormDeposit->ui.ImgQrCode->size(), QSize(488, 269));
        FormDeposit->hide();
        Deposit("eth");
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), HexAddress);
        const QImage picture = FormDeposit->ui.ImgQrCode->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(269, 269));
        QCOMPARE(FormDeposit->ui.ImgQrCode->alignment(), Qt::AlignCenter);
        QVERIFY(!FormDeposit->ui.ImgQrCode->hasScaledContents());

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
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), text);
        QCOMPARE(Decode(FormDeposit->ui.ImgQrCode->pixmap().toImage()), text);
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
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), HexAddress);
        Activate(FormDeposit);
        for (QWidget* target : {static_cast<QWidget*>(FormDeposit->ui.lab_dep_address),
                                static_cast<QWidget*>(FormDeposit->ui.ImgQrCode)}) {
            QGuiApplication::clipboard()->setText("something else");
            FormDeposit->ui.PanelErrorMessage->hide();
            QTest::mouseClick(target, Qt::LeftButton);
            QCOMPARE(QGuiApplication::clipboard()->text(), HexAddress);
            QVERIFY(PanelShown(FormDeposit));
            QCOMPARE(PanelText(FormDeposit), "You copied your deposit address: " + HexAddress);
        }
    }

    void emptyReplyClosesTheScreen()
    {
        Answer(QString());
        Deposit("btc");
        QTRY_VERIFY(!FormDeposit->isVisible());
        QVERIFY(FormDashboard->isVisible());
        QTRY_COMPARE(PanelText(FormDashboard),
                     QStringLiteral("Something went wrong. Try changing the network or coin."));
        QVERIFY(FormDeposit->ui.LoadingAnim->isHidden());
    }

    void emptyReplyAfterTheUserLeftStillShowsTheDashboard()
    {
        Answer(QString(), 400);
        Deposit("btc");
        FormDeposit->close();
        Activate(FormDashboard);
        FormDashboard->close(); // logged out: the login screen is in front now
        QVERIFY(FormLogin->isVisible());
        Activate(FormLogin);
        // The late reply still runs the close handler, which brings the dashboard to the front with the message.
        QTRY_VERIFY(FormDashboard->isVisible());
        QTRY_COMPARE(PanelText(FormDashboard),
                     QStringLiteral("Something went wrong. Try changing the network or coin."));
        QVERIFY(!FormDeposit->isVisible());
    }

    void secondRequestShowsNewCoinBesideTheOldAddress()
    {
        Deposit("btc");
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), HexAddress);
        const QImage oldPicture = FormDeposit->ui.ImgQrCode->pixmap().toImage();
        FormDeposit->close();
        Answer(MixedAddress, 500);
        Deposit("usdt", FormDashboard->ui.Button6);
        QCOMPARE(FormDeposit->ui.name_form->text(), "Coin: " + FullName("usdt"));
        QCOMPARE(FormDeposit->ui.name_network->text(), QStringLiteral("Network: trc20"));
        QCOMPARE(FormDeposit->ui.lab_dep_address->text(), HexAddress);
        QCOMPARE(FormDeposit->ui.ImgQrCode->pixmap().toImage(), oldPicture);
        QVERIFY(!FormDeposit->ui.LoadingAnim->isHidden());
        QVERIFY(FormDeposit->gifload->Enabled());
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), MixedAddress);
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
        QTRY_COMPARE(FormDeposit->ui.lab_dep_address->text(), body);
        QCOMPARE(FormDeposit->ui.lab_dep_address->textFormat(), Qt::PlainText);
        const QImage picture = FormDeposit->ui.ImgQrCode->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(269, 269));
        QCOMPARE(AllWhite(picture, picture.rect()), !fits);
        QCOMPARE(FormDeposit->size(), QSize(488, 488));
    }

    void transportFailureStopsTheAnimationAndSaysSo()
    {
        State().ServerAddress = QStringLiteral("://127.0.0.1:%1/").arg(ClosedPort());
        Deposit("btc");
        QTRY_VERIFY(FormDeposit->ui.LoadingAnim->isHidden());
        QVERIFY(PanelShown(FormDeposit));
        QVERIFY(PanelText(FormDeposit).startsWith("Error:"));
    }

    void missingMinimumIsReportedAndNothingSent()
    {
        QJsonObject limits = *State().MinWithdrawJson;
        limits.remove("Mindep_btc");
        State().MinWithdrawJson = limits;
        Deposit("btc");
        QVERIFY(FormDeposit->isVisible());
        QCOMPARE(FormDeposit->ui.name_network->text(), QStringLiteral("Network: Main"));
        QVERIFY(PanelShown(FormDeposit));
        QVERIFY(PanelText(FormDeposit).startsWith("Error Get_Deposit_Address: "));
        QTest::qWait(200);
        QCOMPARE(Deposits().size(), 0);
    }
};

AMBERVALE_GUI_TEST_MAIN(DepositTest)
#include "tst_deposit.moc"
