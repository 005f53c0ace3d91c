#pragma once
// Byte streams standing in for the platform's: an abstract stream with read, write and
// seek, and its memory and file implementations. Positions and sizes are 64-bit here;
// the report stream narrows them to the file format's signed 32 bits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrp {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    // Returns the count read; short (0 at the very end) without failing.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Returns the count written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    // Derived from Seek, as the platform's stream does: one seek for the position,
    // three (current, end, back) for the size.
    std::int64_t Position();
    void SetPosition(std::int64_t pos);
    std::int64_t Size();

    // Fail with "Stream read error" / "Stream write error" when fewer bytes move.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);

    // Copies count bytes from source's position (count 0: the whole source from 0).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

    template <typename T> T ReadValue()
    {
        T v{};
        ReadBuffer(&v, sizeof v);
        return v;
    }
    template <typename T> void WriteValue(const T& v) { WriteBuffer(&v, sizeof v); }
};

class TMemoryStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::uint8_t* Memory() const { return data_.data(); }
    std::uint8_t* Memory() { return data_.data(); }
    std::int64_t DataSize() const { return static_cast<std::int64_t>(data_.size()); }
    void Clear();
    void SetSize(std::int64_t size);
    // Moves the content out (the stream is left empty).
    std::vector<std::uint8_t> TakeBytes();

private:
    std::vector<std::uint8_t> data_;
    std::int64_t pos_ = 0;
};

class TFileStream : public TStream {
public:
    enum class Mode {
        OpenReadShared,   // an existing file, read only; others may read and write it
        CreateReadWrite,  // created afresh (truncated), for reading and writing
    };
    TFileStream(const std::string& path, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::string& FileName() const { return path_; }
    // True when path names the file this stream has open.
    bool IsSameFile(const std::string& path) const;

private:
    std::string path_;
    int fd_ = -1;
    // Read-ahead buffer, so one-byte reads (the page codec's) do not each cost a system call.
    std::vector<std::uint8_t> buf_;
    std::int64_t bufStart_ = 0; // file offset of buf_[0]
    std::int64_t bufLen_ = 0;
    std::int64_t window_ = 4096; // bytes the next refill asks for
    std::int64_t pos_ = 0;      // logical position
};

} // namespace qrp
