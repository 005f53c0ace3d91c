#pragma once
// The main window: the saved report files of the start folder, the path of the report
// last chosen, and the commands "&Abrir", "&Reporte" and "&Salir". Closing it ends the
// program.
#include <QString>
#include <QWidget>

class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;

namespace qrp {

class TShape;
class TxpButton;

class TFrmManRepo : public QWidget {
    Q_OBJECT
public:
    explicit TFrmManRepo(QWidget* parent = nullptr);
    ~TFrmManRepo() override;

    // Clears the shared printer, loads Path into it and runs the host's page
    // generation; a failure empties the path field and is raised as the load error.
    void OpenReport(const QString& Path);

    void ListaArchivosClick();
    void xpButton1Click();  // "&Abrir"
    void xpButton2Click();  // "&Reporte"
    void xpButton3Click();  // "&Salir"

    // The folder the file list shows (the current folder when the window was made).
    const QString& ListFolder() const { return listFolder_; }
    // Full path of the list's selected entry; empty when none is selected.
    QString SelectedListPath() const;

    // Enables or disables everything that opens a report (the list, "&Abrir", "&Reporte"
    // and dropped files): disabled while the shared printer prints.
    void SetReportCommandsEnabled(bool enabled);

    TShape* Shape2 = nullptr;
    QLabel* Image2 = nullptr;
    TShape* Shape1 = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* ListaArchivos = nullptr;
    QLineEdit* EdtArcReporte = nullptr;
    TxpButton* xpButton1 = nullptr;
    TxpButton* xpButton2 = nullptr;
    TxpButton* xpButton3 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FormShow();
    void FormPaint();
    void FillFileList();
    void OpenChosenPath(const QString& path);

    QString listFolder_;
    bool shown_ = false;
    // The file last chosen in the Open dialog, proposed again at its next run.
    QString lastChosen_;
    // After a command-line start the preview is brought in front of this window, which
    // the window manager shows (and activates) after it; once the preview has come to
    // the front, this window is the user's to activate like any other.
    bool previewToFront_ = false;
    bool handedOver_ = false;
};

// The text every failed opening starts with.
inline QString LoadErrorPrefix()
{
    return QStringLiteral("No Fue Posible Cargar Este Reporte.Existen Inconsistencias en el "
                          "Formato del Reporte!!");
}

} // namespace qrp
