#include "storage/PageList.h"

#include "base/Errors.h"
#include "base/OutputFile.h"
#include "emf/Metafile.h"
#include "storage/QRCompress.h"
#include "storage/ReportDate.h"
#include "storage/ReportFileInfo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace qrp {

// ---- header ----------------------------------------------------------------------

namespace {

template <typename T> T Get(const std::array<std::uint8_t, TSavedReportHeader::Size>& b, int at)
{
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}
template <typename T> void Put(std::array<std::uint8_t, TSavedReportHeader::Size>& b, int at, T v)
{
    std::memcpy(b.data() + at, &v, sizeof v);
}

// Written layout offsets.
constexpr int kLayoutVersionAt = 0;
constexpr int kWriterVersionAt = 2;
constexpr int kPagesInFileAt = 8;
constexpr int kWrittenAtAt = 16;
constexpr int kCompressedPagesAt = 25;

// Where a picture's header states the picture's length, from the picture's start.
constexpr std::int64_t kStatedLengthAt = 48;

// Where the letters "EMF" of the first page's signature stand after each layout.
constexpr std::int64_t kOlderSignatureAt = 173;
constexpr std::int64_t kSignatureAt = 177;

// The code of a compressed page, read from the report stream a chunk at a time: the
// codec takes one byte per call, and a file read per byte costs a system call each.
// The bytes are the stream's own from its position on, as the codec would read them
// directly; Consumed says how many the codec took.
class TChunkedInput : public TStream {
public:
    explicit TChunkedInput(TStream& source) : source_(source) {}

    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::int64_t done = 0;
        while (done < count) {
            if (at_ == have_) {
                if (ended_)
                    break;
                have_ = source_.Read(chunk_.data(), static_cast<std::int64_t>(chunk_.size()));
                at_ = 0;
                if (have_ <= 0) {
                    have_ = 0;
                    ended_ = true;
                    break;
                }
            }
            const std::int64_t n = std::min(count - done, have_ - at_);
            std::memcpy(out + done, chunk_.data() + at_, static_cast<std::size_t>(n));
            at_ += n;
            done += n;
            consumed_ += n;
        }
        return done;
    }
    std::int64_t Write(const void*, std::int64_t) override { throw EStreamError("Stream write error"); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override
    {
        if (offset == 0 && origin == soCurrent)
            return consumed_;
        throw EStreamError("Stream read error");
    }
    std::int64_t Consumed() const { return consumed_; }

private:
    TStream& source_;
    std::array<std::uint8_t, 65536> chunk_{};
    std::int64_t have_ = 0, at_ = 0, consumed_ = 0;
    bool ended_ = false;
};

} // namespace

std::int16_t TSavedReportHeader::LayoutVersion() const { return Get<std::int16_t>(Bytes, kLayoutVersionAt); }
std::int16_t TSavedReportHeader::WriterVersion() const { return Get<std::int16_t>(Bytes, kWriterVersionAt); }
std::int32_t TSavedReportHeader::PagesInFile() const { return Get<std::int32_t>(Bytes, kPagesInFileAt); }
double TSavedReportHeader::WrittenAt() const { return Get<double>(Bytes, kWrittenAtAt); }
std::uint8_t TSavedReportHeader::CompressedPages() const { return Bytes[kCompressedPagesAt]; }
void TSavedReportHeader::SetLayoutVersion(std::int16_t v) { Put(Bytes, kLayoutVersionAt, v); }
void TSavedReportHeader::SetWriterVersion(std::int16_t v) { Put(Bytes, kWriterVersionAt, v); }
void TSavedReportHeader::SetPagesInFile(std::int32_t v) { Put(Bytes, kPagesInFileAt, v); }
void TSavedReportHeader::SetWrittenAt(double v) { Put(Bytes, kWrittenAtAt, v); }
void TSavedReportHeader::SetCompressedPages(std::uint8_t v) { Bytes[kCompressedPagesAt] = v; }

