#include "photos/PhotoFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include "photos/PhotoDecode.h"

namespace {

constexpr int kDeepest = 32;  // folders inside folders; deeper ones are not walked

bool hasPhotoExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    return false;
  }
  const char* extension = name.c_str() + dot + 1;
  for (const char* known : {"jpg", "jpeg", "jpe", "jfif", "png"}) {
    if (strcasecmp(extension, known) == 0) {
      return true;
    }
  }
  return false;
}

std::string kindOf(mode_t mode) {
  return S_ISFIFO(mode)                   ? "a FIFO"
         : S_ISSOCK(mode)                 ? "a socket"
         : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
         : S_ISDIR(mode)                  ? "a folder"
                                          : "not a regular file";
}

std::string reasonOf(int error) {
  return error == ELOOP ? "a symbolic link loop" : std::strerror(error);
}

struct Walk {
  std::vector<std::string>* files;
  const std::function<void(const std::string&)>& skipped;
  size_t most;
  const std::function<bool(const std::string&)>& enough;
  bool full = false;
};

void walkFolder(Walk* walk, const std::string& folder, int depth) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    walk->skipped("skipping " + folder + ": " + reasonOf(errno));
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (walk->full) {
      return;
    }
    const std::string path = folder + "/" + name;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) {
      continue;  // gone since the folder was read
    }
    if (S_ISDIR(status.st_mode)) {
      if (depth < kDeepest) {
        walkFolder(walk, path, depth + 1);
      }
      continue;
    }
    if (!hasPhotoExtension(name)) {
      continue;
    }
    if (S_ISLNK(status.st_mode) && stat(path.c_str(), &status) != 0) {
      walk->skipped("skipping " + path + ": " + reasonOf(errno));
      continue;
    }
    if (!S_ISREG(status.st_mode)) {
      // A link to a folder named like a photo is not followed, as no folder link is.
      if (!S_ISDIR(status.st_mode)) {
        walk->skipped("skipping " + path + ": " + kindOf(status.st_mode));
      }
      continue;
    }
    if (walk->files->size() == walk->most) {
      walk->skipped("more than " + std::to_string(walk->most) + " photos under " +
                    path.substr(0, path.size() - name.size() - 1) + "; showing the first " +
                    std::to_string(walk->most));
      walk->full = true;
      return;
    }
    walk->files->push_back(path);
    if (walk->enough && walk->enough(path)) {
      walk->full = true;
    }
  }
}

}  // namespace

bool findPhotoFiles(const std::string& path, std::vector<std::string>* files,
                    const std::function<void(const std::string&)>& skipped, std::string* error,
                    size_t most, const std::function<bool(const std::string&)>& enough) {
  files->clear();
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    *error = reasonOf(errno);
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    files->push_back(path);
    if (enough) {
      enough(path);
    }
    return true;
  }
  if (access(path.c_str(), R_OK | X_OK) != 0) {
    *error = reasonOf(errno);
    return false;
  }
  Walk walk{files, skipped, most, enough};
  walkFolder(&walk, path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path,
             0);
  return true;
}

std::FILE* openPhotoFile(const std::string& path, std::string* why, bool* missing) {
  if (missing != nullptr) {
    *missing = false;
  }
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (missing != nullptr) {
      *missing = errno == ENOENT;
    }
    *why = reasonOf(errno);
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    *why = kindOf(status.st_mode);
    return nullptr;
  }
  // Without blocking: should the file have become a FIFO since the check, opening it must not
  // wait for a writer; the descriptor's own check then refuses it.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (missing != nullptr) {
      *missing = errno == ENOENT;
    }
    *why = reasonOf(errno);
    return nullptr;
  }
  const bool described = fstat(fd, &status) == 0;
  if (!described || !S_ISREG(status.st_mode)) {
    *why = described ? kindOf(status.st_mode) : reasonOf(errno);
    close(fd);
    return nullptr;
  }
  // Reads of a regular file do not block; the flag is dropped all the same.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    *why = reasonOf(errno);
    close(fd);
  }
  return file;
}

bool photoLooksUsable(const std::string& path, std::string* why) {
  std::FILE* file = openPhotoFile(path, why);
  Photo header;
  const bool usable = file != nullptr && decodePhoto(file, &header, why, nullptr, true);
  if (file != nullptr) {
    std::fclose(file);
  }
  return usable;
}
