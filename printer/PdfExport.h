#pragma once
// Writing a held report as a PDF file: each page on a PDF page of the report's paper
// size and orientation.
#include <memory>
#include <string>

namespace qrp {

class TQRPrinter;
class TPrinterDevice;

// A device that offers every paper size a PDF page can have (one code per distinct
// size), with all fields declared: reports loaded through it get their paper detected
// the same way on every machine.
std::unique_ptr<TPrinterDevice> CreatePdfPaperDevice();

// Writes pages from..to (0: the first / the last page; the range is clamped to the
// report) into outPath and returns the number of pages written. The file appears
// only once complete (base/OutputFile.h): on any failure no file (and no partial
// file) is left; a write that fails ends the export with EFWriteError naming the
// cause. A range with no page of the report fails with EError.
// The document information holds the printer's job title as title, the program as
// creator and producer and the report's WrittenAt as the date; each page is labelled
// "Página n" with its number in the report. archival: PDF/A-1b, the same information
// also as XMP metadata.
int ExportReportToPdf(TQRPrinter& printer, const std::string& outPath, int from = 0, int to = 0,
                      bool archival = false);

} // namespace qrp
