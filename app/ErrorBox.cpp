#include "app/ErrorBox.h"

#include "app/Globals.h"

#include <QApplication>
#include <QMessageBox>

namespace qrp {

namespace {
TErrorBoxHook& Hook()
{
    static TErrorBoxHook hook;
    return hook;
}
} // namespace

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(ApplicationTitle(), text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

TErrorBoxHook SetErrorBoxHook(TErrorBoxHook hook)
{
    TErrorBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

} // namespace qrp
