#include "app/ErrorBox.h"

#include "app/Globals.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStyle>
#include <algorithm>

namespace qrp {

namespace {
TErrorBoxHook& Hook()
{
    static TErrorBoxHook hook;
    return hook;
}

TErrorBoxHook& NoticeHook()
{
    static TErrorBoxHook hook;
    return hook;
}

void ShowBox(QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    // A short message would make the box narrower than its own title. The box lays
    // itself out anew whenever it is shown, so the width goes in as a spacer of its grid.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(MessageBoxWidthForTitle(box.windowTitle()), 0, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}
} // namespace

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

int MessageBoxWidthForTitle(const QString& title)
{
    // Window managers draw titles in a bold face about the size of the general font.
    QFont font = QApplication::font();
    font.setBold(true);
    const int text = QFontMetrics(font).horizontalAdvance(title);
    // The title bar's icon and its three buttons, each about a bar high, and margins.
    const int bar = std::max(QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight), 18);
    return text + 4 * bar + 2 * bar;
}

void ShowErrorBox(const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(ApplicationTitle(), text);
        return;
    }
    ShowBox(QMessageBox::Critical, text);
}

void ShowNoticeBox(const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (NoticeHook()) {
        NoticeHook()(ApplicationTitle(), text);
        return;
    }
    ShowBox(QMessageBox::Information, text);
}

TErrorBoxHook SetErrorBoxHook(TErrorBoxHook hook)
{
    TErrorBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

TErrorBoxHook SetNoticeBoxHook(TErrorBoxHook hook)
{
    TErrorBoxHook previous = std::move(NoticeHook());
    NoticeHook() = std::move(hook);
    return previous;
}

} // namespace qrp
