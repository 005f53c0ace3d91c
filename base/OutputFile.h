#pragma once
// Files written all or nothing. The content goes to a temporary file beside the
// target, named ".NAME.partial-XXXXXX" so that anything a killed program leaves is
// known for what it is; every write is checked, and only when the content is complete
// and on the disk does the file replace the target. Until then an interruption
// (Interruption.h) or a failure removes it, and the target is left as it was.
#include "base/Stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrp {

// What every temporary name has between the target's name and its random end.
inline constexpr char kPartialInfix[] = ".partial-";

// Whether a committed file must outlast a power cut (documents), or only be whole or
// absent (caches such as thumbnails, which their reader copies at once): the latter
// are not flushed to the disk, which on a slow disk costs more than writing them.
enum class TDurability { OnDisk, Cache };

class TOutputFile : public TStream {
public:
    // Creates the temporary file beside target. Fails with EFCreateError naming
    // target and the cause.
    explicit TOutputFile(const std::string& target, TDurability durability = TDurability::OnDisk);
    // Removes the temporary file unless it was committed.
    ~TOutputFile() override;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Writes all of it or fails with EFWriteError ("Cannot write file "T". cause").
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::string& Target() const { return target_; }
    const std::string& TemporaryPath() const { return temp_; }
    // The open temporary file, for writers that write through a descriptor of their own.
    int Descriptor() const { return fd_; }

    // Closes the file and renames it onto the target; for TDurability::OnDisk, flushes
    // the content to the disk first and syncs the folder after, so that the new name
    // lasts too. Fails with EFWriteError, removing the temporary file.
    void Commit();
    // Removes the temporary file now (done by the destructor too).
    void Discard();
    // Fails with EFWriteError naming the target and cause; the temporary file goes.
    [[noreturn]] void Fail(const std::string& cause);

private:
    std::string target_, temp_;
    int fd_ = -1;
    std::int64_t pos_ = 0;
    bool committed_ = false;
    TDurability durability_;
};

// True when both paths name the same existing file, links followed: the same device
// and inode (a hard link is the same file too).
bool SameFile(const std::string& a, const std::string& b);

// Fails (EError) when output is the same file as one of inputs, before anything is
// written: a command must never write over what it reads.
void RefuseToOverwrite(const std::vector<std::string>& inputs, const std::string& output);

// Syncs the folder that holds path, so that a name just given to a file there lasts.
void SyncFolderOf(const std::string& path);

} // namespace qrp
