#include "app/FrmVisualizar.h"

#include "app/Assets.h"
#include "app/FormFont.h"
#include "app/ErrorBox.h"
#include "app/FrmImprimir.h"
#include "app/FrmManRepo.h"
#include "app/Globals.h"
#include "base/Errors.h"
#include "platform/PrintSystem.h"
#include "platform/PrinterDevice.h"
#include "preview/FindBar.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace qrp {

namespace {

QToolButton* SpeedButton(QWidget* parent, const char* name, QRect place, const QString& glyph,
                         bool flat, const QString& caption = {})
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(place);
    b->setAutoRaise(flat);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIcon(GlyphIcon(glyph));
    b->setIconSize(QSize(16, 16));
    if (!caption.isEmpty()) {
        b->setText(caption);  // the "&" letter becomes its Alt accelerator
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    return b;
}

QLineEdit* DisplayField(QWidget* parent, const char* name, QRect place)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(place);
    e->setEnabled(false);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, pal.color(QPalette::Button));
    pal.setColor(QPalette::Disabled, QPalette::Text, pal.color(QPalette::Active, QPalette::Text));
    e->setPalette(pal);
    return e;
}

} // namespace

TFrmVisualizar::TFrmVisualizar(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FrmVisualizar"));
    setWindowTitle(QStringLiteral("Visualización de Reportes"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    setFont(FormFont());
    setGeometry(1, 107, 876, 596);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(37);
    Panel1->setAutoFillBackground(true);
    SpdPrimer = SpeedButton(Panel1, "SpdPrimer", {16, 8, 23, 22}, QStringLiteral("first"), true);
    SpdAnterior = SpeedButton(Panel1, "SpdAnterior", {40, 8, 23, 22}, QStringLiteral("prior"), true);
    SpdSiguiente = SpeedButton(Panel1, "SpdSiguiente", {64, 8, 23, 22}, QStringLiteral("next"), true);
    SpdUltimo = SpeedButton(Panel1, "SpdUltimo", {88, 8, 23, 22}, QStringLiteral("last"), true);
    Aumenta = SpeedButton(Panel1, "Aumenta", {136, 8, 23, 22}, QStringLiteral("zoom_in"), true);
    Disminuye = SpeedButton(Panel1, "Disminuye", {160, 8, 23, 22}, QStringLiteral("zoom_out"), true);
    Label1 = new QLabel(QStringLiteral("Página "), Panel1);
    Label1->move(192, 10);
    Label1->adjustSize();
    Edtpagina = DisplayField(Panel1, "Edtpagina", {232, 8, 41, 21});
    Label2 = new QLabel(QStringLiteral("de"), Panel1);
    Label2->move(280, 10);
    Label2->adjustSize();
    Edtnumpagina = DisplayField(Panel1, "Edtnumpagina", {304, 8, 41, 21});
    SpeedButton3 = SpeedButton(Panel1, "SpeedButton3", {384, 8, 23, 22}, QStringLiteral("fit_width"), false);
    SpeedButton4 = SpeedButton(Panel1, "SpeedButton4", {416, 8, 23, 22}, QStringLiteral("fit_page"), false);
    SpeedButton2 = SpeedButton(Panel1, "SpeedButton2", {616, 8, 67, 24}, QStringLiteral("print"), true,
                               QStringLiteral("&Imprimir"));
    SpeedButton7 = SpeedButton(Panel1, "SpeedButton7", {688, 8, 72, 23}, QStringLiteral("cross"), true,
                               QStringLiteral("&Salir"));

    QRPrev = new TQRPreview(this);
    QRPrev->setObjectName(QStringLiteral("QRPrev"));
    FindBar = new TFindBar(QRPrev, this);
    layout->addWidget(Panel1);
    layout->addWidget(QRPrev, 1);
    layout->addWidget(FindBar);
    setTabOrder(QRPrev, Edtpagina);
    setTabOrder(Edtpagina, Edtnumpagina);
    QRPrev->viewport()->installEventFilter(this);

    connect(SpdPrimer, &QToolButton::clicked, this, [this] { SpdPrimerClick(); });
    connect(SpdAnterior, &QToolButton::clicked, this, [this] { SpdAnteriorClick(); });
    connect(SpdSiguiente, &QToolButton::clicked, this, [this] { SpdSiguienteClick(); });
    connect(SpdUltimo, &QToolButton::clicked, this, [this] { SpdUltimoClick(); });
    connect(Aumenta, &QToolButton::clicked, this, [this] { AumentaClick(); });
    connect(Disminuye, &QToolButton::clicked, this, [this] { DisminuyeClick(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });

    // Keyboard conveniences; each runs the same handler as its button.
    auto key = [this](QKeySequence seq, void (TFrmVisualizar::*handler)()) {
        auto* s = new QShortcut(seq, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, [this, handler] { (this->*handler)(); });
    };
    key(QKeySequence(Qt::Key_PageUp), &TFrmVisualizar::SpdAnteriorClick);
    key(QKeySequence(Qt::Key_PageDown), &TFrmVisualizar::SpdSiguienteClick);
    key(QKeySequence(Qt::Key_Home), &TFrmVisualizar::SpdPrimerClick);
    key(QKeySequence(Qt::Key_End), &TFrmVisualizar::SpdUltimoClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_Plus), &TFrmVisualizar::ZoomInAtCentre);
    key(QKeySequence(Qt::CTRL | Qt::Key_Equal), &TFrmVisualizar::ZoomInAtCentre);
    key(QKeySequence(Qt::CTRL | Qt::Key_Minus), &TFrmVisualizar::ZoomOutAtCentre);
    key(QKeySequence(Qt::CTRL | Qt::Key_P), &TFrmVisualizar::SpeedButton2Click);
    key(QKeySequence(Qt::CTRL | Qt::Key_G), &TFrmVisualizar::GoToPageClick);
    auto findKey = [this](QKeySequence seq, auto action) {
        auto* s = new QShortcut(seq, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, FindBar, action);
    };
    findKey(QKeySequence::Find, [this] { FindBar->Open(); });
    findKey(QKeySequence(Qt::Key_F3), [this] { FindBar->FindNext(); });
    findKey(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindBar->FindPrevious(); });
    findKey(QKeySequence(Qt::Key_Escape), [this] { FindBar->Escape(); });
    findKey(QKeySequence::Copy, [this] { FindBar->CopySelection(); });
    findKey(QKeySequence::SelectAll, [this] { FindBar->SelectPage(); });
    // The page field follows a match on another page.
    connect(FindBar, &TFindBar::PageShown, this, [this] {
        SpdPrimer->setEnabled(true);
        SpdUltimo->setEnabled(true);
        WritePageNumber();
    });

    PageAsker = [this](int current, int total) -> std::optional<int> {
        bool ok = false;
        const int page = QInputDialog::getInt(this, QStringLiteral("Ir a la página"),
                                              QStringLiteral("Página:"), current, 1,
                                              std::max(1, total), 1, &ok);
        if (!ok)
            return std::nullopt;
        return page;
    };
    // The window follows the shared printer: a report cleared or loaded while it is
    // shown brings its page and counters up to date.
    QRPrev->OnReportChanged = [this](QObject*) {
        RefreshNavigation();
        WritePageCount();
    };
    FormCreate();
}

TFrmVisualizar::~TFrmVisualizar() = default;

void TFrmVisualizar::FormCreate()
{
    WritePageNumber();
}

void TFrmVisualizar::WritePageNumber()
{
    Edtpagina->setText(QString::number(QRPrev->PageNumber()));
}

int TFrmVisualizar::PagesHeld() const
{
    const TQRPrinter* source = QRPrev->ReportSource();
    // A cleared printer keeps its last page total, but holds no page.
    return source && source->State() != rsReady ? source->PageTotal() : 0;
}

void TFrmVisualizar::RefreshNavigation()
{
    const bool pages = PagesHeld() > 0;
    if (pages)
        WritePageNumber();
    else
        Edtpagina->setText(QStringLiteral("0"));
    for (QToolButton* b : {SpdPrimer, SpdAnterior, SpdSiguiente, SpdUltimo})
        b->setEnabled(pages);
}

void TFrmVisualizar::WritePageCount()
{
    Edtnumpagina->setText(QString::number(PagesHeld()));
}

void TFrmVisualizar::ShowAndFront()
{
    if (!shownOnce_) {
        normalGeometry_ = geometry();
        showMaximized();
    } else if (!isVisible() && (windowState() & Qt::WindowMaximized)) {
        // Shown again, the window is made anew, and the window manager would take the
        // maximized size as the one to restore: it gets its normal size first.
        setWindowState(windowState() & ~Qt::WindowMaximized);
        setGeometry(normalGeometry_);
        showMaximized();
    } else {
        show();
    }
    raise();
}

void TFrmVisualizar::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!e->spontaneous()) {
        shownOnce_ = true;
        FormShow();
    }
}

