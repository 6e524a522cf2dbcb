// What the scene asks of whoever supplies photos: a photo for one of its slots, picked by a
// number from the scene's own random sequence, and the pixels once they are ready. The scene
// knows nothing of files or threads; the host makes the supplier and hands it to the engine.
#pragma once

// Decoded pixels: height rows of width RGB triples, top row first, tightly packed.
struct PhotoPixels {
  const unsigned char* rgb = nullptr;
  int width = 0;
  int height = 0;
};

class PhotoFeed {
 public:
  virtual ~PhotoFeed() = default;
  // Asks for a photo for `slot` (0 to kPhotoSlots - 1); `choice` picks which, so that the same
  // choices pick the same photos from the same folder. The slot's earlier pixels are given up.
  virtual void request(int slot, unsigned choice) = 0;
  // True once the photo asked for `slot` is decoded, with its pixels, which stay valid until
  // the next request for the slot; false while it is not (a supplier for a render waits
  // instead) and when no photo could be found.
  virtual bool ready(int slot, PhotoPixels* pixels) = 0;
};

// Photos the scene holds at once.
constexpr int kPhotoSlots = 8;
