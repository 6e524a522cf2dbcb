#include "FlashAnalyser.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kLuminanceStep = 0.1f;     // a transition's least change of relative luminance
constexpr float kDarkerBelow = 0.8f;       // ... where the darker state is below this
constexpr float kRedShare = 0.8f;          // a saturated red: R / (R + G + B) at least this
constexpr float kChromaticityStep = 0.2f;  // a red transition's change of u'v', more than this
constexpr float kChromaticityStepSquared = kChromaticityStep * kChromaticityStep;

constexpr std::uint32_t kNoColour = 0xffffffff;  // no frame yet: every first colour is new

enum RedPhase : std::uint8_t { Unseen, Red, Other };

float Luminance(float r, float g, float b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

struct Chromaticity {
  float u, v;
};

// CIE 1976 u'v' of linear sRGB through XYZ (D65). Black has none of its own and takes the white
// point's, as a grey does.
Chromaticity ChromaticityOf(float r, float g, float b) {
  float x = 0.4124f * r + 0.3576f * g + 0.1805f * b;
  float y = Luminance(r, g, b);
  float z = 0.0193f * r + 0.1192f * g + 0.9505f * b;
  if (x + 15.0f * y + 3.0f * z <= 0.0f) {
    x = 0.4124f + 0.3576f + 0.1805f;
    y = 1.0f;
    z = 0.0193f + 0.1192f + 0.9505f;
  }
  const float denominator = x + 15.0f * y + 3.0f * z;
  return {4.0f * x / denominator, 9.0f * y / denominator};
}

float DistanceSquared(Chromaticity a, float u, float v) {
  return (a.u - u) * (a.u - u) + (a.v - v) * (a.v - v);
}

}  // namespace

void FlashAnalyser::Counter::resize(std::size_t pixels, std::size_t tableSize) {
  latest.assign(pixels * kMaxTransitions, 0);
  next.assign(pixels, 0);
  count.assign(pixels, 0);
  flashesUntil.assign(pixels, 0);
  flashing.assign(pixels, 0);
  table.assign(tableSize, 0);
}

void FlashAnalyser::Counter::transition(std::size_t pixel, std::uint32_t frame, int window) {
  std::uint32_t* ring = &latest[pixel * kMaxTransitions];
  std::uint8_t& oldest = next[pixel];
  if (count[pixel] == kMaxTransitions) {
    // With this one, the oldest of the six makes seven: the pixel flashes as long as that one
    // lies within the latest second.
    flashesUntil[pixel] = ring[oldest] + static_cast<std::uint32_t>(window);
  } else {
    count[pixel]++;
  }
  ring[oldest] = frame;
  oldest = static_cast<std::uint8_t>((oldest + 1) % kMaxTransitions);
}