int HeaderSizeOf(TStream& stream)
{
    const std::int64_t saved = stream.Position();
    struct Restore {
        TStream& s;
        std::int64_t pos;
        ~Restore()
        {
            try {
                s.SetPosition(pos);
            } catch (...) {
            }
        }
    } restore{stream, saved};

    char text[5] = {};
    stream.SetPosition(kOlderSignatureAt);
    stream.ReadBuffer(text, 4);
    if (std::strcmp(text, "EMF") == 0)
        return TSavedReportHeader::OlderSize;
    stream.SetPosition(kSignatureAt);
    stream.ReadBuffer(text, 4);
    return TSavedReportHeader::Size;
}

void UpgradeHeader(TStream& stream, TSavedReportHeader& header)
{
    if (HeaderSizeOf(stream) != TSavedReportHeader::OlderSize)
        return;
    auto& b = header.Bytes;
    // Back to front, so no source byte is overwritten before it has moved.
    std::memmove(b.data() + 26, b.data() + 22, 101);
    b[25] = b[21];
    b[24] = b[20];
    std::memmove(b.data() + 16, b.data() + 12, 8);
}

// ---- page list -------------------------------------------------------------------

TQRPageList::TQRPageList() : clock_(LocalNow) {}

TQRPageList::~TQRPageList() = default;

void TQRPageList::SetClock(TClock clock) { clock_ = clock ? std::move(clock) : TClock(LocalNow); }

TQRStream& TQRPageList::Stream()
{
    if (!storage_)
        throw EStreamError("Stream read error");
    return *storage_;
}

void TQRPageList::Unreachable(std::int32_t n) const
{
    throw EReportFormatError("The report's page records are damaged: page " + std::to_string(n) +
                             " cannot be found");
}

void TQRPageList::WriteHeader()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    TSavedReportHeader h;
    h.SetLayoutVersion(LayoutVersionWritten);
    h.SetWriterVersion(WriterVersionWritten);
    h.SetPagesInFile(count_);
    h.SetWrittenAt(clock_());
    h.SetCompressedPages(compressed_ ? 1 : 0);
    s.SetPosition(0);
    s.WriteBuffer(h.Bytes.data(), TSavedReportHeader::Size);
}

void TQRPageList::ReadHeader()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    s.SetPosition(0);
    const int n = HeaderSizeOf(s);
    TSavedReportHeader h;
    s.Read(h.Bytes.data(), n);
    UpgradeHeader(s, h);
    header_ = h;
    headerSize_ = n;
    count_ = h.PagesInFile();
}

void TQRPageList::OpenFile(const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    storage_.reset();
    storage_ = TQRStream::OpenExisting(path);
    ReadHeader();
    // A report saved with compressed pages says so in its header; reading it with the
    // switch off could only fail.
    compressed_ = header_.CompressedPages() == 1;
}

void TQRPageList::CopyToFile(const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    // Saving a loaded report onto its own file: the copy would be identical, and
    // truncating the file first would destroy the very bytes being copied.
    if (s.IsSameFile(path)) {
        s.Seek(0, soEnd);
        return;
    }
    // Written beside the target and renamed over it: a failed save leaves the file that
    // was there before, never a report cut short.
    TOutputFile file(path);
    s.DumpTo(file);
    file.Commit();
}

void TQRPageList::CopyToStream(TStream& target)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    Stream().DumpTo(target);
}

void TQRPageList::PositionAtFirst()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    s.SetPosition(HeaderSizeOf(s));
}

void TQRPageList::PositionAtLast()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    const std::int64_t size = s.Size();
    std::int32_t last = -1;
    if (size >= MinRecordSize) {
        s.SetPosition(size - 4);
        if (s.Read(&last, 4) != 4)
            last = -1;
    }
    if (last < 0 || last + MinRecordSize > size)
        throw EReportFormatError("The report's page records are damaged: the last page cannot be found");
    s.SetPosition(last);
}

