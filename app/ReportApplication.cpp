#include "app/ReportApplication.h"

#include "app/ErrorBox.h"

#include <exception>

namespace qrp {

TReportApplication::TReportApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TReportApplication::notify(QObject* receiver, QEvent* event)
{
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unexpected error");
    }
    // Shown after the handler's frames are gone, so the box's own events run normally.
    ShowErrorBox(message);
    return true;
}

} // namespace qrp
