#pragma once
// The program's windows on a real desktop (an X server with a window manager, started
// by tests/support/desktop-session.sh) driven by real input: xdotool moves the pointer,
// clicks and types through the X server, so every event passes the window manager and
// Qt's X11 input handling as a user's would.
#include "AppTestSupport.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <functional>

namespace qrp::desktoptest {

using namespace qrp::apptest;

// Runs xdotool with the arguments and waits for it; false when it fails.
inline bool Xdo(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    const bool ok = p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "xdotool " << args.join(QLatin1Char(' ')).toStdString() << ": "
                      << p.readAllStandardError().toStdString();
    }
    return ok;
}

// Lets the program handle what arrived for `ms` milliseconds.
inline void Pump(int ms)
{
    QTest::qWait(ms);
}

// Waits (handling events) until the condition holds; false after the time limit.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// The pointer to a point of a widget, then a click of the left button.
inline bool PointerClickAt(QWidget* w, QPoint local, int clicks = 1)
{
    const QPoint g = w->mapToGlobal(local);
    return Xdo({QStringLiteral("mousemove"), QString::number(g.x()), QString::number(g.y()),
                QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(clicks), QStringLiteral("--delay"),
                QStringLiteral("80"), QStringLiteral("1")});
}

inline bool PointerClick(QWidget* w)
{
    return PointerClickAt(w, w->rect().center());
}

// Keys as xdotool names them ("alt+a", "ctrl+plus", "Down"), to the focused window.
inline bool Keys(const QStringList& keys)
{
    return Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + keys);
}

inline bool Type(const QString& text)
{
    return Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

// Asks the window manager to activate the window, as a task bar or Alt+Tab does.
inline bool ActivateByWindowManager(QWidget* w)
{
    return Xdo({QStringLiteral("windowactivate"), QString::number(w->winId())});
}

// Runs `act` once the widget is shown and active, from the event loop (so also while a
// modal dialog runs its own loop). After 10 s it gives up, fails the test and, for a
// dialog, closes it so that the suite never hangs.
inline void OnceActive(QWidget* w, std::function<void()> act)
{
    auto* timer = new QTimer;
    auto* elapsed = new QElapsedTimer;
    elapsed->start();
    QObject::connect(timer, &QTimer::timeout, [timer, elapsed, w, act] {
        const bool ready = w->isVisible() && w->isActiveWindow();
        if (!ready && elapsed->elapsed() < 10000)
            return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (ready) {
            act();
        } else {
            ADD_FAILURE() << "window " << w->objectName().toStdString() << " never became active";
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
        }
    });
    timer->start(20);
}

// The message box the program shows now, if any.
inline QMessageBox* ShownMessageBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

} // namespace qrp::desktoptest
