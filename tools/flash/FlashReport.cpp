#include "FlashReport.h"

#include <cmath>
#include <cstdio>

namespace {

void Keep(const FieldShare& field, long frame, FlashReport::Worst* worst) {
  if (field.share > worst->field.share) {
    worst->field = field;
    worst->frame = frame;
  }
}

bool Fails(const FlashReport::Worst& worst) { return worst.field.share > FlashAnalyser::kLimit; }

}  // namespace

FlashReport::FlashReport(double rate, int fieldWidth, int fieldHeight)
    : rate_(rate), fieldWidth_(fieldWidth), fieldHeight_(fieldHeight) {}

std::string FlashReport::line(const char* kind, const Worst& worst) const {
  char text[160];
  std::snprintf(text, sizeof text,
                "second %ld: %s flash over %.3f of the field at %d,%d (%.2f s)\n", second_, kind,
                worst.field.share, worst.field.x, worst.field.y,
                static_cast<double>(worst.frame) / rate_);
  return text;
}

std::string FlashReport::closeSecond() {
  std::string lines;
  if (Fails(inSecond_.general)) {
    lines += line("general", inSecond_.general);
  }
  if (Fails(inSecond_.red)) {
    lines += line("red", inSecond_.red);
  }
  failed_ = failed_ || !lines.empty();
  inSecond_ = Both();
  return lines;
}

std::string FlashReport::add(const FrameFlashes& flashes) {
  const long frame = frames_++;
  const long second = static_cast<long>(std::floor(static_cast<double>(frame) / rate_));
  std::string lines;
  if (second != second_) {
    lines = closeSecond();
    second_ = second;
  }
  Keep(flashes.general, frame, &inSecond_.general);
  Keep(flashes.red, frame, &inSecond_.red);
  Keep(flashes.general, frame, &worst_.general);
  Keep(flashes.red, frame, &worst_.red);
  return lines;
}

std::string FlashReport::finish() {
  std::string text = closeSecond();
  const auto worst = [this](const char* kind, const Worst& worst) {
    char part[96];
    if (worst.frame < 0) {
      std::snprintf(part, sizeof part, "%s: worst 0.000", kind);
    } else {
      std::snprintf(part, sizeof part, "%s: worst %.3f at %.2f s", kind, worst.field.share,
                    static_cast<double>(worst.frame) / rate_);
    }
    return std::string(part);
  };
  char tail[128];
  std::snprintf(tail, sizeof tail, "; field %dx%d, limit %.2f; %ld frames: %s\n", fieldWidth_,
                fieldHeight_, FlashAnalyser::kLimit, frames_, failed_ ? "fails" : "passes");
  return text + worst("general", worst_.general) + "; " + worst("red", worst_.red) + tail;
}
