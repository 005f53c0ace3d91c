#include "app/FrmManRepo.h"

#include "app/Assets.h"
#include "app/ErrorBox.h"
#include "app/FormFont.h"
#include "app/FrmReporte.h"
#include "app/FrmVisualizar.h"
#include "app/Globals.h"
#include "app/Shape.h"
#include "base/Errors.h"
#include "controls/xpButton.h"
#include "host/QRReport.h"
#include "platform/FileAssociation.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace qrp {

namespace {

const QString kTypeName = QStringLiteral("Archivo de Reporte Talpex-HR");

// "*.qrp" in every mix of letter case, for dialogs that compare names exactly.
QString AnyCaseReportPatterns()
{
    QStringList patterns;
    for (int mask = 7; mask >= 0; --mask) {
        QString p = QStringLiteral("*.");
        const QString letters = QStringLiteral("qrp");
        for (int i = 0; i < 3; ++i)
            p += (mask & (4 >> i)) ? letters.at(i).toUpper() : letters.at(i);
        patterns << p;
    }
    return patterns.join(QLatin1Char(' '));
}

bool IsReportFileName(const QString& name)
{
    return name.endsWith(QStringLiteral(".qrp"), Qt::CaseInsensitive);
}

TxpButton* CommandButton(QWidget* parent, const char* name, int left, const QString& caption,
                         const QString& glyph)
{
    auto* b = new TxpButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, 262, 75, 25);
    b->SetCaption(caption);
    b->SetFont(FormFont(), QColor(0, 0, 0));
    b->SetGlyph(GlyphStrip(glyph));
    b->SetNumGlyph(2);
    return b;
}

} // namespace

TFrmManRepo::TFrmManRepo(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FrmManRepo"));
    setWindowTitle(QStringLiteral("GESTION GENERAL - Reportes"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    setFont(FormFont());
    setFixedSize(418, 296);
    setAcceptDrops(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(418 / 2, 296 / 2));
    }
    listFolder_ = QDir::currentPath();

    const QColor face = palette().color(QPalette::Button);
    Shape2 = new TShape(this, face, QColor(128, 128, 128));
    Shape2->setGeometry(5, 3, 172, 54);
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(6, 4, 170, 52);
    Image2->setPixmap(LogoPixmap());
    Image2->setToolTip(QStringLiteral("Acerca de Talpex"));
    Shape1 = new TShape(this, face, QColor(128, 128, 128));
    Shape1->setGeometry(176, 3, 237, 54);
    Label3 = new QLabel(QStringLiteral("Visualizar Reportes"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(182, 14, 222, 29);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    titleFont.setBold(true);
    titleFont.setPixelSize(24);
    Label3->setFont(titleFont);
    QPalette titlePalette = Label3->palette();
    titlePalette.setColor(QPalette::WindowText, palette().color(QPalette::Active, QPalette::Highlight));
    Label3->setPalette(titlePalette);

    ListaArchivos = new QListWidget(this);
    ListaArchivos->setObjectName(QStringLiteral("ListaArchivos"));
    ListaArchivos->setGeometry(5, 62, 408, 169);
    ListaArchivos->setSelectionMode(QAbstractItemView::SingleSelection);
    EdtArcReporte = new QLineEdit(this);
    EdtArcReporte->setObjectName(QStringLiteral("EdtArcReporte"));
    EdtArcReporte->setGeometry(5, 234, 408, 21);

    xpButton1 = CommandButton(this, "xpButton1", 62, QStringLiteral("&Abrir"), QStringLiteral("open"));
    xpButton2 = CommandButton(this, "xpButton2", 174, QStringLiteral("&Reporte"), QStringLiteral("zoom_in"));
    xpButton3 = CommandButton(this, "xpButton3", 286, QStringLiteral("&Salir"), QStringLiteral("cross"));

    setTabOrder(EdtArcReporte, ListaArchivos);
    setTabOrder(ListaArchivos, xpButton1);
    setTabOrder(xpButton1, xpButton2);
    setTabOrder(xpButton2, xpButton3);

    OpenDialog1 = new QFileDialog(this, QStringLiteral("Archivos de Reporte Talpex"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setOption(QFileDialog::HideNameFilterDetails);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setNameFilter(QStringLiteral("Archivos Reporte (.Qrp) (%1)").arg(AnyCaseReportPatterns()));
    OpenDialog1->setSizeGripEnabled(true);
    OpenDialog1->setDirectory(listFolder_);

    connect(ListaArchivos, &QListWidget::itemSelectionChanged, this, [this] { ListaArchivosClick(); });
    xpButton1->OnClick = [this](QObject*) { xpButton1Click(); };
    xpButton2->OnClick = [this](QObject*) { xpButton2Click(); };
    xpButton3->OnClick = [this](QObject*) { xpButton3Click(); };
}

TFrmManRepo::~TFrmManRepo() = default;

void TFrmManRepo::FillFileList()
{
    QDir folder(listFolder_);
    folder.setNameFilters({QStringLiteral("*.qrp")});
    folder.setFilter(QDir::Files);
    folder.setSorting(QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QString& name : folder.entryList())
        if (IsReportFileName(name))
            names << name;
    const QSignalBlocker quiet(ListaArchivos);
    ListaArchivos->clear();
    ListaArchivos->addItems(names);
}

QString TFrmManRepo::SelectedListPath() const
{
    const QList<QListWidgetItem*> selected = ListaArchivos->selectedItems();
    if (selected.isEmpty())
        return {};
    return listFolder_ + QDir::separator() + selected.first()->text();
}

void TFrmManRepo::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (shown_ || e->spontaneous())
        return;
    shown_ = true;
    FillFileList();
    FormShow();
}

void TFrmManRepo::FormShow()
{
    // A registration that fails is told, and the report asked for opens all the same:
    // the association only serves the desktop, the report is what the user wants.
    try {
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, ParamStr(0), 0);
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromUtf8(e.what()));
    }
    if (ParamCount() >= 1 && QFileInfo(ParamStr(1)).isFile()) {
        const QString path = ParamStr(1);
        EdtArcReporte->setText(path);
        OpenReport(path);
        FrmReporte->QRReporte20->OnPreview = [](QObject* sender) { FrmReporte->QRReporte20Preview(sender); };
        FrmReporte->QRReporte20->GenerateAndPreview();
        FrmReporte->ShowPageCount();
        previewToFront_ = FrmVisualizar->isVisible();
        FrmVisualizar->installEventFilter(this);
    }
}

void TFrmManRepo::paintEvent(QPaintEvent* e)
{
    QWidget::paintEvent(e);
    FormPaint();
}

void TFrmManRepo::FormPaint()
{
    if (previewToFront_ && ParamCount() >= 1 && FrmVisualizar && FrmVisualizar->isVisible()) {
        // After the paint: moving the focus from inside a paint would repaint re-entrantly.
        QTimer::singleShot(0, this, [this] {
            if (!previewToFront_ || !FrmVisualizar->isVisible())
                return;
            if (FrmVisualizar->isActiveWindow()) {
                previewToFront_ = false;
                return;
            }
            handedOver_ = true;
            FrmVisualizar->raise();
            FrmVisualizar->activateWindow();
            FrmVisualizar->setFocus(Qt::OtherFocusReason);
        });
    }
}

bool TFrmManRepo::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == FrmVisualizar && e->type() == QEvent::WindowActivate && handedOver_)
        previewToFront_ = false;
    return QWidget::eventFilter(watched, e);
}

