#pragma once
// The working-folder chooser "Seleccionar Carpeta de Trabajo". It is created with the
// other windows; no command of the program opens it.
#include <QDialog>

class QLineEdit;
class QTreeView;
class QFileSystemModel;

namespace qrp {

class TFrmDirectorio : public QDialog {
    Q_OBJECT
public:
    explicit TFrmDirectorio(QWidget* parent = nullptr);
    ~TFrmDirectorio() override;

    // The folder chosen in the tree (the start folder until one is chosen).
    QString Folder() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QFileSystemModel* model_ = nullptr;
    QTreeView* tree_ = nullptr;
    QLineEdit* path_ = nullptr;
};

} // namespace qrp
