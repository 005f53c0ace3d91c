#include "app/FrmDirectorio.h"

#include "app/FormFont.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QItemSelectionModel>

namespace qrp {

TFrmDirectorio::TFrmDirectorio(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmDirectorio"));
    setWindowTitle(QStringLiteral("Seleccionar Carpeta de Trabajo"));
    setFont(FormFont());
    resize(320, 360);

    auto* layout = new QVBoxLayout(this);
    path_ = new QLineEdit(QDir::currentPath(), this);
    path_->setReadOnly(true);
    // The tree is filled the first time the dialog is shown, so creating it costs nothing.
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    tree_ = new QTreeView(this);
    tree_->setHeaderHidden(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&Aceptar"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancelar"), QDialogButtonBox::RejectRole);
    layout->addWidget(path_);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TFrmDirectorio::~TFrmDirectorio() = default;

void TFrmDirectorio::showEvent(QShowEvent* e)
{
    if (!tree_->model()) {
        model_->setRootPath(QDir::rootPath());
        tree_->setModel(model_);
        tree_->setColumnHidden(1, true);
        tree_->setColumnHidden(2, true);
        tree_->setColumnHidden(3, true);
        tree_->setCurrentIndex(model_->index(path_->text()));
        connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& index) { path_->setText(model_->filePath(index)); });
    }
    QDialog::showEvent(e);
}

QString TFrmDirectorio::Folder() const
{
    return path_->text();
}


} // namespace qrp