void TFrmVisualizar::FormShow()
{
    if (ParamCount() >= 1) {
        activateWindow();
        setFocus(Qt::OtherFocusReason);
    }
}

void TFrmVisualizar::closeEvent(QCloseEvent* e)
{
    FormClose();
    e->accept();
}

void TFrmVisualizar::FormClose()
{
    if (!(windowState() & Qt::WindowMaximized))
        normalGeometry_ = geometry();
    else if (normalGeometry().isValid())
        normalGeometry_ = normalGeometry();
    FindBar->Reset();
    QRPrev->SetReportSource(nullptr);
    hide();
}

void TFrmVisualizar::SpdPrimerClick()
{
    QRPrev->SetPageNumber(1);
    SpdPrimer->setEnabled(false);
    SpdUltimo->setEnabled(true);
    WritePageNumber();
}

void TFrmVisualizar::SpdAnteriorClick()
{
    QRPrev->SetPageNumber(QRPrev->PageNumber() - 1);
    SpdUltimo->setEnabled(true);
    WritePageNumber();
}

void TFrmVisualizar::SpdSiguienteClick()
{
    QRPrev->SetPageNumber(QRPrev->PageNumber() + 1);
    SpdPrimer->setEnabled(true);
    WritePageNumber();
}

void TFrmVisualizar::SpdUltimoClick()
{
    TQRPrinter* source = QRPrev->ReportSource();
    QRPrev->SetPageNumber(source ? source->PageTotal() : 0);
    SpdUltimo->setEnabled(false);
    SpdPrimer->setEnabled(true);
    WritePageNumber();
}

