#include "base/Stream.h"

#include "base/Errors.h"
#include "base/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrp {

// ---- TStream ---------------------------------------------------------------------

std::int64_t TStream::Position() { return Seek(0, soCurrent); }

void TStream::SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }

std::int64_t TStream::Size()
{
    const std::int64_t pos = Seek(0, soCurrent);
    const std::int64_t end = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EStreamError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr std::int64_t kChunk = 65536;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(count, kChunk)));
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min(left, kChunk);
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        left -= n;
    }
    return count;
}

// ---- TMemoryStream ---------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const auto size = static_cast<std::int64_t>(data_.size());
    if (count <= 0 || pos_ < 0 || pos_ >= size)
        return 0;
    const std::int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0 || pos_ < 0)
        return 0;
    const std::int64_t end = pos_ + count;
    if (end > static_cast<std::int64_t>(data_.size()))
        SetSize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
    pos_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: pos_ = offset; break;
    case soCurrent: pos_ += offset; break;
    case soEnd: pos_ = static_cast<std::int64_t>(data_.size()) + offset; break;
    }
    return pos_;
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
}

void TMemoryStream::SetSize(std::int64_t size)
{
    if (size < 0)
        size = 0;
    try {
        // vector::resize grows geometrically, so byte-by-byte writes stay linear.
        data_.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    } catch (const std::length_error&) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    if (pos_ > size)
        pos_ = size;
}

std::vector<std::uint8_t> TMemoryStream::TakeBytes()
{
    std::vector<std::uint8_t> out = std::move(data_);
    data_.clear();
    pos_ = 0;
    return out;
}

// ---- TFileStream -----------------------------------------------------------------

namespace {

std::string FullPath(const std::string& path)
{
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string out(resolved);
        std::free(resolved);
        return out;
    }
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

std::string FileErrorMessage(const char* verb, const std::string& path, int err)
{
    return std::string("Cannot ") + verb + " file \"" + FullPath(path) + "\". " + std::strerror(err);
}

constexpr std::int64_t kMinReadAhead = 512;
constexpr std::int64_t kMaxReadAhead = 65536;

} // namespace

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path)
{
    if (mode == Mode::OpenReadShared) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError(FileErrorMessage("open", path, errno));
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throw EFOpenError(FileErrorMessage("open", path, EISDIR));
        }
    } else {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError(FileErrorMessage("create", path, errno));
    }
    path_ = FullPath(path);
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

// Reads go through a read-ahead window. Reading on from where the buffer ends, or
// skipping a little way past it (walking short records forward), widens the window up
// to 64 KiB; a far jump (walking large records) narrows it, so a walk does not pull
// whole records through memory. A short step backward fills the window behind the
// position, for walks that follow the back links.
std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0 || pos_ < 0)
        return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
            const std::int64_t n = std::min(count - done, bufStart_ + bufLen_ - pos_);
            std::memcpy(out + done, buf_.data() + (pos_ - bufStart_), static_cast<std::size_t>(n));
            done += n;
            pos_ += n;
            continue;
        }
        const std::int64_t want = count - done;
        const std::int64_t bufEnd = bufStart_ + bufLen_;
        const bool near = bufLen_ > 0 && ((pos_ >= bufEnd && pos_ - bufEnd < window_) ||
                                          (pos_ < bufStart_ && bufStart_ - pos_ < window_));
        window_ = near ? std::min(window_ * 2, kMaxReadAhead) : std::max(window_ / 2, kMinReadAhead);
        if (want >= window_) {
            // Large reads bypass the buffer.
            const std::int64_t r = ReadAt(fd_, out + done, want, pos_);
            done += r;
            pos_ += r;
            if (r < want)
                break;
            continue;
        }
        if (static_cast<std::int64_t>(buf_.size()) < kMaxReadAhead)
            buf_.resize(static_cast<std::size_t>(kMaxReadAhead));
        std::int64_t start = pos_;
        if (bufLen_ > 0 && pos_ < bufStart_)
            start = std::max<std::int64_t>(0, pos_ + want - window_);
        const ssize_t r = ::pread(fd_, buf_.data(), static_cast<std::size_t>(window_), static_cast<off_t>(start));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || start + r <= pos_) {
            bufLen_ = 0;
            break;
        }
        bufStart_ = start;
        bufLen_ = r;
    }
    return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0 || pos_ < 0)
        return 0;
    // Anything buffered may be overwritten; drop it.
    bufLen_ = 0;
    const std::int64_t done = WriteAt(fd_, buffer, count, pos_);
    pos_ += done;
    return done;
}

bool TFileStream::IsSameFile(const std::string& path) const
{
    struct stat mine {}, other {};
    if (::fstat(fd_, &mine) != 0 || ::stat(path.c_str(), &other) != 0)
        return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: pos_ = offset; break;
    case soCurrent: pos_ += offset; break;
    case soEnd: {
        struct stat st {};
        const std::int64_t size = ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
        pos_ = size + offset;
        break;
    }
    }
    return pos_;
}

} // namespace qrp
