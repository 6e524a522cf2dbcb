// What the flash analyser found, as a user reads it: one line for each second in which some
// frame fails, per kind of flash, and a summary line with the worst figures of both kinds.
#pragma once

#include <string>

#include "FlashAnalyser.h"

class FlashReport {
 public:
  // The worst field of one kind so far, and the frame it was in (-1: nothing flashed yet).
  struct Worst {
    FieldShare field;
    long frame = -1;
  };

  FlashReport(double rate, int fieldWidth, int fieldHeight);

  // Takes the next frame's figures. Returns the lines of the second it ended, when that second
  // failed; else an empty string.
  std::string add(const FrameFlashes& flashes);
  // The lines of the last second, when it failed, and the summary line.
  std::string finish();

  bool failed() const { return failed_; }
  const Worst& worstGeneral() const { return worst_.general; }
  const Worst& worstRed() const { return worst_.red; }

 private:
  struct Both {
    Worst general;
    Worst red;
  };
  std::string closeSecond();
  std::string line(const char* kind, const Worst& worst) const;

  double rate_;
  int fieldWidth_;
  int fieldHeight_;
  long frames_ = 0;
  long second_ = 0;  // the second the latest frame lies in
  Both inSecond_;
  Both worst_;
  bool failed_ = false;
};
