// The supplier of photos: decodes the photos the scene asks for on a thread of its own, so
// that a window never waits for a file; a render waits for each photo it asks for, so that
// the same options draw the same frames. The thread first walks the folder (findPhotoFiles),
// once: a folder of many files does not delay the first frame.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "objects/PhotoFeed.h"
#include "photos/PhotoDecode.h"

class PhotoLoader : public PhotoFeed {
 public:
  // Photos from `root` (a folder or a file); `skipped` hears each file that cannot be shown,
  // once, and the root's disappearing, from the loader's thread; `wait` makes ready() wait for
  // the photo.
  PhotoLoader(std::string root, std::function<void(const std::string&)> skipped, bool wait);
  ~PhotoLoader() override;
  PhotoLoader(const PhotoLoader&) = delete;
  PhotoLoader& operator=(const PhotoLoader&) = delete;

  void request(int slot, unsigned choice) override;
  bool ready(int slot, PhotoPixels* pixels) override;

 private:
  enum State { Idle, Asked, Working, Done, Taken, Failed };
  struct Slot {
    State state = Idle;
    unsigned choice = 0;
    long file = -1;  // the file the pixels are of, or -1
    Photo photo;
  };

  void run();
  // Decodes a photo for `slot` (its lock not held): the chosen file, or the next usable one.
  void fill(int slot, unsigned choice);
  // Decodes file `index` into spare_, or marks it bad with its line.
  bool decode(size_t index);

  const std::string root_;
  std::vector<std::string> files_;  // found by the thread before it serves a request
  const std::function<void(const std::string&)> skipped_;
  const bool wait_;
  std::vector<char> bad_;  // files that could not be shown (touched by one thread at a time)
  bool gone_ = false;      // the root disappeared: no more photos are looked for
  Photo spare_;            // the decode's buffer, swapped with a slot's when done

  std::mutex mutex_;
  std::condition_variable changed_;
  Slot slots_[kPhotoSlots];
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
