#include "host/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/Surface.h"

namespace {

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::string nameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// Where the bytes for `path` must end up: the path itself, or for a symlink the file it
// names (which may not exist yet), so that the rename replaces the file, not the link.
std::string resolveLink(const std::string& path) {
  std::string resolved = path;
  for (int depth = 0; depth < 40; depth++) {
    struct stat link;
    if (lstat(resolved.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      return resolved;
    }
    std::vector<char> buffer(static_cast<size_t>(link.st_size > 0 ? link.st_size : PATH_MAX) + 1);
    const ssize_t length = readlink(resolved.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<size_t>(length) >= buffer.size()) {
      return resolved;
    }
    std::string next(buffer.data(), static_cast<size_t>(length));
    resolved = next[0] == '/' ? next : folderOf(resolved) + "/" + next;
  }
  return resolved;
}

// True when `path` exists and is something other than a regular file.
bool writtenInPlace(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

bool writeInPlace(int fd, const void* data, std::size_t size, int* reason) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t done = 0; done < size;) {
    const ssize_t written = ::write(fd, bytes + done, size - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written < 0) {
      *reason = errno;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

SafeFile::~SafeFile() { discard(); }

std::string SafeFile::temporaryFolder(const std::string& path) {
  return writtenInPlace(path) ? std::string() : folderOf(resolveLink(path));
}

std::string SafeFile::failText(const std::string& path, int error) {
  discard();
  return "cannot write '" + path + "': " + std::strerror(error);
}

bool SafeFile::open(const std::string& path, std::string* error) {
  discard();
  if (writtenInPlace(path)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      *error = failText(path, errno);
      return false;
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
      const int saved = errno;
      close(fd);
      *error = failText(path, saved);
      return false;
    }
    target_ = path;
    return true;
  }
  target_ = resolveLink(path);
  std::string pattern = folderOf(target_) + "/." + nameOf(target_) + ".XXXXXX";
  const int fd = mkostemp(&pattern[0], O_CLOEXEC);
  if (fd < 0) {
    *error = failText(path, errno);
    return false;
  }
  temporary_ = pattern;
  // As fopen would leave it: an existing file keeps its mode, a new one gets 0666 less umask.
  struct stat existing;
  mode_t mode;
  if (stat(target_.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0 || (stream_ = fdopen(fd, "wb")) == nullptr) {
    const int saved = errno;
    if (stream_ == nullptr) {
      close(fd);
    }
    *error = failText(path, saved);
    return false;
  }
  return true;
}

bool SafeFile::closeStream(std::string* error) {
  if (stream_ == nullptr) {
    *error = failText(target_, EBADF);
    return false;
  }
  int failure = 0;
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
    failure = errno != 0 ? errno : EIO;
  }
  // A device or a pipe may not sync; only a file that is about to be renamed must.
  if (failure == 0 && fsync(fileno(stream_)) != 0 && !temporary_.empty()) {
    failure = errno;
  }
  FILE* stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0 && failure == 0) {
    failure = errno;
  }
  if (failure != 0) {
    *error = failText(target_, failure);
    return false;
  }
  return true;
}

bool SafeFile::commit(std::string* error, int abortFd) {
  if (!closeStream(error)) {
    return false;
  }
  if (temporary_.empty()) {
    return true;
  }
  if (wakeFdReadable(abortFd)) {
    *error = failText(target_, EINTR);
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    *error = failText(target_, errno);
    return false;
  }
  temporary_.clear();
  return true;
}

std::string SafeFile::commitUnderNewName(const std::function<std::string(int)>& nameFor,
                                         std::string* error) {
  if (!closeStream(error)) {
    return "";
  }
  if (temporary_.empty()) {
    return target_;
  }
  for (int attempt = 1;; attempt++) {
    const std::string name = nameFor(attempt);
    // Never over a file: renameat2 refuses one, and where the file system cannot say so, a
    // hard link can be made only to a new name.
    int failed = renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
    if (failed != 0 && errno == EINVAL) {
      failed = link(temporary_.c_str(), name.c_str());
      if (failed == 0) {
        unlink(temporary_.c_str());
      }
    }
    if (failed == 0) {
      temporary_.clear();
      return name;
    }
    if (errno != EEXIST || attempt >= 1000) {
      *error = failText(name, errno);
      return "";
    }
  }
}

void SafeFile::discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    temporary_.clear();
  }
}