void TFrmVisualizar::AumentaClick()
{
    QRPrev->SetZoom(QRPrev->Zoom() + 10);
}

void TFrmVisualizar::DisminuyeClick()
{
    QRPrev->SetZoom(QRPrev->Zoom() - 10);
}

void TFrmVisualizar::ZoomStepAround(int step, QPoint anchor)
{
    QRPrev->ZoomAround(QRPrev->Zoom() + step, anchor);
}

void TFrmVisualizar::ZoomInAtCentre()
{
    ZoomStepAround(10, QRPrev->viewport()->rect().center());
}

void TFrmVisualizar::ZoomOutAtCentre()
{
    ZoomStepAround(-10, QRPrev->viewport()->rect().center());
}

void TFrmVisualizar::SpeedButton3Click()
{
    QRPrev->FitPageWidth();
}

void TFrmVisualizar::SpeedButton4Click()
{
    QRPrev->FitWholePage();
}

void TFrmVisualizar::SpeedButton7Click()
{
    close();
}

void TFrmVisualizar::GoToPageClick()
{
    TQRPrinter* source = QRPrev->ReportSource();
    if (!source || source->PageTotal() < 1 || !PageAsker)
        return;
    const std::optional<int> page = PageAsker(QRPrev->PageNumber(), source->PageTotal());
    if (!page)
        return;
    QRPrev->SetPageNumber(*page);
    SpdPrimer->setEnabled(true);
    SpdUltimo->setEnabled(true);
    WritePageNumber();
}

