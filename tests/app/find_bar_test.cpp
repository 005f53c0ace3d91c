// The preview window's find bar and page selection: matches across pages, highlights on
// the glyphs at small and large zooms, copy of a selected area, and a long search that
// leaves the window answering and stops on Escape.
#include "AppTestSupport.h"

#include "../preview/PreviewTestReports.h"
#include "emf/EmfText.h"
#include "preview/FindBar.h"
#include "preview/PageSheet.h"
#include "preview/PageTextOverlay.h"
#include "preview/QRPreviewImage.h"
#include "preview/TextFinder.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QTimer>

#include <functional>

using namespace qrp;
using namespace qrp::apptest;

namespace {

// A report whose page k is drawn by draw(painter, k) in 15-pixel Liberation Sans, black,
// at 96 pixels per inch on A4, as reports are produced.
void WriteTextReport(const QString& path, int pages, const std::function<void(QPainter&, int)>& draw)
{
    WriteDrawnReport(path, pages, [&](QPainter& canvas, int k) {
        QFont font("Liberation Sans");
        font.setPixelSize(15);
        canvas.setFont(font);
        canvas.setPen(Qt::black);
        draw(canvas, k);
    });
}

class FindBarTest : public AppFixture {
protected:
    void StartOn(const QString& path)
    {
        Start({path});
        ASSERT_TRUE(errors.empty());
        ASSERT_TRUE(FrmVisualizar->isVisible());
        FrmVisualizar->resize(1000, 800);
        Settle();
    }
    static TFindBar* Bar() { return FrmVisualizar->FindBar; }
    static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(FrmVisualizar->QRPrev, static_cast<Qt::Key>(key), mods);
    }
    // Ctrl+F, the query typed into the field, Enter; then waits for the search.
    static void Search(const QString& query)
    {
        Key(Qt::Key_F, Qt::ControlModifier);
        EXPECT_TRUE(Bar()->isVisible());
        EXPECT_TRUE(Bar()->Field->hasFocus());
        Bar()->Field->selectAll();
        Type(query);
        QTest::keyClick(Bar()->Field, Qt::Key_Return);
        Wait();
    }
    static void Wait()
    {
        QElapsedTimer clock;
        clock.start();
        while (Bar()->Searching() && clock.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(Bar()->Searching());
        Settle();
    }
    // Typed into the find field key by key, letters with accents too.
    static void Type(const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Bar()->Field, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Bar()->Field, &release);
        }
    }
    static int Page() { return FrmVisualizar->QRPrev->PageNumber(); }
    static QString Field() { return FrmVisualizar->Edtpagina->text(); }
    static TPageTextOverlay* Overlay() { return Bar()->Overlay(); }
    static QString CurrentText()
    {
        const int i = Overlay()->Current();
        if (i < 0)
            return {};
        const TTextRange r = Overlay()->Matches()[static_cast<std::size_t>(i)];
        return Overlay()->Text().Line(r.Line).mid(r.Start, r.End - r.Start);
    }
};

} // namespace

