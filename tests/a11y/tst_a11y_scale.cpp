// The screens on a magnified desktop: run at a scale factor of 2 and 144 dpi
// (a11y.scale sets both). Pictures are drawn in the screen's own pixels, not
// drawn at 1x and stretched, and text follows the desktop's font size.
#include "QrCode.Tools.h"
#include "ScreenTestSupport.h"

#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>

using support::Child;
using support::Get;

namespace {

// How much the picture changes from one pixel to the next (alpha and grey
// together): a picture stretched from fewer pixels has softer edges and less of it.
double EdgeEnergy(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 1; x < image.width(); ++x) {
            const QRgb a = image.pixel(x - 1, y), b = image.pixel(x, y);
            sum += std::abs(qAlpha(a) - qAlpha(b)) + std::abs(qGray(a) - qGray(b));
        }
    return sum;
}

// Pixels that are neither black nor white: a QR code stretched smoothly has them at its edges.
int GreyPixels(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int g = qGray(image.pixel(x, y));
            if (g != 0 && g != 255) ++n;
        }
    return n;
}

} // namespace

class ScaleTest : public support::ScreenTest {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The case only means something on a magnified desktop.
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        QCOMPARE(qgetenv("QT_FONT_DPI"), QByteArray("144"));
    }

    void iconsAreDrawnAtTheScreensScale_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("svg");
        QTest::newRow("back") << "deposit" << "btn_back" << ":/icons/back.svg";
        QTest::newRow("swap between the coins") << "swap" << "Image2" << ":/icons/swap.svg";
        QTest::newRow("menu: settings") << "dashboard" << "setting_btn" << ":/icons/settings.svg";
    }
    void iconsAreDrawnAtTheScreensScale()
    {
        QFETCH(QString, screen);
        QFETCH(QString, label);
        QFETCH(QString, svg);
        QWidget* s = Get<QWidget>(screen);
        s->show();
        auto* picture = Child<QLabel>(s, label);
        QVERIFY(QTest::qWaitForWindowExposed(s));
        const QSize logical = picture->size();
        QVERIFY(!logical.isEmpty());
        QCOMPARE(picture->pixmap().devicePixelRatio(), 2.0);
        QCOMPARE(picture->pixmap().size(), logical * 2);

        // What the user sees, against the drawing rendered straight at that size.
        const QImage shown = picture->grab().toImage();
        QCOMPARE(shown.size(), logical * 2);
        QImage direct(logical * 2, QImage::Format_ARGB32_Premultiplied);
        direct.fill(s->palette().window().color());
        {
            QPainter p(&direct);
            QSvgRenderer(svg).render(&p);
        }
        const double sharp = EdgeEnergy(direct);
        QVERIFY(sharp > 0);
        QVERIFY2(EdgeEnergy(shown) > 0.9 * sharp,
                 qPrintable(QStringLiteral("edges %1 against %2 when drawn at this scale").arg(EdgeEnergy(shown)).arg(sharp)));
        s->hide();
    }

    void qrModulesHaveHardEdges()
    {
        QLabel label;
        label.resize(269, 269);
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        const QString text = QStringLiteral("0x52908400098527886E0F7030069857D2E4169EE7");
        TQrCodeTools::Generate(text, &label);
        QCOMPARE(label.pixmap().devicePixelRatio(), 2.0);
        QCOMPARE(label.pixmap().size(), QSize(538, 538));
        const QImage shown = label.grab().toImage();
        QCOMPARE(GreyPixels(shown), 0);
        // Same modules as at 1x, each twice as many pixels across: the top-left
        // finder's dark corner row runs 7 modules.
        const QImage drawn = label.pixmap().toImage();
        int corner = 0;
        while (corner < drawn.height() && qGray(drawn.pixel(corner, corner)) == 255) ++corner;
        int run = 0;
        while (corner + run < drawn.width() && qGray(drawn.pixel(corner + run, corner)) == 0) ++run;
        QCOMPARE(run % 7, 0);
        QVERIFY(run / 7 >= 14); // 538 / 37 rows: modules of 14 or 15 device pixels, not 7 stretched
    }

    void textFollowsTheDesktopFontSize()
    {
        // 13 px at 96 dpi; at 144 dpi the same setting is half as large again.
        QWidget* login = Get<QWidget>("login");
        login->show();
        for (const char* name : {"LoginEdit", "BtnLogin"}) {
            QWidget* w = Child(login, name);
            const int pixels = QFontInfo(w->font()).pixelSize();
            QVERIFY2(pixels >= 19, qPrintable(QStringLiteral("%1: %2 px").arg(name).arg(pixels)));
        }
        login->hide();
    }
};

AMBERVALE_GUI_TEST_MAIN(ScaleTest)
#include "tst_a11y_scale.moc"
