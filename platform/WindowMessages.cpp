#include "WindowMessages.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

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
    // Posted events count as messages too: deliver them first, and only block on
    // the dispatcher when nothing at all is waiting.
    QCoreApplication::sendPostedEvents();
    auto* dispatcher = QThread::currentThread()->eventDispatcher();
    if (dispatcher)
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
}

bool ApplicationTerminating()
{
    return QCoreApplication::closingDown() || QCoreApplication::instance() == nullptr;
}

} // namespace qrp
