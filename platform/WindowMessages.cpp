#include "WindowMessages.h"

#include <QCoreApplication>

namespace qrp {

QEvent::Type TWindowMessage::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostWindowMessage(QObject* window, int msg, std::intptr_t wParam, std::intptr_t lParam)
{
    if (window)
        QCoreApplication::postEvent(window, new TWindowMessage(msg, wParam, lParam));
}

bool SendWindowMessage(QObject* window, int msg, std::intptr_t wParam, std::intptr_t lParam)
{
    if (!window)
        return false;
    TWindowMessage message(msg, wParam, lParam);
    return QCoreApplication::sendEvent(window, &message);
}

void ProcessPendingMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void HandleOneMessage()
{
    if (!QCoreApplication::instance())
        return;
    // Handles what is queued (posted events included); blocks only while nothing is.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool ApplicationTerminating()
{
    return QCoreApplication::closingDown() || QCoreApplication::instance() == nullptr;
}

} // namespace qrp