// Walks the record links from wherever the stream stands. Every step must move in the
// walk's direction and stay inside the stream, and the walk gives up after Count + 1
// steps, so damaged links end it with an error instead of running on.
void TQRPageList::PositionAtPage(std::int32_t n)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::int32_t count = count_;
    if (n < 1 || n > count)
        return;
    if (n == 1) {
        PositionAtFirst();
        return;
    }
    if (n == count) {
        PositionAtLast();
        return;
    }
    TQRStream& s = Stream();
    const std::int64_t size = s.Size();
    std::int64_t pos = s.Position();
    if (pos == size) {
        PositionAtLast();
        pos = s.Position();
    }
    auto recordAt = [&](std::int64_t at) { return at >= 0 && at + MinRecordSize <= size; };
    // Two neighbouring values with one read: a record's PageNo and NextRecord going
    // forward, the previous record's ThisRecord and this PageNo going backward.
    std::int32_t pair[2];
    auto readPair = [&](std::int64_t at) {
        s.SetPosition(at);
        if (s.Read(pair, 8) != 8)
            Unreachable(n);
    };
    if (!recordAt(pos))
        Unreachable(n);
    readPair(pos);
    std::int32_t p = pair[0];
    const std::int64_t maxSteps = static_cast<std::int64_t>(count) + 1;
    std::int64_t steps = 0;
    if (n > p) {
        while (p != n) {
            const std::int64_t next = pair[1];
            if (next <= pos || !recordAt(next) || ++steps > maxSteps)
                Unreachable(n);
            pos = next;
            readPair(pos);
            p = pair[0];
        }
    } else if (n < p) {
        if (pos < 4)
            Unreachable(n);
        readPair(pos - 4);
        while (p != n) {
            const std::int64_t previous = pair[0];
            if (previous >= pos || previous + MinRecordSize > pos || !recordAt(previous) || previous < 4 ||
                ++steps > maxSteps)
                Unreachable(n);
            pos = previous;
            readPair(pos - 4);
            p = pair[1];
        }
    }
    s.SetPosition(pos);
}

void TQRPageList::AppendPage(const TMetafile& picture)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    // A page too large to be read back is not written.
    CheckPageSize(count_ + 1, static_cast<std::int64_t>(picture.Bytes().size()));
    const std::int32_t page = ++count_;
    if (page == 1)
        WriteHeader();

    std::int64_t recordStart = 0;
    std::int64_t linkAt = 0;
    auto beginRecord = [&] {
        recordStart = s.Seek(0, soEnd);
        s.WriteValue<std::int32_t>(page);
        linkAt = s.Position();
        s.WriteValue<std::int32_t>(static_cast<std::int32_t>(linkAt));
    };

    if (compressed_) {
        TMemoryStream image;
        picture.SaveToStream(image);
        beginRecord();
        TQRCompress codec(s, true);
        s.WriteValue<std::int32_t>(static_cast<std::int32_t>(image.DataSize()));
        const std::uint8_t* bytes = image.Memory();
        const std::int64_t length = image.DataSize();
        for (std::int64_t i = 0; i < length; ++i)
            codec.EncodeByte(bytes[i]);
        codec.Finish();
    } else {
        beginRecord();
        picture.SaveToStream(s);
    }

    s.WriteValue<std::int32_t>(static_cast<std::int32_t>(recordStart));
    const std::int64_t recordEnd = s.Position();
    s.SetPosition(linkAt);
    s.WriteValue<std::int32_t>(static_cast<std::int32_t>(recordEnd));
    s.SetPosition(recordEnd);
}

