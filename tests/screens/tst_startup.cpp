// What the login window needs for its first paint: its pictures come drawn from
// our SVGs at the size it shows them, no SVG image plugin is loaded before the
// window has painted, and the message panel has no style sheet of its own.
#include "ScreenTestSupport.h"

#include "Login.h"
#include "pictures/Pictures.h"

#include <QFile>
#include <QFontInfo>
#include <QPushButton>
#include <QPainter>
#include <QSvgRenderer>

#include <functional>

using namespace support;

namespace {

// Whether a library whose path contains part is mapped into this process now.
bool Mapped(const QByteArray& part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) qFatal("cannot read /proc/self/maps");
    return maps.readAll().contains(part);
}

// Notes, at the window's first paint, whether the SVG image plugin was loaded by then.
class FirstPaintProbe : public QObject {
public:
    explicit FirstPaintProbe(QWidget* window) { window->installEventFilter(this); }
    bool painted = false;
    bool svgPluginLoaded = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            svgPluginLoaded = Mapped("imageformats/libqsvg");
        }
        return false;
    }
};

// The SVG drawn stretched over width x height, as the window shows it.
QImage DrawSvg(const QString& path, int width, int height)
{
    QSvgRenderer svg(path);
    if (!svg.isValid()) qFatal("cannot read %s", qPrintable(path));
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return image;
}

// The largest difference of one channel between two images of the same size.
int LargestDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            largest = std::max({largest, std::abs(qRed(p[col]) - qRed(q[col])),
                                std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col])),
                                std::abs(qAlpha(p[col]) - qAlpha(q[col]))});
    }
    return largest;
}

using PictureFn = std::function<QPixmap(qreal)>;

} // namespace

Q_DECLARE_METATYPE(PictureFn)

class StartupTest : public ScreenTest {
    Q_OBJECT
    bool m_painted = false;
    bool m_svgPluginAtFirstPaint = true;

private slots:
    // The program's own start-up, before any case makes fresh screens.
    void initTestCase()
    {
        QVERIFY2(!Mapped("imageformats/libqsvg"), "loaded before the start-up began");
        StartScreens();
        FirstPaintProbe probe(Get<TFormLogin>("login"));
        QTRY_VERIFY_WITH_TIMEOUT(probe.painted, 30000);
        m_painted = probe.painted;
        m_svgPluginAtFirstPaint = probe.svgPluginLoaded;
        // The other screens follow the first paint; they may use SVG icons.
        QTRY_VERIFY_WITH_TIMEOUT(ScreenNamed(QStringLiteral("lottery")) != nullptr, 30000);
    }

    void loginWindowPaintsWithoutTheSvgPlugin()
    {
        QVERIFY(m_painted);
        QVERIFY(!m_svgPluginAtFirstPaint);
    }

    void picturesAreTheSvgsDrawnAtTheShownSize_data()
    {
        QTest::addColumn<PictureFn>("picture");
        QTest::addColumn<QString>("svg");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<qreal>("ratio");
        const PictureFn header = pictures::LoginHeader;
        const PictureFn info = pictures::InfoIcon;
        QTest::newRow("header 1x") << header << ":/icons/header.svg" << QSize(576, 110) << 1.0;
        QTest::newRow("header 2x") << header << ":/icons/header.svg" << QSize(576, 110) << 2.0;
        QTest::newRow("header 1.5x uses 2x") << header << ":/icons/header.svg" << QSize(576, 110) << 1.5;
        QTest::newRow("info 1x") << info << ":/icons/info.svg" << QSize(32, 32) << 1.0;
        QTest::newRow("info 2x") << info << ":/icons/info.svg" << QSize(32, 32) << 2.0;
        const PictureFn alien = pictures::Alien;
        QTest::newRow("alien 1x") << alien << ":/icons/alien.svg" << QSize(16, 16) << 1.0;
        QTest::newRow("alien 2x") << alien << ":/icons/alien.svg" << QSize(16, 16) << 2.0;
    }
    void picturesAreTheSvgsDrawnAtTheShownSize()
    {
        QFETCH(PictureFn, picture);
        QFETCH(QString, svg);
        QFETCH(QSize, shown);
        QFETCH(qreal, ratio);
        const QPixmap pixmap = picture(ratio);
        const int scale = ratio > 1.0 ? 2 : 1;
        QCOMPARE(pixmap.devicePixelRatio(), qreal(scale));
        QCOMPARE(pixmap.deviceIndependentSize().toSize(), shown);
        QCOMPARE(pixmap.size(), shown * scale);
        QVERIFY2(LargestDifference(pixmap.toImage(), DrawSvg(svg, shown.width() * scale, shown.height() * scale)) <= 2,
                 "the picture is not the SVG drawn at this size");
    }

