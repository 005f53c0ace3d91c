#pragma once
// The pages of one report as a chain of page records in a report stream, behind a
// header: the saved report file format, written and read here.
//
// File layout (little-endian, offsets absolute and signed 32-bit):
//   header (128 bytes; 124 in the older layout, read only)
//   per page: PageNo, NextRecord, [ExpandedSize when compressed], data, ThisRecord
// NextRecord is the offset just past the record; ThisRecord the record's own start,
// so the last four bytes of a file give the start of the last record.
#include "storage/QRStream.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qrp {

class TMetafile;

// The 128-byte header record, kept as its bytes in the written layout.
struct TSavedReportHeader {
    static constexpr int Size = 128;
    static constexpr int OlderSize = 124;
    std::array<std::uint8_t, Size> Bytes{};

    std::int16_t LayoutVersion() const;
    std::int16_t WriterVersion() const;
    std::int32_t PagesInFile() const;
    double WrittenAt() const;
    std::uint8_t CompressedPages() const;

    void SetLayoutVersion(std::int16_t v);
    void SetWriterVersion(std::int16_t v);
    void SetPagesInFile(std::int32_t v);
    void SetWrittenAt(double v);
    void SetCompressedPages(std::uint8_t v);
};

// 124 when the stream holds the older layout (the first page's " EMF" signature puts
// the letters "EMF" at offset 173), else 128. The stream's position is kept.
int HeaderSizeOf(TStream& stream);
// Moves the fields of a header read in the older layout to where the written
// layout has them; leaves a header of the written layout as it is.
void UpgradeHeader(TStream& stream, TSavedReportHeader& header);

class TQRPageList {
public:
    // Local date and time as days since 1899-12-30; replaceable for tests.
    using TClock = std::function<double()>;

    static constexpr std::int16_t LayoutVersionWritten = 3;
    static constexpr std::int16_t WriterVersionWritten = 309;
    // Smallest possible page record: PageNo, NextRecord and ThisRecord.
    static constexpr std::int64_t MinRecordSize = 12;
    // Largest picture a page may hold, expanded. No page of a report comes near it; a
    // page over it (a few bytes of code can claim gigabytes) is refused before any of
    // it is allocated.
    static constexpr std::int64_t MaxPageBytes = std::int64_t(64) << 20;

    TQRPageList();
    ~TQRPageList();
    TQRPageList(const TQRPageList&) = delete;
    TQRPageList& operator=(const TQRPageList&) = delete;

    void ResetCount() { count_ = 0; }
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    // Adds the picture as page Count + 1; the caller keeps the picture.
    void AppendPage(const TMetafile& picture);
    // A new picture of page n, owned by the caller; none when n is outside 1..Count.
    std::unique_ptr<TMetafile> ReadPage(std::int32_t n);
    // Writes the header again with the final page count.
    void Complete() { WriteHeader(); }

    // Every operation that moves the stream holds the list's lock, so a page being
    // read on one thread never sees the stream moved by another (the header being
    // rewritten, a copy being made). ReadPage beyond Count takes no lock.
    // Makes the saved file at path the list's stream, reads its header and takes the
    // compression switch from it.
    void OpenFile(const std::string& path);
    // Writes the whole stream, byte for byte, into a new file at path.
    void CopyToFile(const std::string& path);
    // Writes the whole stream, byte for byte, into target from its position.
    void CopyToStream(TStream& target);

    void ReadHeader();
    void WriteHeader();
    void PositionAtPage(std::int32_t n);
    void PositionAtFirst();
    void PositionAtLast();

    bool Compressed() const { return compressed_; }
    void SetCompressed(bool on) { compressed_ = on; }
    std::int32_t Count() const { return count_; }

    // The list owns its stream. SetStorage replaces (and destroys) any earlier one;
    // ReleaseStorage hands it back to the caller and leaves the list with none.
    TQRStream* Storage() const { return storage_.get(); }
    void SetStorage(std::unique_ptr<TQRStream> stream) { storage_ = std::move(stream); }
    std::unique_ptr<TQRStream> ReleaseStorage() { return std::move(storage_); }

    // The header as last read by ReadHeader (upgraded to the written layout), and the
    // layout it was read in (0 before any read).
    const TSavedReportHeader& LastHeader() const { return header_; }
    int LastHeaderSize() const { return headerSize_; }

    void SetClock(TClock clock);

private:
    TQRStream& Stream();
    [[noreturn]] void Unreachable(std::int32_t n) const;
    void RestorePosition(std::int64_t at);
    // Throws when a picture of `bytes` bytes is over MaxPageBytes.
    static void CheckPageSize(std::int32_t n, std::int64_t bytes);
    // Throws the first fault of the saved records, if they have one.
    void ThrowRecordDamage();

    std::recursive_mutex lock_;
    std::atomic<bool> compressed_{false};
    std::atomic<std::int32_t> count_{0};
    std::unique_ptr<TQRStream> storage_;
    TSavedReportHeader header_;
    int headerSize_ = 0;
    TClock clock_;
};

} // namespace qrp
