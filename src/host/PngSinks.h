// The PNG frame sinks: every frame into a folder (frame-00001.png, frame-00002.png, ...), or one
// frame into one file: a snapshot, or the frame a window shows, saved with s. Files are written
// with writePng, through SafeFile.
#pragma once

#include <string>

#include "host/FrameSink.h"

// "frame-00001.png" for frame 1: five digits, more for a number that needs them
// ("frame-100000.png"). A frame's name depends on its number alone, so that ranges of one render
// made apart agree; ffmpeg's frame-%05d.png and version sort (ls -v) take them in order.
std::string frameFileName(long frame);

// A name in the current folder for a saved frame that no file has yet:
// vantor-YYYYMMDD-HHMMSS.png, then -2, -3, ... within the same second.
std::string savedFrameName();

class PngFolder : public FrameSink {
 public:
  // `frames` frames, each into `folder` under its number in the whole render.
  PngFolder(std::string folder, long frames) : folder_(std::move(folder)), frames_(frames) {}
  // The folder must exist (it is made when missing) and take new files; false with *error.
  bool prepare(std::string* error);

  bool wants(long /*number*/) override { return true; }
  bool write(long number, const RgbImage& picture, int abortFd, std::string* error) override;
  std::string target() const override { return folder_; }
  std::string finished() const override;
  std::string kept() const override;

 private:
  std::string folder_;
  long frames_;
  long written_ = 0;
  std::string lastWholeFile_;  // "" until a file is whole
  int width_ = 0;              // of the frames written
  int height_ = 0;
};

class PngFile : public FrameSink {
 public:
  // Frame `frame` of frames `rate` a second into `path`; those before are stepped through.
  // `label` names it in the lines said about it: "the frame at 20 s".
  PngFile(std::string path, long frame, double rate, std::string label)
      : path_(std::move(path)), frame_(frame), rate_(rate), label_(std::move(label)) {}
  // The folder the file's temporary goes into must take new files; false with *error.
  bool prepare(std::string* error);

  bool wants(long number) override;
  bool write(long number, const RgbImage& picture, int abortFd, std::string* error) override;
  std::string target() const override { return path_; }
  std::string finished() const override { return "wrote " + label_ + " to " + path_; }
  std::string kept() const override;

 private:
  std::string path_;
  long frame_;
  double rate_;
  std::string label_;
  long reached_ = 0;  // the last frame offered
};
