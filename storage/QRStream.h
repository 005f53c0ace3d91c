#pragma once
// The byte store of one report: in memory while it is small, moved once and for good
// into a temporary file when it grows past its limit, or opened in place on a saved
// report file. Every primitive runs under the stream's own re-entrant lock.
#include "base/Stream.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace qrp {

class TQRStream : public TStream {
public:
    // An empty in-memory stream that spills to a temporary file once its size
    // exceeds residentLimit bytes.
    explicit TQRStream(std::int32_t residentLimit);
    // A stream over an existing file, opened read-only (others may read and write it).
    // Fails with "Cannot open file ..." and refuses files of 2 GiB or more.
    static std::unique_ptr<TQRStream> OpenExisting(const std::string& path);
    ~TQRStream() override;

    TQRStream(const TQRStream&) = delete;
    TQRStream& operator=(const TQRStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    // Writes the whole content, from offset 0, to target in 10240-byte chunks; leaves
    // this stream's position at its end.
    void DumpTo(TStream& target);

    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    bool Resident() const { return resident_; }
    std::int32_t ResidentLimit() const { return residentLimit_; }
    const std::string& SpillPath() const { return spillPath_; }
    // True when the stream is backed by the file that path names.
    bool IsSameFile(const std::string& path) const;

    static constexpr std::int32_t DumpChunkSize = 10240;
    // Largest size a report stream may reach: offsets in a saved report are signed 32-bit.
    static constexpr std::int64_t MaxSize = 0x7FFFFFFF;

private:
    TQRStream() = default;
    void Spill();

    mutable std::recursive_mutex lock_;
    std::unique_ptr<TMemoryStream> memoryPart_;
    std::string spillPath_;
    std::unique_ptr<TFileStream> filePart_;
    bool resident_ = true;
    std::int32_t residentLimit_ = 0;
};

// Makes a new, empty, uniquely named file starting with "QRP" in the user's temporary
// folder ($TMPDIR, else /tmp) and returns its full path. An interruption of a program
// that cleans up (base/Interruption.h) removes the file until RemoveSpillFile does.
std::string NewSpillFileName();
void RemoveSpillFile(const std::string& path);

} // namespace qrp
