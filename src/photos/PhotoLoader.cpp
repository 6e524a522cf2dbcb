#include "photos/PhotoLoader.h"

#include <sys/stat.h>

#include <utility>

#include "photos/PhotoFiles.h"

PhotoLoader::PhotoLoader(std::string root, std::function<void(const std::string&)> skipped,
                         bool wait)
    : root_(std::move(root)), skipped_(std::move(skipped)), wait_(wait) {
  thread_ = std::thread(&PhotoLoader::run, this);
}

PhotoLoader::~PhotoLoader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void PhotoLoader::request(int slot, unsigned choice) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[slot].state = Asked;
    slots_[slot].choice = choice;
  }
  changed_.notify_all();
}

bool PhotoLoader::ready(int slot, PhotoPixels* pixels) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& s = slots_[slot];
  if (wait_) {
    changed_.wait(lock, [&s] { return s.state != Asked && s.state != Working; });
  }
  if (s.state != Done) {
    return false;
  }
  s.state = Taken;
  pixels->rgb = s.photo.rgb.data();
  pixels->width = s.photo.width;
  pixels->height = s.photo.height;
  return true;
}

void PhotoLoader::run() {
  std::string error;
  // A run ended while a large tree is being walked ends the walk too.
  if (!findPhotoFiles(root_, &files_, skipped_, &error, kMostPhotoFiles,
                      [this](const std::string&) { return stop_.load(); })) {
    skipped_(root_ + ": " + error);
  }
  bad_.assign(files_.size(), 0);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    int asked = -1;
    changed_.wait(lock, [&] {
      for (int i = 0; i < kPhotoSlots && asked < 0; i++) {
        asked = slots_[i].state == Asked ? i : -1;
      }
      return stop_ || asked >= 0;
    });
    if (stop_) {
      return;
    }
    slots_[asked].state = Working;
    const unsigned choice = slots_[asked].choice;
    lock.unlock();
    fill(asked, choice);
    lock.lock();
  }
}

void PhotoLoader::fill(int slot, unsigned choice) {
  const size_t count = files_.size();
  // Another slot's file is taken again only when every other file is held or bad: with a
  // folder of more photos than slots, the slots show different ones.
  auto heldElsewhere = [this, slot](size_t file) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < kPhotoSlots; i++) {
      if (i != slot && slots_[i].file == static_cast<long>(file)) {
        return i;
      }
    }
    return -1;
  };
  State result = Failed;
  for (int round = 0; round < 2 && result == Failed && !gone_ && count > 0; round++) {
    for (size_t k = 0; k < count && result == Failed && !gone_ && !stop_; k++) {
      const size_t file = (choice + k) % count;
      const int holder = bad_[file] ? -1 : heldElsewhere(file);
      if (bad_[file] || (round == 0 && holder >= 0)) {
        continue;
      }
      std::unique_lock<std::mutex> lock(mutex_);
      if (holder >= 0) {
        // Read while the drawing thread may read it too; only this thread writes pixels.
        slots_[slot].photo = slots_[holder].photo;
      } else if (slots_[slot].file != static_cast<long>(file)) {
        lock.unlock();
        const bool decoded = decode(file);
        lock.lock();
        if (!decoded) {
          continue;
        }
        std::swap(spare_, slots_[slot].photo);
      }
      slots_[slot].file = static_cast<long>(file);
      result = Done;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A new request while this one was being worked on starts again.
    if (slots_[slot].state == Working) {
      slots_[slot].state = result;
    }
  }
  changed_.notify_all();
}

bool PhotoLoader::decode(size_t index) {
  std::string why;
  bool missing = false;
  std::FILE* file = openPhotoFile(files_[index], &why, &missing);
  const bool decoded = file != nullptr && decodePhoto(file, &spare_, &why, &stop_);
  if (file != nullptr) {
    std::fclose(file);
  }
  if (decoded || stop_) {
    return decoded;
  }
  struct stat status;
  if (missing && stat(root_.c_str(), &status) != 0) {
    skipped_(root_ + " is gone; showing the photos already loaded");
    gone_ = true;
    return false;
  }
  skipped_("skipping " + files_[index] + ": " + why);
  bad_[index] = 1;
  return false;
}