TEST_F(FindBarTest, NextAndPreviousGoAcrossPagesAndTurnThePage)
{
    const QString path = WorkFile("clientes.qrp");
    WriteTextReport(path, 5, [](QPainter& p, int k) {
        p.drawText(QPointF(60, 80), QStringLiteral("Clientes, hoja %1").arg(k));
        if (k == 2) {
            p.drawText(QPointF(60, 200), QStringLiteral("Textiles Andinos, Lima, Perú"));
            p.drawText(QPointF(60, 600), QStringLiteral("COMERCIAL PERÚ S.A."));
        }
        if (k == 4)
            p.drawText(QPointF(300, 900), QStringLiteral("Exportaciones Perú"));
        if (k == 5)
            p.drawText(QPointF(60, 300), QStringLiteral("Resumen del año"));
    });
    StartOn(path);

    // Accents and case folded: "peru" finds "Perú" and "PERÚ"; the page and its field turn.
    Search("peru");
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(Field(), "2");
    EXPECT_EQ(Overlay()->Matches().size(), 2u);
    EXPECT_EQ(CurrentText(), QStringLiteral("Perú"));
    EXPECT_EQ(Bar()->Status(), QStringLiteral("Coincidencia 1 de 2 en la página 2"));
    Key(Qt::Key_F3);
    Wait();
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(CurrentText(), QStringLiteral("PERÚ"));
    Key(Qt::Key_F3);
    Wait();
    EXPECT_EQ(Page(), 4);
    EXPECT_EQ(Field(), "4");
    EXPECT_EQ(Overlay()->Current(), 0);
    // Past the last match the search goes on from the first page.
    Key(Qt::Key_F3);
    Wait();
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(Overlay()->Current(), 0);
    EXPECT_TRUE(Bar()->Status().contains("desde el principio")) << Bar()->Status().toStdString();
    // Shift+F3 goes back, across the start of the report too.
    Key(Qt::Key_F3, Qt::ShiftModifier);
    Wait();
    EXPECT_EQ(Page(), 4);
    Key(Qt::Key_F3, Qt::ShiftModifier);
    Wait();
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(CurrentText(), QStringLiteral("PERÚ"));

    // Letter case counts when asked.
    Bar()->MatchCase->setChecked(true);
    Search("Perú");
    EXPECT_EQ(Overlay()->Matches().size(), 1u);
    EXPECT_EQ(CurrentText(), QStringLiteral("Perú"));
    Bar()->MatchCase->setChecked(false);

    // Nothing found: the message, and the page stays. ñ is a letter of its own.
    Key(Qt::Key_End);
    Search("ano");
    EXPECT_EQ(Bar()->Status(), QStringLiteral("No se encontró «ano»"));
    EXPECT_EQ(Page(), 5);
    EXPECT_EQ(Field(), "5");
    Search("año");
    EXPECT_EQ(CurrentText(), QStringLiteral("año"));

    // Escape closes the bar and takes the highlights away.
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Bar()->isVisible());
    EXPECT_TRUE(Overlay()->Matches().empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(FindBarTest, HighlightSitsOnTheGlyphsAtEveryZoomAndIsScrolledIntoView)
{
    // The word looked for is the only red ink of the page, near its bottom right corner.
    const QString path = WorkFile("rojo.qrp");
    WriteTextReport(path, 1, [](QPainter& p, int) {
        for (int i = 0; i < 20; ++i)
            p.drawText(QPointF(60, 120 + 30 * i), QStringLiteral("Línea %1 del detalle de ventas").arg(i));
        QFont big("Liberation Serif");
        big.setPixelSize(22);
        p.setFont(big);
        p.setPen(QColor(220, 0, 0));
        p.drawText(QPointF(520, 1040), QStringLiteral("Cajamarca"));
        p.setPen(Qt::black);
        p.drawText(QPointF(380, 1040), QStringLiteral("Sede:"));
    });
    StartOn(path);

    for (const int zoom : {47, 250}) {
        SCOPED_TRACE(zoom);
        FrmVisualizar->QRPrev->SetZoom(zoom);
        Settle();
        Search("cajamarca");
        ASSERT_EQ(Overlay()->Current(), 0);
        const QRectF outline = Overlay()->MatchOutline(0).boundingRect();

        // The red ink as the preview draws the page at this zoom.
        const QImage page = RenderPreviewPage(*SharedQRPrinter, 1, zoom);
        ASSERT_EQ(page.size(), FrmVisualizar->QRPrev->PageImage()->size());
        QRect ink;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 110 && c.blue() < 110)
                    ink |= QRect(x, y, 1, 1);
            }
        ASSERT_FALSE(ink.isEmpty());
        // Every inked pixel inside the highlight, which is no wider than the word's
        // advance and no taller than its font's ascent and descent.
        EXPECT_TRUE(outline.adjusted(-1, -1, 1, 1).contains(QRectF(ink))) << "ink " << ink.x() << "," << ink.y()
                                                                         << " " << ink.width() << "x" << ink.height();
        EXPECT_LT(outline.width(), ink.width() * 1.1 + 4);
        EXPECT_LT(outline.height(), ink.height() * 1.6 + 3);

        // The highlight is on screen: within the visible part of the scroll area, in the
        // current match's colour.
        QWidget* viewport = FrmVisualizar->QRPrev->viewport();
        const QRect onViewport(FrmVisualizar->QRPrev->PageImage()->mapTo(viewport, outline.center().toPoint()),
                               QSize(1, 1));
        EXPECT_TRUE(viewport->rect().contains(onViewport)) << onViewport.x() << "," << onViewport.y();
        const QImage shown = FrmVisualizar->QRPrev->PageImage()->grab(outline.toAlignedRect()).toImage();
        int orange = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QColor c = shown.pixelColor(x, y);
                orange += c.red() > 230 && c.green() > 120 && c.green() < 180 && c.blue() < 80;
            }
        EXPECT_GT(orange, outline.width() * outline.height() / 4);
    }
}

