// Writes one file so that nothing a user has is lost: a regular file (or a new name) gets its
// bytes in a temporary beside the target, renamed over it only when whole; anything else that
// exists (a device, a FIFO, a terminal) is written in place and never removed or truncated.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// Writes all `size` bytes to `fd` in place, as a device or a pipe is written: a write that a
// signal interrupts goes on. False with errno's reason in *reason.
bool writeInPlace(int fd, const void* data, std::size_t size, int* reason);

class SafeFile {
 public:
  SafeFile() = default;
  // Drops an uncommitted file, as discard() does.
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Opens `path` for writing. A symlink stays a link: its resolved target is replaced. A new
  // file gets the mode fopen would give it (0666 less the umask), a replaced one keeps its own.
  // Opening a FIFO waits for a reader. False with *error (the path and strerror) on failure.
  bool open(const std::string& path, std::string* error);
  // The stream to write to; owned by this object, valid from open() until commit or discard.
  FILE* stream() const { return stream_; }
  // Flushes, syncs and closes, then renames the temporary onto the target. When `abortFd`
  // (may be -1) is readable just before the rename, the file is dropped instead (*error then
  // gives EINTR's reason). False with *error on any failure, the temporary then removed.
  bool commit(std::string* error, int abortFd = -1);
  // Flushes, syncs and closes as commit does, but renames the temporary to the first of
  // nameFor(1), nameFor(2), ... that nothing has: a file kept apart, replacing nothing. Returns
  // that name, or "" with *error (the temporary then removed). Written in place, the target's.
  std::string commitUnderNewName(const std::function<std::string(int)>& nameFor,
                                 std::string* error);
  // Closes and removes the temporary, if any; the target is untouched.
  void discard();

  // Where the bytes go while open: the temporary, or the target itself when written in place.
  // Another writer (an encoder that opens files by name) may write there instead of stream().
  const std::string& writingPath() const { return temporary_.empty() ? target_ : temporary_; }
  bool writesInPlace() const { return temporary_.empty(); }

  // The folder a temporary for `path` goes into, or "" when `path` is written in place.
  static std::string temporaryFolder(const std::string& path);

 private:
  std::string failText(const std::string& path, int error);
  // Flushes, syncs (a temporary) and closes the stream; false with *error, the temporary gone.
  bool closeStream(std::string* error);

  std::string target_;     // the file the bytes end up in (a symlink resolved)
  std::string temporary_;  // where they go meanwhile; empty when written in place
  FILE* stream_ = nullptr;
};
