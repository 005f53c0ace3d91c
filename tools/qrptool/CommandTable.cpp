// Every qrptool command: its name, synopsis and help, and which part of the program
// runs it. "qrptool --help" and "qrptool COMMAND --help" answer from here, so help
// never loads a module.
#include "Command.h"

namespace qrptool {

namespace {

// Said in the help of every command that takes page numbers.
#define QRP_PAGE_RULE                                                                       \
    "A page number outside the report, or a range that runs backwards, fails the command\n" \
    "before it writes anything.\n"

// Said in the help of every command that writes files.
#define QRP_WRITTEN_LINE                                                                         \
    "Each file written is named on standard output once it is complete, one line per file:\n"    \
    "\"PATH: what it holds\". A file is written as .NAME.partial-XXXXXX beside its target and\n" \
    "renamed when whole; a failure or SIGINT, SIGTERM or SIGHUP removes it. An output that\n"    \
    "is the same file as an input is refused.\n"

const std::vector<TCommandInfo> kCommands = {
    {"emf-dump", "emf-dump IN.emf",
     "Lists the records of an enhanced metafile, one a line: index, type name, size and the\n"
     "fields that matter.",
     TPart::Plain},
    {"emf-render", "emf-render IN.emf -o OUT.png [--dpi N | --width W --height H]",
     "Plays an enhanced metafile onto a white image: at its natural size (its frame) at N\n"
     "dots per inch (96 by default), or stretched to W x H pixels; writes a PNG.\n" QRP_WRITTEN_LINE,
     TPart::Drawing},
    {"export-pdf", "export-pdf FILE -o OUT.pdf [--from N] [--to N] [--pdfa] | FILE... -d OUTDIR [-j JOBS] [--pdfa]",
     "Writes the report's pages into a PDF file, each page on a PDF page of the report's\n"
     "paper size and orientation, its text as text with the fonts embedded. The output\n"
     "appears only once it is complete. The document information gives the report's\n"
     "name as title, the date the report was written as creation date, and the program\n"
     "as creator and producer; each page is labelled \"Página N\" with its number in the\n"
     "report.\n"
     "With -d, each report becomes OUTDIR/NAME.pdf; reports are converted JOBS at a time\n"
     "(default: one per processor), a progress bar shows on a terminal, a report that\n"
     "fails leaves no file and does not stop the others, and a line per report (the PDF\n"
     "written, or FAILED and why) and a total close the run (status 1 when any report\n"
     "failed).\n" QRP_WRITTEN_LINE QRP_PAGE_RULE "\n"
     "  --from N, --to N   page range (default: all pages)\n"
     "  --pdfa             an archival PDF (PDF/A-1b), the information also as XMP metadata\n"
     "  -d OUTDIR          folder for the PDFs of one or more reports (made when missing)\n"
     "  -j JOBS            conversions at a time with -d",
     TPart::Printing},
    {"export-png", "export-png FILE [--pages A-B] [--dpi N] -d OUTDIR",
     "Draws each page of the saved report FILE on white and writes it as a PNG image,\n"
     "OUTDIR/NAME-PAGE.png (the page number padded to the width of the page count).\n"
     "All the images are written or none: a failure or an interruption leaves none of them.\n" QRP_WRITTEN_LINE
         QRP_PAGE_RULE "\n"
     "  --pages A-B  pages A to B (or one page N); all pages by default\n"
     "  --dpi N      resolution in pixels per inch, 1..1200, default 96\n"
     "  -d OUTDIR    the folder for the images (made when missing)",
     TPart::Drawing},
    {"extract", "extract FILE PAGE -o OUT.emf",
     "Writes the EMF image of page PAGE (1-based) of the saved report FILE to OUT.emf,\n"
     "byte for byte as stored (expanded when the report's pages are compressed). The\n"
     "report is only read; OUT.emf appears only when it is complete.\n" QRP_WRITTEN_LINE QRP_PAGE_RULE,
     TPart::Plain},
    {"grep", "grep PATTERN FILE... [-i] [-E] [--json] [-j JOBS]",
     "Prints the lines of text of the reports' pages that hold PATTERN, as FILE:PAGE: LINE,\n"
     "in the order of the files and pages. The lines are those of 'qrptool text'. PATTERN\n"
     "is a plain string unless -E makes it a regular expression (Perl syntax). Files that\n"
     "cannot be read, or that end at a damaged page, are reported on standard error and the\n"
     "others are searched all the same. A progress bar shows on a terminal.\n"
     "Status: 0 when a line matched, 1 when none did, 2 on any error.\n\n"
     "  -i        ignore case\n"
     "  -E        PATTERN is a regular expression\n"
     "  -e PAT    PATTERN given as an option (for one that begins with '-')\n"
     "  --json    one JSON object: matches (file, page, line, text and the character\n"
     "            ranges [start, end] of each occurrence) and errors (file, message)\n"
     "  -j JOBS   threads reading pages (default: one per processor)",
     TPart::Search},
    {"info", "info FILE [--json]",
     "Describes the saved report FILE: its header layout (124 or 128 bytes), PagesInFile,\n"
     "whether its pages are compressed, WrittenAt as a local date and time, and for every\n"
     "page record its offset, the bytes stored in it (the code bytes when compressed), the\n"
     "length of its EMF image and the image's frame in 0.01 mm. The file is only read.\n\n"
     "  --json   print one JSON object with the keys header_size, pages_in_file,\n"
     "           compressed, written_at and pages (page, offset, data_length,\n"
     "           emf_length, frame)",
     TPart::Plain},
    {"make", "make OUT.qrp [--compress] EMF...",
     "Writes the saved report OUT.qrp with one page per EMF file, in the order given,\n"
     "through the same path report production takes. The EMF files are only read;\n"
     "OUT.qrp appears only when it is complete.\n" QRP_WRITTEN_LINE "\n"
     "  --compress   store the pages compressed",
     TPart::Plain},
    {"make-sample", "make-sample OUT.qrp [--pages N] [--compress] [--letter]",
     "Writes a sample report: a sales listing of several pages with a title block and logo,\n"
     "a ruled table with right-aligned amounts, totals and \"Pagina n de N\" footers.\n"
     "OUT.qrp appears only when it is complete.\n" QRP_WRITTEN_LINE "\n"
     "  --pages N    number of pages (default 3)\n"
     "  --compress   store the pages compressed\n"
     "  --letter     Letter paper instead of A4",
     TPart::Printing},
    {"print", "print FILE [--printer NAME] [--from N] [--to N] [--copies N]",
     "Prints the report on a print queue (the default one unless --printer names another),\n"
     "on the paper and orientation detected from its first page (the queue's default paper\n"
     "when it does not offer that one), and says which pages went to which queue. A queue\n"
     "that refuses the job or is gone is an error; a stopped queue keeps the job, and a\n"
     "line on stderr says so.\n" QRP_PAGE_RULE "\n"
     "  --from N, --to N   page range (default: all pages)\n"
     "  --copies N         number of copies (default 1)",
     TPart::Printing},
    {"printers", "printers",
     "Lists the print queues in the printing system's order: each with its driver,\n"
     "resolution, default paper, sheet and printable area (tenths of a millimetre) and the\n"
     "papers it offers, by code and name. Fails (status 1) when the printing system is not\n"
     "running.",
     TPart::Printing},
    {"render", "render FILE --page N [--zoom Z] -o OUT.png",
     "Draws page N of the saved report FILE as the preview shows it - the white sheet,\n"
     "the page, the frame and the shadow - at zoom Z percent (2..2000, default 100) and\n"
     "96 pixels per inch, and writes it as a PNG image of the preview's image size.\n"
     "OUT.png appears only when it is complete.\n" QRP_WRITTEN_LINE QRP_PAGE_RULE "\n"
     "  --page N   the page to draw (1..page count)\n"
     "  --zoom Z   zoom percentage, default 100\n"
     "  -o FILE    the PNG file to write",
     TPart::Printing},
    {"text", "text FILE [--page N]",
     "Prints the text of each page of the saved report FILE in reading order: the strings\n"
     "the page draws, ordered by their baseline and then from left to right, one line of\n"
     "the page per output line, in UTF-8. Strings turned on the page make lines of their\n"
     "own, read along their own baseline. Pages are separated by a form feed.\n" QRP_PAGE_RULE "\n"
     "  --page N   only page N",
     TPart::Plain},
};

#undef QRP_PAGE_RULE
#undef QRP_WRITTEN_LINE

} // namespace

const std::vector<TCommandInfo>& CommandTable() { return kCommands; }

} // namespace qrptool
