#include "preview/FindBar.h"

#include "preview/PageTextOverlay.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"
#include "preview/TextFinder.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>

namespace qrp {

TFindBar::TFindBar(TQRPreview* preview, QWidget* parent)
    : QWidget(parent), preview_(preview), overlay_(new TPageTextOverlay(preview->PageImage())),
      finder_(new TTextFinder(this))
{
    setObjectName(QStringLiteral("FindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->setSpacing(6);
    auto* label = new QLabel(QStringLiteral("Buscar"), this);
    Field = new QLineEdit(this);
    Field->setObjectName(QStringLiteral("FindField"));
    Field->setClearButtonEnabled(true);
    Field->setMinimumWidth(220);
    label->setBuddy(Field);
    Previous = new QToolButton(this);
    Previous->setObjectName(QStringLiteral("FindPrevious"));
    Previous->setArrowType(Qt::UpArrow);
    Previous->setToolTip(QStringLiteral("Anterior (Mayús+F3)"));
    Previous->setAutoRaise(true);
    Next = new QToolButton(this);
    Next->setObjectName(QStringLiteral("FindNext"));
    Next->setArrowType(Qt::DownArrow);
    Next->setToolTip(QStringLiteral("Siguiente (F3)"));
    Next->setAutoRaise(true);
    MatchCase = new QCheckBox(QStringLiteral("Mayúsculas y minúsculas"), this);
    MatchCase->setObjectName(QStringLiteral("FindMatchCase"));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("FindStatus"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("✕"));
    close->setToolTip(QStringLiteral("Cerrar (Esc)"));
    close->setAutoRaise(true);
    for (QWidget* w : std::initializer_list<QWidget*>{Previous, Next, MatchCase, close})
        w->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(label);
    layout->addWidget(Field);
    layout->addWidget(Previous);
    layout->addWidget(Next);
    layout->addWidget(MatchCase);
    layout->addWidget(StatusLabel, 1);
    layout->addWidget(close);
    hide();

    Field->installEventFilter(this);
    connect(Field, &QLineEdit::textEdited, this, [this] { QueryEdited(); });
    connect(MatchCase, &QCheckBox::toggled, this, [this] { QueryEdited(); });
    connect(Previous, &QToolButton::clicked, this, [this] { FindPrevious(); });
    connect(Next, &QToolButton::clicked, this, [this] { FindNext(); });
    connect(close, &QToolButton::clicked, this, [this] { Reset(); hide(); });
    connect(overlay_, &TPageTextOverlay::SelectionStarted, this, [this] {
        // Ctrl+C then copies the page's selection, not the field's.
        if (Field->hasFocus())
            preview_->setFocus(Qt::MouseFocusReason);
    });

    connect(finder_, &TTextFinder::Progress, this, [this](int page) {
        SetStatus(QStringLiteral("Buscando en la página %1 de %2…").arg(page).arg(finder_->PagesToSearch()));
    });
    connect(finder_, &TTextFinder::Found, this, [this](int page) {
        preview_->SetPageNumber(page);
        emit PageShown(preview_->PageNumber());
        overlay_->SetQuery(Field->text(), MatchCase->isChecked());
        const int count = static_cast<int>(overlay_->Matches().size());
        overlay_->SetCurrent(-1);
        ShowMatch(step_ > 0 ? 0 : count - 1);
        const bool wrapped = step_ > 0 ? page <= startPage_ : page >= startPage_;
        if (wrapped && count > 0)
            SetStatus(Status() + (step_ > 0 ? QStringLiteral(" (desde el principio)") : QStringLiteral(" (desde el final)")));
    });
    connect(finder_, &TTextFinder::NotFound, this, [this] {
        overlay_->SetCurrent(-1);
        SetStatus(QStringLiteral("No se encontró «%1»").arg(Field->text()));
    });
    connect(finder_, &TTextFinder::Cancelled, this, [this] { SetStatus(QStringLiteral("Búsqueda cancelada")); });
}

TFindBar::~TFindBar() = default;

bool TFindBar::Searching() const
{
    return finder_->Running();
}

QString TFindBar::Status() const
{
    return StatusLabel->text();
}

void TFindBar::SetStatus(const QString& text)
{
    StatusLabel->setText(text);
}

void TFindBar::Open()
{
    show();
    Field->setFocus(Qt::ShortcutFocusReason);
    Field->selectAll();
}

void TFindBar::FindNext()
{
    Find(1);
}

void TFindBar::FindPrevious()
{
    Find(-1);
}

void TFindBar::QueryEdited()
{
    finder_->Cancel();
    overlay_->SetQuery(Field->text(), MatchCase->isChecked());
    SetStatus({});
}

void TFindBar::Find(int step)
{
    if (isHidden())
        Open();
    const QString query = Field->text();
    if (query.trimmed().isEmpty())
        return;
    finder_->Cancel();
    // Matches of the shown page first: the next one after the current one.
    overlay_->SetQuery(query, MatchCase->isChecked());
    const int count = static_cast<int>(overlay_->Matches().size());
    const int current = overlay_->Current();
    TQRPrinter* source = preview_->ReportSource();
    if (current >= 0 || count > 0) {
        const int next = current < 0 ? (step > 0 ? 0 : count - 1) : current + step;
        if (next >= 0 && next < count) {
            ShowMatch(next);
            return;
        }
    }
    if (!source || source->PageTotal() < 1) {
        SetStatus(QStringLiteral("No se encontró «%1»").arg(query));
        return;
    }
    // Then the other pages, the shown one last (its matches before the current one).
    startPage_ = preview_->PageNumber();
    step_ = step;
    SetStatus(QStringLiteral("Buscando…"));
    finder_->Start(source, query, MatchCase->isChecked(), startPage_ + step, step, source->PageTotal());
}

void TFindBar::ShowMatch(int index)
{
    overlay_->SetCurrent(index);
    const int count = static_cast<int>(overlay_->Matches().size());
    if (overlay_->Current() < 0)
        return;
    // Into view, with some room around it.
    const QRectF box = overlay_->MatchOutline(index).boundingRect();
    const QPoint centre = preview_->PageImage()->mapTo(preview_->widget(), box.center().toPoint());
    preview_->ensureVisible(centre.x(), centre.y(), static_cast<int>(box.width() / 2) + 60,
                            static_cast<int>(box.height() / 2) + 60);
    SetStatus(QStringLiteral("Coincidencia %1 de %2 en la página %3").arg(index + 1).arg(count).arg(preview_->PageNumber()));
}

bool TFindBar::Escape()
{
    if (finder_->Running()) {
        finder_->Cancel();
        return true;
    }
    if (isVisible()) {
        Reset();
        hide();
        return true;
    }
    return false;
}

void TFindBar::Reset()
{
    finder_->Cancel();
    overlay_->SetQuery(QString(), false);
    overlay_->SetSelection({});
    SetStatus({});
}

bool TFindBar::CopySelection()
{
    const QString text = overlay_->SelectedText();
    if (text.isEmpty())
        return false;
    QApplication::clipboard()->setText(text);
    return true;
}

void TFindBar::SelectPage()
{
    overlay_->SetSelection(overlay_->Text().All());
}

bool TFindBar::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == Field && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            Find(k->modifiers() & Qt::ShiftModifier ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace qrp
