// Counting flashes as WCAG 2.3.1 defines them, frame by frame, for every pixel of a picture,
// and the share of the worst field of view that flashes.
//
// General flash: a transition is a change of relative luminance (sRGB linearised, Rec. 709
// weights, 0..1) of at least 0.1 against the direction of the one before, measured from the
// extreme the pixel reached since that one, where the darker of the two states is below 0.8.
// Red flash (WCAG 2.2's working definition): a transition to or from a saturated red, one whose
// share R / (R + G + B) of linear light is at least 0.8, across more than 0.2 in CIE 1976 u'v'
// chromaticity. A pixel flashes, in either sense, in frame n when the second ending there
// (the latest `rate` frames, n included) holds more than six of its transitions: three flashes
// a second are allowed, more are not.
//
// The field is a third of the picture's width by a third of its height, as WCAG's 341x256 of a
// 1024x768 screen: about ten degrees of vision. A frame fails when the flashing pixels fill
// more than a quarter of some field.
#pragma once

#include <cstdint>
#include <vector>

// The field where the most pixels flash in one frame, and the share of it that does.
struct FieldShare {
  double share = 0.0;  // 0..1
  int x = 0;           // the field's top left corner, pixels from the picture's top left
  int y = 0;
};

struct FrameFlashes {
  FieldShare general;
  FieldShare red;
};

class FlashAnalyser {
 public:
  static constexpr double kLimit = 0.25;     // the share of a field that may flash
  static constexpr int kMaxTransitions = 6;  // transitions a pixel may make in a second

  // Allocates everything it will need: frames allocate nothing. `rate` in frames per second.
  FlashAnalyser(int width, int height, double rate);

  // Takes the next frame, packed 0x00BBGGRR per pixel, rows top first, and tells where its
  // flashes are worst.
  FrameFlashes analyse(const std::uint32_t* rgb);

  int fieldWidth() const { return fieldWidth_; }
  int fieldHeight() const { return fieldHeight_; }

 private:
  // The transitions of one kind: per pixel, the frames of its latest six, and the frame up to
  // which (not included) it flashes.
  struct Counter {
    std::vector<std::uint32_t> latest;  // six per pixel, a ring
    std::vector<std::uint8_t> next;     // where the ring writes next: its oldest once full
    std::vector<std::uint8_t> count;    // up to six
    std::vector<std::uint32_t> flashesUntil;
    std::vector<std::uint8_t> flashing;  // 1 where the pixel flashes in this frame
    std::vector<std::uint32_t> table;    // their summed areas, made when some pixel flashes

    void resize(std::size_t pixels, std::size_t tableSize);
    void transition(std::size_t pixel, std::uint32_t frame, int window);
  };

  void luminanceStep(std::size_t pixel, float r, float g, float b);
  void redStep(std::size_t pixel, float r, float g, float b);
  // The densest field of the counter's flashing pixels, `flashing` of them in all.
  FieldShare worstField(Counter& counter, long flashing) const;

  int width_;
  int height_;
  int fieldWidth_;
  int fieldHeight_;
  int window_;  // the frames of one second
  std::uint32_t frame_ = 0;
  float linear_[256];  // an 8-bit sRGB value in linear light

  std::vector<std::uint32_t> previous_;  // each pixel's colour in the last frame
  // Luminance: the direction of the last transition (+1 up, -1 down, 0 none yet) and the
  // extremes since; the one in the last transition's direction follows the signal.
  std::vector<std::int8_t> direction_;
  std::vector<float> low_;
  std::vector<float> high_;
  // Chromaticity: whether the pixel's state is a saturated red (1), another (2) or not yet
  // seen (0); the u'v' of the latest red state (at first, that of the red primary), and of the
  // other state farthest from it since, with that distance squared.
  std::vector<std::uint8_t> redPhase_;
  std::vector<float> redU_;
  std::vector<float> redV_;
  std::vector<float> otherU_;
  std::vector<float> otherV_;
  std::vector<float> otherDistanceSquared_;

  Counter general_;
  Counter red_;
};
