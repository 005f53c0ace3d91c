#pragma once
// Reads and writes of a whole count at an offset of an open file, taken up again where a
// signal or the kernel cut them short.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include <unistd.h>

namespace qrp {

// Reads up to count bytes at offset. Fewer only at the end of the file or on an error;
// errno tells which (0 at the end).
inline std::int64_t ReadAt(int fd, void* buffer, std::int64_t count, std::int64_t offset)
{
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    errno = 0;
    while (done < count) {
        const ssize_t r = ::pread(fd, out + done, static_cast<std::size_t>(std::min<std::int64_t>(count - done, SSIZE_MAX)),
                                  static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += r;
    }
    return done;
}

// Writes count bytes at offset. Fewer only on an error, which errno names; a write that
// moves nothing counts as a full disk.
inline std::int64_t WriteAt(int fd, const void* buffer, std::int64_t count, std::int64_t offset)
{
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t w = ::pwrite(fd, in + done, static_cast<std::size_t>(std::min<std::int64_t>(count - done, SSIZE_MAX)),
                                   static_cast<off_t>(offset + done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w == 0)
            errno = ENOSPC;
        if (w <= 0)
            break;
        done += w;
    }
    return done;
}

} // namespace qrp