std::unique_ptr<TMetafile> TQRPageList::ReadPage(std::int32_t n)
{
    if (n < 1 || n > count_)
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TQRStream& s = Stream();
    // Each operation leaves the stream at a record start or at the end, which is where
    // the next walk starts; a failed read puts it back where it was.
    const std::int64_t startedAt = s.Position();
    try {
        PositionAtPage(n);
        const std::int64_t recordStart = s.Position();
        s.ReadValue<std::int32_t>(); // PageNo
        const std::int32_t next = s.ReadValue<std::int32_t>();
        // A record must end inside the file: one cut short is damaged even where its
        // picture happens to be whole.
        if (next < recordStart + MinRecordSize || next > s.Size())
            throw EReportFormatError("The report's page records are damaged: the link of page " +
                                     std::to_string(n) + " points outside its record");
        auto picture = std::make_unique<TMetafile>();
        if (compressed_) {
            const std::int32_t expanded = s.ReadValue<std::int32_t>();
            const std::int64_t codeStart = recordStart + 12;
            const std::int64_t codeBytes = static_cast<std::int64_t>(next) - 4 - codeStart;
            // No byte codes into less than one bit, so the code bytes bound the size.
            if (codeBytes < 0 || next > s.Size() || expanded < 0 || expanded > 8 * codeBytes)
                throw EReportFormatError("The report's page records are damaged: page " +
                                         std::to_string(n) + " has an impossible size");
            CheckPageSize(n, expanded);
            std::vector<std::uint8_t> image;
            try {
                image.resize(static_cast<std::size_t>(expanded));
            } catch (const std::bad_alloc&) {
                throw EOutOfMemory("Out of memory while expanding memory stream");
            }
            const std::int64_t codeAt = s.Position();
            {
                TChunkedInput input(s);
                TQRCompress codec(input, false);
                for (std::int32_t i = 0; i < expanded; ++i)
                    image[static_cast<std::size_t>(i)] = codec.DecodeByte();
                // Just past the code the codec took, as if it had read the stream itself.
                s.SetPosition(codeAt + input.Consumed());
            }
            picture->LoadFromBytes(std::move(image));
        } else {
            // The picture's header states its length (the check of that length against
            // the stream is the picture's own).
            const std::int64_t dataStart = s.Position();
            std::uint32_t stated = 0;
            s.SetPosition(dataStart + kStatedLengthAt);
            if (s.Read(&stated, 4) == 4 && stated <= s.Size() - dataStart)
                CheckPageSize(n, stated);
            s.SetPosition(dataStart);
            picture->LoadFromStream(s);
        }
        std::int32_t thisRecord = 0;
        s.Read(&thisRecord, 4);
        return picture;
    } catch (const EReportFormatError&) {
        RestorePosition(startedAt);
        ThrowRecordDamage();
        throw;
    } catch (const EInvalidGraphic&) {
        RestorePosition(startedAt);
        ThrowRecordDamage();
        throw;
    } catch (...) {
        RestorePosition(startedAt);
        throw;
    }
}

void TQRPageList::CheckPageSize(std::int32_t n, std::int64_t bytes)
{
    if (bytes <= MaxPageBytes)
        return;
    auto mib = [](std::int64_t b) { return std::to_string((b + (1 << 20) - 1) >> 20); };
    throw EReportFormatError("Page " + std::to_string(n) + " is too large: its picture takes " + mib(bytes) +
                             " MiB, over the limit of " + mib(MaxPageBytes) + " MiB");
}

void TQRPageList::RestorePosition(std::int64_t at)
{
    try {
        Stream().SetPosition(at);
    } catch (...) {
    }
}

// A walk or a picture that fails may only be where a damaged file shows first: a file
// cut short, say, loses its last back link before any picture. Such failures are told
// as the first fault of the records from the front, the fault the file's description
// reports, so every reader of a damaged report says the same. The stream stays where
// it was.
void TQRPageList::ThrowRecordDamage()
{
    TQRStream& s = Stream();
    const std::int64_t at = s.Position();
    std::string damage;
    try {
        ReadReportFileInfo(s);
    } catch (const EReportFormatError& e) {
        damage = e.what();
    } catch (...) {
    }
    RestorePosition(at);
    if (!damage.empty())
        throw EReportFormatError(damage);
}

} // namespace qrp
