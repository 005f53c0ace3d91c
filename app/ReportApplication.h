#pragma once
// The GUI application: its event dispatch is the one place where an error leaving any
// window handler is caught and shown in the general error box; the program goes on.
#include <QApplication>

namespace qrp {

class TReportApplication : public QApplication {
public:
    TReportApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace qrp