void TFrmManRepo::SetReportCommandsEnabled(bool enabled)
{
    ListaArchivos->setEnabled(enabled);
    xpButton1->setEnabled(enabled);
    xpButton2->setEnabled(enabled);
    setAcceptDrops(enabled);
}

void TFrmManRepo::OpenReport(const QString& Path)
{
    try {
        SharedQRPrinter->ClearReport();
        SharedQRPrinter->LoadReport(QFile::encodeName(Path).toStdString());
        FrmReporte->QRReporte20->GeneratePages();
    } catch (const std::exception& e) {
        EdtArcReporte->clear();
        throw EError(LoadErrorPrefix().toStdString() + e.what());
    }
}

void TFrmManRepo::OpenChosenPath(const QString& path)
{
    // A report being printed is read page by page until its job is handed over.
    if (SharedQRPrinter->PrintingPages())
        return;
    EdtArcReporte->setText(path);
    OpenReport(EdtArcReporte->text());
}

void TFrmManRepo::ListaArchivosClick()
{
    const QString path = SelectedListPath();
    if (!path.isEmpty())
        OpenChosenPath(path);
}

void TFrmManRepo::xpButton1Click()
{
    // The name field proposes exactly the file last chosen, whatever it holds now.
    if (!lastChosen_.isEmpty())
        OpenDialog1->selectFile(lastChosen_);
    const int result = OpenDialog1->exec();
    // A completion list the dialog opened may outlive it; left open, it would take the
    // next keystroke meant for this window into the hidden dialog's name field.
    for (int guard = 0; guard < 8; ++guard) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->close();
    }
    if (result != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog1->selectedFiles();
    if (files.isEmpty())
        return;
    lastChosen_ = files.first();
    OpenChosenPath(QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
}

void TFrmManRepo::xpButton2Click()
{
    if (SharedQRPrinter->PrintingPages())
        return;
    FrmReporte->QRReporte20->OnPreview = [](QObject* sender) { FrmReporte->QRReporte20Preview(sender); };
    FrmReporte->QRReporte20->GenerateAndPreview();
    FrmReporte->ShowPageCount();
}

void TFrmManRepo::xpButton3Click()
{
    close();
}

void TFrmManRepo::closeEvent(QCloseEvent* e)
{
    e->accept();
    QCoreApplication::quit();
}

void TFrmManRepo::dragEnterEvent(QDragEnterEvent* e)
{
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile() && IsReportFileName(url.toLocalFile())) {
            e->acceptProposedAction();
            return;
        }
}

void TFrmManRepo::dropEvent(QDropEvent* e)
{
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile() && IsReportFileName(url.toLocalFile())) {
            e->acceptProposedAction();
            OpenChosenPath(QDir::toNativeSeparators(url.toLocalFile()));
            return;
        }
}

} // namespace qrp
