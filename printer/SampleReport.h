#pragma once
// A realistic sample report: a multi-page sales listing of a Spanish-speaking
// wholesaler, drawn through page production the way a report engine draws one.
#include <string>

namespace qrp {

class TQRPrinter;

struct TSampleReportOptions {
    int Pages = 3;
    bool Compress = false;
    bool Letter = false; // Letter paper instead of A4
};

// Produces the report on the printer (BeginReport .. EndReport); the printer must be
// ready and its destination rdPages.
void ProduceSampleReport(TQRPrinter& printer, const TSampleReportOptions& options);

// Produces the report and saves it to path; the file appears only once complete.
void MakeSampleReport(const std::string& path, const TSampleReportOptions& options);

} // namespace qrp
