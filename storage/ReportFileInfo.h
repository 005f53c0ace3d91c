#pragma once
// A read-only look at a saved report's structure: its header and, record by record,
// where each page lies and how long it is. Follows the forward links from the first
// record with the same bounds as the page list's walks.
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <cstdint>
#include <vector>

namespace qrp {

struct TPageRecordInfo {
    std::int32_t PageNo = 0;
    std::int64_t Offset = 0;      // start of the record
    std::int32_t NextRecord = 0;
    std::int64_t DataLength = 0;  // bytes stored in the record (code bytes when compressed)
    std::int32_t ExpandedSize = -1; // compressed files only
    bool EmfValid = false;        // the page data begins with a valid EMF header
    TEmfHeaderInfo Emf;
};

struct TReportFileInfo {
    int HeaderSize = 0; // 124 or 128
    TSavedReportHeader Header; // in the written layout
    bool Compressed = false;
    std::int64_t FileSize = 0;
    std::vector<TPageRecordInfo> Pages;
};

// Reads the header and every page record of the saved report held by stream.
// Fails with EReportFormatError when the records cannot be followed.
TReportFileInfo ReadReportFileInfo(TStream& stream);

} // namespace qrp