namespace {

// While a job prints, the window messages handled between its pages must not reach a
// command that would clear or reload the printer, nor start a second print: those
// commands are disabled, and the pointer shows that the program is busy.
class TPrintingBusy {
public:
    explicit TPrintingBusy(TFrmVisualizar* window) : window_(window)
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        if (FrmManRepo)
            FrmManRepo->SetReportCommandsEnabled(false);
        window_->SpeedButton2->setEnabled(false);
    }
    ~TPrintingBusy()
    {
        window_->SpeedButton2->setEnabled(true);
        if (FrmManRepo)
            FrmManRepo->SetReportCommandsEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    TPrintingBusy(const TPrintingBusy&) = delete;
    TPrintingBusy& operator=(const TPrintingBusy&) = delete;

private:
    TFrmVisualizar* window_;
};

} // namespace

void TFrmVisualizar::SpeedButton2Click()
{
    TQRPrinter* printer = QRPrev->ReportSource();
    if (printer && printer->PrintingPages())
        return;
    // The dialog lists exactly the printer object's list, read afresh now, so that the
    // entry chosen is the queue printed on.
    std::vector<std::string> names;
    if (printer) {
        printer->UpdatePrinterList();
        names = printer->DevicePrinter().Printers();
    } else {
        names = SystemPrinterNames();
    }
    TFrmImprimir* dialog = FrmImprimir;
    dialog->ComboImpresoras->clear();
    for (const std::string& name : names)
        dialog->ComboImpresoras->addItem(QString::fromStdString(name));
    // The application-wide printer is proposed, found by its name in this list.
    const QString proposed = ApplicationPrinterIndex() >= 0
                                 ? QString::fromStdString(ApplicationPrinter().DeviceName())
                                 : QString();
    dialog->ComboImpresoras->setCurrentIndex(dialog->ComboImpresoras->findText(proposed, Qt::MatchExactly));
    if (dialog->exec() != TFrmImprimir::mrOk)
        return;
    if (!printer)
        return;
    const int chosen = dialog->ComboImpresoras->currentIndex();
    const std::string chosenName = chosen >= 0 ? dialog->ComboImpresoras->itemText(chosen).toStdString() : std::string();
    // Queues may have come or gone while the dialog was open: the choice travels by name.
    printer->UpdatePrinterList();
    if (!printer->HasPrinters())
        throw EPrinterError(NoPrinterMessage());
    int index = -1;
    if (chosen >= 0) {
        const std::vector<std::string> now = printer->DevicePrinter().Printers();
        const auto it = std::find(now.begin(), now.end(), chosenName);
        if (it == now.end())
            throw EPrinterError(QueueGoneMessage(chosenName));
        index = static_cast<int>(it - now.begin());
    }
    printer->SelectPrinter(index);
    printer->SetCopies(dialog->SpCopias->value());
    if (dialog->RdgImprimirIndex() != 0) {
        printer->SetFirstPage(dialog->SpDesde->value());
        printer->SetLastPage(dialog->SpHasta->value());
    } else {
        printer->SetFirstPage(0);
        printer->SetLastPage(0);
    }
    {
        const TPrintingBusy busy(this);
        printer->PrintPages();
    }
    if (!printer->PrintNotice().empty())
        ShowNoticeBox(QString::fromStdString(printer->PrintNotice()));
}

bool TFrmVisualizar::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == QRPrev->viewport() && e->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(e);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int steps = wheel->angleDelta().y();
            if (steps != 0)
                ZoomStepAround(steps > 0 ? 10 : -10, wheel->position().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace qrp
