#include "storage/ReportFileInfo.h"

#include "base/Errors.h"
#include "storage/QRCompress.h"

#include <string>

namespace qrp {

namespace {

[[noreturn]] void Damaged(const std::string& what)
{
    throw EReportFormatError("The report's page records are damaged: " + what);
}

} // namespace

TReportFileInfo ReadReportFileInfo(TStream& stream)
{
    TReportFileInfo info;
    info.FileSize = stream.Size();
    stream.SetPosition(0);
    info.HeaderSize = HeaderSizeOf(stream);
    stream.SetPosition(0);
    stream.Read(info.Header.Bytes.data(), info.HeaderSize);
    UpgradeHeader(stream, info.Header);
    info.Compressed = info.Header.CompressedPages() == 1;

    const std::int32_t pages = info.Header.PagesInFile();
    const std::int64_t size = info.FileSize;
    const std::int64_t minRecord = TQRPageList::MinRecordSize + (info.Compressed ? 4 : 0);
    std::int64_t pos = info.HeaderSize;
    for (std::int32_t i = 1; i <= pages; ++i) {
        if (pos + minRecord > size)
            Damaged("page " + std::to_string(i) + " lies beyond the end of the file");
        TPageRecordInfo r;
        r.Offset = pos;
        stream.SetPosition(pos);
        r.PageNo = stream.ReadValue<std::int32_t>();
        r.NextRecord = stream.ReadValue<std::int32_t>();
        if (r.NextRecord < pos + minRecord || r.NextRecord > size)
            Damaged("the link of page " + std::to_string(i) + " points outside its record");
        if (info.Compressed)
            r.ExpandedSize = stream.ReadValue<std::int32_t>();
        const std::int64_t dataStart = stream.Position();
        r.DataLength = r.NextRecord - 4 - dataStart;

        // The EMF header: read in place, or expanded from the start of the code.
        std::uint8_t head[88];
        std::int64_t have = 0;
        if (info.Compressed) {
            if (r.ExpandedSize >= 88 && r.ExpandedSize <= 8 * r.DataLength) {
                TQRCompress codec(stream, false);
                for (auto& b : head)
                    b = codec.DecodeByte();
                have = 88;
            }
        } else if (r.DataLength >= 88) {
            have = stream.Read(head, 88);
        }
        if (have == 88) {
            // The image's stated length must fit in what the record holds.
            const std::int64_t room = info.Compressed ? r.ExpandedSize : r.DataLength;
            TEmfHeaderInfo h;
            if (TMetafile::ParseHeaderRecord(head, sizeof head, h) && h.Bytes <= room) {
                r.EmfValid = true;
                r.Emf = h;
            }
        }
        info.Pages.push_back(r);
        pos = r.NextRecord;
    }
    return info;
}

} // namespace qrp