TEST_F(FindBarTest, CopyOfASelectedAreaGivesItsLinesInReadingOrder)
{
    const QString path = WorkFile("tabla.qrp");
    WriteTextReport(path, 1, [](QPainter& p, int) {
        const QStringList rows = {"C-1001", "Flores", "Cusco", "128,90", "C-1002", "Vargas", "Lima", "77,10",
                                  "C-1003", "Ñahui", "Puno", "5,00", "C-1004", "Rojas", "Tacna", "1.200,00"};
        p.drawText(QPointF(60, 100), QStringLiteral("Código   Cliente   Ciudad   Importe"));
        for (int r = 0; r < 4; ++r) {
            // Right column first and right-aligned, as report writers draw amounts.
            const QString amount = rows[4 * r + 3];
            p.drawText(QRectF(500, 130 + 30 * r, 200, 20), Qt::AlignRight | Qt::AlignVCenter, amount);
            for (int c = 0; c < 3; ++c)
                p.drawText(QPointF(60 + 140 * c, 145 + 30 * r), rows[4 * r + c]);
        }
    });
    StartOn(path);
    FrmVisualizar->QRPrev->SetZoom(100);
    Settle();
    QWidget* image = FrmVisualizar->QRPrev->PageImage();
    const double scale = image->width() / 794.0;

    // A drag over the second and third rows, from left of the first column to right of
    // the amounts.
    const QPoint from(static_cast<int>(40 * scale), static_cast<int>(158 * scale));
    const QPoint to(static_cast<int>(760 * scale), static_cast<int>(210 * scale));
    QTest::mousePress(image, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step) {
        const QPointF at = from + (to - from) * step / 4.0;
        QMouseEvent move(QEvent::MouseMove, at, image->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(image, &move);
    }
    QTest::mouseRelease(image, Qt::LeftButton, {}, to);
    Settle();
    EXPECT_FALSE(Overlay()->SelectionOutline().isEmpty());
    QApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("C-1002 Vargas Lima 77,10\nC-1003 Ñahui Puno 5,00"));

    // Ctrl+A: the whole page, as the page text reads.
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    const auto picture = SharedQRPrinter->PagePicture(1);
    const auto& bytes = picture->Bytes();
    EXPECT_EQ(QApplication::clipboard()->text() + "\n",
              QString::fromStdString(ExtractPageText(bytes.data(), bytes.size())));

    // A click without a drag clears the selection; Ctrl+C then leaves the clipboard alone.
    QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(Overlay()->Selection().empty());
    QApplication::clipboard()->setText("antes");
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("antes"));
}

TEST_F(FindBarTest, EscapeCancelsALongSearchAndTheWindowKeepsAnswering)
{
    // Thousands of pages of 30 lines; only the last one says what is looked for. A slice
    // of the search gets through a few dozen of them.
    const int pages = 2000;
    std::vector<std::vector<std::uint8_t>> all;
    for (int k = 1; k <= pages; ++k) {
        test::TEmfWriter w(test::kA4Frame, test::TReferenceDevice::AtResolution(96));
        test::TEmfWriter::TLogFont font;
        font.Height = -14;
        font.FaceName = u"Liberation Sans";
        w.SelectObject(w.ExtCreateFontIndirectW(font));
        for (int row = 0; row < 30; ++row) {
            const std::u16string line =
                (k == pages && row == 29 ? u"Cierre del ejercicio, página " : u"Detalle de movimientos, página ") +
                QString::number(k).toStdU16String();
            test::TEmfWriter::TTextOut t;
            t.Reference = {60, 100 + 30 * row};
            t.Text = line;
            w.ExtTextOutW(t);
        }
        all.push_back(w.Finish());
    }
    const QString path = WorkFile("largo.qrp");
    test::WriteReport(QFile::encodeName(path).toStdString(), all);
    StartOn(path);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    Key(Qt::Key_F, Qt::ControlModifier);
    Type("inexistente");
    QTest::keyClick(Bar()->Field, Qt::Key_Return);
    ASSERT_TRUE(Bar()->Searching());
    // The window's events (the ticker's among them) are handled while pages are searched.
    QElapsedTimer clock;
    clock.start();
    while ((Bar()->Finder()->PagesSearched() == 0 || ticks == 0) && Bar()->Searching() && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const int ticksBefore = ticks;
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Bar()->Searching());
    EXPECT_LT(Bar()->Finder()->PagesSearched(), pages);
    EXPECT_EQ(Bar()->Status(), QStringLiteral("Búsqueda cancelada"));
    EXPECT_TRUE(Bar()->isVisible()); // the first Escape only stops the search
    EXPECT_EQ(Page(), 1);
    // Timers kept firing while pages were searched.
    EXPECT_GT(ticksBefore, 0);

    // The word on the last page only: found there, the page field follows.
    Search("cierre del ejercicio");
    EXPECT_EQ(Page(), pages);
    EXPECT_EQ(Field(), QString::number(pages));
    EXPECT_EQ(Bar()->Finder()->PagesSearched(), pages - 1);
    EXPECT_TRUE(errors.empty());
}
