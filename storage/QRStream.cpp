#include "storage/QRStream.h"

#include "base/Errors.h"
#include "base/Interruption.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrp {

std::string NewSpillFileName()
{
    std::string dir;
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0')
        dir = t;
    else
        dir = "/tmp";
    if (dir.back() != '/')
        dir += '/';
    std::string path = dir + "QRPXXXXXX";
    std::vector<char> buf(path.begin(), path.end());
    buf.push_back('\0');
    // Created and registered in one stretch: an interruption removes it with the rest
    // of what the program was writing.
    TSignalsBlocked blocked;
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0)
        throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno));
    ::close(fd);
    RemoveOnInterruption(buf.data());
    return std::string(buf.data());
}

namespace {

// A full temporary folder is named as such, with its cause, not as a bare stream error.
[[noreturn]] void ThrowSpillWriteError(const std::string& path)
{
    throw EFWriteError("Cannot write file \"" + path + "\". " + std::strerror(errno != 0 ? errno : ENOSPC));
}

} // namespace

void RemoveSpillFile(const std::string& path)
{
    TSignalsBlocked blocked;
    ::unlink(path.c_str());
    KeepOnInterruption(path);
}

TQRStream::TQRStream(std::int32_t residentLimit)
    : memoryPart_(std::make_unique<TMemoryStream>()), resident_(true), residentLimit_(residentLimit)
{
}

std::unique_ptr<TQRStream> TQRStream::OpenExisting(const std::string& path)
{
    auto file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenReadShared);
    // Offsets inside a saved report are signed 32-bit; a larger file cannot be one.
    const std::int64_t size = file->Seek(0, soEnd);
    file->Seek(0, soBeginning);
    if (size > MaxSize)
        throw EReportFormatError("Cannot open file \"" + file->FileName() +
                                 "\". The file is 2 GiB or larger, too large for a saved report");
    std::unique_ptr<TQRStream> s(new TQRStream());
    s->filePart_ = std::move(file);
    s->resident_ = false;
    s->residentLimit_ = 0;
    return s;
}

TQRStream::~TQRStream()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (resident_) {
        memoryPart_.reset();
    } else {
        filePart_.reset();
        if (!spillPath_.empty())
            RemoveSpillFile(spillPath_);
    }
}

std::int64_t TQRStream::Read(void* buffer, std::int64_t count)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return resident_ ? memoryPart_->Read(buffer, count) : filePart_->Read(buffer, count);
}

std::int64_t TQRStream::Write(const void* buffer, std::int64_t count)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TStream& part = resident_ ? static_cast<TStream&>(*memoryPart_) : *filePart_;
    if (count > 0 && part.Seek(0, soCurrent) + count > MaxSize)
        throw EStreamError("Stream write error: a report must stay below 2 GiB");
    errno = 0;
    const std::int64_t written = part.Write(buffer, count);
    if (!resident_ && !spillPath_.empty() && written < count && count > 0)
        ThrowSpillWriteError(spillPath_);
    if (resident_ && memoryPart_->DataSize() > static_cast<std::int64_t>(residentLimit_))
        Spill();
    return written;
}

// Moves the content into a new temporary file. On failure the stream stays resident
// with everything kept in memory, and no temporary file is left behind; the next
// write tries again.
void TQRStream::Spill()
{
    std::string path = NewSpillFileName();
    try {
        auto file = std::make_unique<TFileStream>(path, TFileStream::Mode::CreateReadWrite);
        errno = 0;
        if (file->Write(memoryPart_->Memory(), memoryPart_->DataSize()) < memoryPart_->DataSize())
            ThrowSpillWriteError(path);
        file->Seek(memoryPart_->Seek(0, soCurrent), soBeginning);
        filePart_ = std::move(file);
    } catch (...) {
        RemoveSpillFile(path);
        throw;
    }
    spillPath_ = std::move(path);
    memoryPart_.reset();
    resident_ = false;
}

std::int64_t TQRStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return resident_ ? memoryPart_->Seek(offset, origin) : filePart_->Seek(offset, origin);
}

bool TQRStream::IsSameFile(const std::string& path) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return !resident_ && filePart_->IsSameFile(path);
}

void TQRStream::DumpTo(TStream& target)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    Seek(0, soBeginning);
    std::vector<std::uint8_t> chunk(DumpChunkSize);
    for (;;) {
        const std::int64_t n = Read(chunk.data(), DumpChunkSize);
        if (n <= 0)
            break;
        target.WriteBuffer(chunk.data(), n);
    }
}

} // namespace qrp
