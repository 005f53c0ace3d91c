#include "app/FrmImprimir.h"

#include "app/Assets.h"
#include "app/FormFont.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

namespace qrp {

namespace {

// The tooltip colours while the field is usable; a disabled field keeps the disabled
// colours, so that it looks disabled.
void ToolTipColoured(QWidget* w)
{
    QPalette pal = w->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, pal.color(group, QPalette::ToolTipBase));
        pal.setColor(group, QPalette::Text, pal.color(group, QPalette::ToolTipText));
    }
    w->setPalette(pal);
}

QSpinBox* SpinEdit(QWidget* parent, const char* name, QRect place, int max)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setGeometry(place);
    s->setRange(0, max);
    s->setValue(1);
    ToolTipColoured(s);
    return s;
}

QLabel* TextAt(QWidget* parent, const QString& text, QPoint at)
{
    auto* l = new QLabel(text, parent);
    l->move(at);
    l->adjustSize();
    return l;
}

} // namespace

TFrmImprimir::TFrmImprimir(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmImprimir"));
    setWindowTitle(QStringLiteral("Imprimir"));
    setFont(FormFont());
    setWindowIcon(ProgramIcon());
    // Outer size 437 x 177 with the frame; placed where designed, not centred.
    resize(429, 150);
    move(269, 243);

    Label1 = TextAt(this, QStringLiteral("Impresoras"), {8, 0});
    ComboImpresoras = new QComboBox(this);
    ComboImpresoras->setObjectName(QStringLiteral("ComboImpresoras"));
    ComboImpresoras->setEditable(true);
    ComboImpresoras->setInsertPolicy(QComboBox::NoInsert);
    ComboImpresoras->setGeometry(8, 16, 265, 21);
    ToolTipColoured(ComboImpresoras);

    RdgImprimir = new QGroupBox(QStringLiteral(" Páginas a Imprimir "), this);
    RdgImprimir->setObjectName(QStringLiteral("RdgImprimir"));
    RdgImprimir->setGeometry(8, 48, 241, 57);
    RdgTodas = new QRadioButton(QStringLiteral("Todas"), RdgImprimir);
    RdgTodas->setGeometry(8, 15, 70, 17);
    RdgPaginas = new QRadioButton(QStringLiteral("Páginas"), RdgImprimir);
    RdgPaginas->setGeometry(8, 35, 66, 17);
    RdgTodas->setChecked(true);

    // The range fields sit on the line of the "Páginas" item.
    StaticText1 = TextAt(this, QStringLiteral("De la"), {80, 84});
    SpDesde = SpinEdit(this, "SpDesde", {112, 80, 49, 22}, 10000);
    StaticText2 = TextAt(this, QStringLiteral("A la"), {168, 84});
    SpHasta = SpinEdit(this, "SpHasta", {192, 80, 49, 22}, 10000);
    SpDesde->setEnabled(false);
    SpHasta->setEnabled(false);

    GroupBox1 = new QGroupBox(QStringLiteral(" Copias "), this);
    GroupBox1->setGeometry(256, 48, 65, 57);
    SpCopias = SpinEdit(GroupBox1, "SpCopias", {8, 24, 49, 22}, 5);

    Image1 = new QLabel(this);
    Image1->setGeometry(320, 0, 105, 105);
    Image1->setPixmap(PrintDialogPixmap());

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("&Aceptar"));
    SpeedButton1->setGeometry(96, 112, 89, 22);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setText(QStringLiteral("&Cancelar"));
    SpeedButton2->setGeometry(200, 112, 97, 22);
    SpeedButton2->setFocusPolicy(Qt::NoFocus);

    setTabOrder(ComboImpresoras, RdgTodas);
    setTabOrder(RdgTodas, RdgPaginas);
    setTabOrder(RdgPaginas, SpDesde);
    setTabOrder(SpDesde, SpHasta);
    setTabOrder(SpHasta, SpCopias);

    connect(RdgTodas, &QRadioButton::toggled, this, [this] { RdgImprimirClick(); });
    connect(RdgPaginas, &QRadioButton::toggled, this, [this] { RdgImprimirClick(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
}

TFrmImprimir::~TFrmImprimir() = default;

int TFrmImprimir::RdgImprimirIndex() const
{
    return RdgPaginas->isChecked() ? 1 : 0;
}

void TFrmImprimir::SetRdgImprimirIndex(int index)
{
    (index == 0 ? RdgTodas : RdgPaginas)->setChecked(true);
}

void TFrmImprimir::RdgImprimirClick()
{
    const bool range = RdgImprimirIndex() != 0;
    SpDesde->setEnabled(range);
    SpHasta->setEnabled(range);
}

void TFrmImprimir::SpeedButton1Click()
{
    done(mrOk);
}

void TFrmImprimir::SpeedButton2Click()
{
    done(mrCancel);
}

void TFrmImprimir::reject()
{
    done(mrCancel);
}

void TFrmImprimir::keyPressEvent(QKeyEvent* e)
{
    // No default and no cancel button: Enter and Escape do nothing here.
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

} // namespace qrp