    // The login window shows them at the size they were drawn at: no scaling at paint.
    void loginWindowShowsThePictures()
    {
        auto* login = Get<TFormLogin>("login");
        login->show();
        QVERIFY(QTest::qWaitForWindowExposed(login));
        const struct {
            const char* name;
            QPixmap expected;
        } shown[] = {{"Image1", pictures::LoginHeader(1.0)}, {"Image5", pictures::InfoIcon(1.0)}};
        for (const auto& s : shown) {
            auto* label = Child<QLabel>(login, s.name);
            QCOMPARE(label->size(), s.expected.size());
            QCOMPARE(LargestDifference(label->pixmap().toImage(), s.expected.toImage()), 0);
            // What the label paints, without the controls laid over the header.
            QImage painted(label->size(), QImage::Format_ARGB32_Premultiplied);
            painted.fill(Qt::transparent);
            label->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
            QCOMPARE(LargestDifference(painted, s.expected.toImage()), 0);
        }
    }

    // The community button keeps its whole text for whoever reads it, but its
    // symbol is our picture drawn after the word: no emoji font is needed to
    // measure or paint it.
    void communityButtonDrawsItsSymbolAsOurPicture()
    {
        auto* login = Get<TFormLogin>("login");
        login->show();
        QVERIFY(QTest::qWaitForWindowExposed(login));
        auto* button = Child<QPushButton>(login, "Button3");
        QCOMPARE(button->text(), QStringLiteral("Telegram\U0001F47E"));
        QCOMPARE(button->accessibleName(), QStringLiteral("Telegram"));
        // Wide enough for the word and the picture, measured without the symbol.
        const int word = button->fontMetrics().horizontalAdvance(QStringLiteral("Telegram"));
        QVERIFY2(button->width() >= word + 16, qPrintable(QString::number(button->width())));
        const QImage shot = button->grab().toImage();
        const QImage alien = pictures::Alien(shot.devicePixelRatio()).toImage();
        // The picture's body colour shows on the button, right of its centre
        // (after the word), and only there.
        const QColor body(0x5B, 0x2D, 0xB8);
        int left = shot.width(), right = -1;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixelColor(x, y) == body) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        QVERIFY2(right >= 0, "the picture is not on the button");
        QVERIFY2(left > shot.width() / 2, qPrintable(QString::number(left)));
        QVERIFY(right - left + 1 <= alien.width());
        // And the word is drawn in the button's text colour left of it.
        const QColor text = button->palette().color(QPalette::ButtonText);
        bool wordDrawn = false;
        for (int y = 0; y < shot.height() && !wordDrawn; ++y)
            for (int x = 0; x < left && !wordDrawn; ++x) wordDrawn = shot.pixelColor(x, y) == text;
        QVERIFY(wordDrawn);
    }

    // Texts measured before the style sheet applies use the font it gives
    // every widget, so one font engine serves both.
    void applicationFontIsTheStyleSheetSize()
    {
        auto* login = Get<TFormLogin>("login");
        login->show();
        QVERIFY(QTest::qWaitForWindowExposed(login));
        const QFontInfo app(QApplication::font());
        auto* edit = Child<QLineEdit>(login, "LoginEdit");
        QCOMPARE(QFontInfo(edit->font()).pixelSize(), app.pixelSize());
    }

    // The panel every screen carries takes its look from the application's style
    // alone (a style sheet of its own is parsed and polished again per screen),
    // and its text still lies on the panel's own background.
    void messagePanelTakesItsLookFromTheApplicationStyle()
    {
        auto* login = Get<TFormLogin>("login");
        login->show();
        QVERIFY(QTest::qWaitForWindowExposed(login));
        auto* panel = Child<MessagePanel>(login, "PanelErrorMessage");
        QVERIFY(panel->styleSheet().isEmpty());
        for (QWidget* w : panel->findChildren<QWidget*>())
            QVERIFY2(w->styleSheet().isEmpty(), qPrintable(w->objectName()));

        login->ShowErrorMessage(QStringLiteral("short"), QString());
        QVERIFY(PanelShown(login));
        const QImage shot = panel->grab().toImage();
        const QColor panelColour(0x2A, 0x2F, 0x3D);
        // Inside the border, beside the panel's frame, in the text's area and left of the centred word.
        auto* label = Child<QLabel>(panel, "message_label");
        const QPoint inText = label->mapTo(panel, QPoint(4, label->height() / 2));
        QCOMPARE(shot.pixelColor(inText * shot.devicePixelRatio()), panelColour);
        QCOMPARE(shot.pixelColor(QPoint(4, panel->height() / 2) * shot.devicePixelRatio()), panelColour);
    }
};

AMBERVALE_GUI_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
