#pragma once
// The print options dialog: printer, all pages or a page range, and copies. Created
// once and reused, so its choices stay from one opening to the next.
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace qrp {

class TFrmImprimir : public QDialog {
    Q_OBJECT
public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TFrmImprimir(QWidget* parent = nullptr);
    ~TFrmImprimir() override;

    // The chosen item of RdgImprimir: 0 "Todas", 1 "Páginas".
    int RdgImprimirIndex() const;
    void SetRdgImprimirIndex(int index);

    void RdgImprimirClick();
    void SpeedButton1Click();  // "&Aceptar"
    void SpeedButton2Click();  // "&Cancelar"

    // Closing by the title bar ends the run with Cancel.
    void reject() override;

    QLabel* Label1 = nullptr;
    QComboBox* ComboImpresoras = nullptr;
    QGroupBox* RdgImprimir = nullptr;
    QRadioButton* RdgTodas = nullptr;
    QRadioButton* RdgPaginas = nullptr;
    QLabel* StaticText1 = nullptr;
    QSpinBox* SpDesde = nullptr;
    QLabel* StaticText2 = nullptr;
    QSpinBox* SpHasta = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QSpinBox* SpCopias = nullptr;
    QLabel* Image1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

} // namespace qrp
