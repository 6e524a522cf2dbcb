// Where the frames of a render go: a folder of PNG files, one PNG file, the video stream on
// standard output, or a video file. Each sink owns the names it gives, its writing (through
// SafeFile's discipline: a temporary beside the target, renamed when whole; a device or FIFO in
// place) and the lines that say what a run made or, cut short, what it kept.
//
// Frames are numbered from 1, the first of the whole render, and lie 1/rate simulated seconds
// apart; the surface offers those of the run (--from may start it later) in order, and draws
// only those the sink wants.
#pragma once

#include <cstdio>
#include <string>

#include "host/RgbImage.h"

class FrameSink {
 public:
  virtual ~FrameSink() = default;

  // Whether frame `number` is to be drawn and written; the others are stepped through undrawn.
  virtual bool wants(long number) = 0;
  // Writes frame `number`. When `abortFd` (may be -1) is readable before a file is whole, the
  // file is dropped: the signal that made it readable ends the run. False with *error (what
  // happened and what to do) when the frame could not be written.
  virtual bool write(long number, const RgbImage& picture, int abortFd, std::string* error) = 0;

  // What the frames go to, for the progress line: "out", "shot.png", "standard output".
  virtual std::string target() const = 0;
  // The line (without "vantor: ") for a run that wrote all it was asked for, and where it goes.
  virtual std::string finished() const = 0;
  virtual std::FILE* finishedStream() const { return stdout; }
  // The run was cut short by a signal: keep what can be kept of the file in progress, unless
  // `abortFd` (may be -1) turns readable meanwhile: a second signal drops it.
  virtual void interrupted(int /*abortFd*/) {}
  // What a run cut short made and kept: "after 85 of 300 frames; the last whole file is ...".
  virtual std::string kept() const = 0;
  // True when the reader of what it writes went away (a broken pipe): the run then ends as a
  // broken pipe ends any writer, quietly.
  virtual bool readerGone() const { return false; }
};