FlashAnalyser::FlashAnalyser(int width, int height, double rate)
    : width_(width),
      height_(height),
      fieldWidth_(std::max(1, static_cast<int>(std::lround(width / 3.0)))),
      fieldHeight_(std::max(1, static_cast<int>(std::lround(height / 3.0)))),
      // A second holds the frames less than a second apart: 30 at 30 fps, 30 at 29.97.
      window_(std::max(1, static_cast<int>(std::ceil(rate - 1e-9)))) {
  for (int i = 0; i < 256; i++) {
    const double c = i / 255.0;
    linear_[i] = static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  const std::size_t tableSize = static_cast<std::size_t>(width + 1) * (height + 1);
  previous_.assign(pixels, kNoColour);
  direction_.assign(pixels, 0);
  low_.assign(pixels, 0.0f);
  high_.assign(pixels, 0.0f);
  redPhase_.assign(pixels, Unseen);
  redU_.assign(pixels, 0.0f);
  redV_.assign(pixels, 0.0f);
  otherU_.assign(pixels, 0.0f);
  otherV_.assign(pixels, 0.0f);
  otherDistanceSquared_.assign(pixels, 0.0f);
  general_.resize(pixels, tableSize);
  red_.resize(pixels, tableSize);
}

void FlashAnalyser::luminanceStep(std::size_t pixel, float r, float g, float b) {
  const float luminance = Luminance(r, g, b);
  std::int8_t& direction = direction_[pixel];
  float& low = low_[pixel];
  float& high = high_[pixel];
  if (frame_ == 0) {
    low = high = luminance;
    return;
  }
  if (direction != -1) {
    high = std::max(high, luminance);
  }
  if (direction != 1) {
    low = std::min(low, luminance);
  }
  if (direction != 1 && luminance - low >= kLuminanceStep && low < kDarkerBelow) {
    direction = 1;
    high = luminance;
    general_.transition(pixel, frame_, window_);
  } else if (direction != -1 && high - luminance >= kLuminanceStep && luminance < kDarkerBelow) {
    direction = -1;
    low = luminance;
    general_.transition(pixel, frame_, window_);
  }
}

void FlashAnalyser::redStep(std::size_t pixel, float r, float g, float b) {
  const bool saturated = r >= kRedShare * (r + g + b) && r > 0.0f;
  const Chromaticity here = ChromaticityOf(r, g, b);
  std::uint8_t& phase = redPhase_[pixel];
  const Chromaticity red{redU_[pixel], redV_[pixel]};
  const Chromaticity other{otherU_[pixel], otherV_[pixel]};
  const auto becomeRed = [&] {
    phase = Red;
    redU_[pixel] = here.u;
    redV_[pixel] = here.v;
  };
  const auto becomeOther = [&](float distanceSquared) {
    phase = Other;
    otherU_[pixel] = here.u;
    otherV_[pixel] = here.v;
    otherDistanceSquared_[pixel] = distanceSquared;
  };
  switch (phase) {
    case Unseen:
      if (saturated) {
        becomeRed();
      } else {
        const Chromaticity primary = ChromaticityOf(1.0f, 0.0f, 0.0f);
        redU_[pixel] = primary.u;
        redV_[pixel] = primary.v;
        becomeOther(DistanceSquared(primary, here.u, here.v));
      }
      break;
    case Red: {
      const float away = DistanceSquared(red, here.u, here.v);
      if (away > kChromaticityStepSquared) {
        red_.transition(pixel, frame_, window_);
        becomeOther(away);
      } else if (saturated) {
        becomeRed();
      }
      break;
    }
    default:
      if (saturated && DistanceSquared(other, here.u, here.v) > kChromaticityStepSquared) {
        red_.transition(pixel, frame_, window_);
        becomeRed();
      } else {
        // The other state is the one farthest from the red: the extreme the signal reached.
        const float away = DistanceSquared(red, here.u, here.v);
        if (away > otherDistanceSquared_[pixel]) {
          becomeOther(away);
        }
      }
  }
}

FrameFlashes FlashAnalyser::analyse(const std::uint32_t* rgb) {
  const std::size_t pixels = static_cast<std::size_t>(width_) * height_;
  long generalFlashing = 0, redFlashing = 0;
  for (std::size_t pixel = 0; pixel < pixels; pixel++) {
    const std::uint32_t colour = rgb[pixel];
    // An unchanged colour can make no transition: most of a picture takes this path.
    if (colour != previous_[pixel]) {
      previous_[pixel] = colour;
      const float r = linear_[colour & 0xff];
      const float g = linear_[(colour >> 8) & 0xff];
      const float b = linear_[(colour >> 16) & 0xff];
      luminanceStep(pixel, r, g, b);
      redStep(pixel, r, g, b);
    }
    const bool general = frame_ < general_.flashesUntil[pixel];
    const bool red = frame_ < red_.flashesUntil[pixel];
    general_.flashing[pixel] = general;
    red_.flashing[pixel] = red;
    generalFlashing += general;
    redFlashing += red;
  }
  frame_++;
  return {worstField(general_, generalFlashing), worstField(red_, redFlashing)};
}

FieldShare FlashAnalyser::worstField(Counter& counter, long flashing) const {
  FieldShare worst;
  if (flashing == 0) {
    return worst;
  }
  // Summed areas: each entry counts the flashing pixels above and left of it.
  const std::size_t stride = static_cast<std::size_t>(width_) + 1;
  std::uint32_t* table = counter.table.data();
  const std::uint8_t* flags = counter.flashing.data();
  for (int y = 0; y < height_; y++) {
    std::uint32_t* above = table + static_cast<std::size_t>(y) * stride + 1;
    std::uint32_t row = 0;
    for (int x = 0; x < width_; x++) {
      row += *flags++;
      above[stride + x] = above[x] + row;
    }
  }
  std::uint32_t most = 0;
  for (int y = 0; y + fieldHeight_ <= height_; y++) {
    const std::uint32_t* top = table + static_cast<std::size_t>(y) * stride;
    const std::uint32_t* bottom = top + static_cast<std::size_t>(fieldHeight_) * stride;
    for (int x = 0; x + fieldWidth_ <= width_; x++) {
      const std::uint32_t inside =
          bottom[x + fieldWidth_] - bottom[x] - top[x + fieldWidth_] + top[x];
      if (inside > most) {
        most = inside;
        worst.x = x;
        worst.y = y;
      }
    }
  }
  worst.share = static_cast<double>(most) / (static_cast<double>(fieldWidth_) * fieldHeight_);
  return worst;
}
