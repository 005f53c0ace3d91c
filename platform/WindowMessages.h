#pragma once
// Window messages between the report printer and the windows that show or host it,
// carried as Qt events. A "window" is any QObject; a receiver overrides event() (or
// customEvent()) and looks for TWindowMessage.
#include <QEvent>
#include <QObject>
#include <cstdint>

namespace qrp {

constexpr int WM_USER = 0x0400;

class TWindowMessage : public QEvent {
public:
    static QEvent::Type EventType();

    TWindowMessage(int msg, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType()), Msg(msg), WParam(wParam), LParam(lParam) {}

    int Msg;
    std::intptr_t WParam;
    std::intptr_t LParam;
};

// Queued: delivered by the event loop after the caller returns to it.
void PostWindowMessage(QObject* window, int msg, std::intptr_t wParam, std::intptr_t lParam);
// Synchronous: handled before this returns; returns whether the receiver accepted it.
bool SendWindowMessage(QObject* window, int msg, std::intptr_t wParam, std::intptr_t lParam);

// Let the GUI handle everything that is queued now (Application.ProcessMessages).
void ProcessPendingMessages();
// Handle one message, waiting for one when none is queued (Application.HandleMessage).
void HandleOneMessage();
// True once the application has been asked to quit.
bool ApplicationTerminating();

} // namespace qrp
