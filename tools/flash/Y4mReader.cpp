#include "Y4mReader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kSignature[] = "YUV4MPEG2";
constexpr int kMaxSide = 16384;
// Header and frame lines are short; a longer one is not a stream this reads.
constexpr std::size_t kMaxLine = 4096;

// A whole decimal number from 1 to `most`.
bool ParsePositive(const std::string& text, long most, long* value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos) {
    return false;
  }
  *value = std::strtol(text.c_str(), nullptr, 10);
  return *value >= 1 && *value <= most;
}

}  // namespace

bool Y4mReader::readLine(std::string* line, std::size_t limit) {
  line->clear();
  for (;;) {
    const int c = std::getc(in_);
    if (c == EOF) {
      return false;
    }
    if (c == '\n') {
      return true;
    }
    if (line->size() == limit) {
      return false;
    }
    line->push_back(static_cast<char>(c));
  }
}

bool Y4mReader::parseParameter(const std::string& token, std::string* error) {
  const std::string value = token.substr(1);
  long number = 0;
  switch (token[0]) {
    case 'W':
    case 'H':
      if (!ParsePositive(value, kMaxSide, &number)) {
        *error = "the header's size " + token + " is not a whole number from 1 to 16384";
        return false;
      }
      (token[0] == 'W' ? format_.width : format_.height) = static_cast<int>(number);
      return true;
    case 'F': {
      const std::size_t colon = value.find(':');
      long denominator = 0;
      if (colon == value.npos || !ParsePositive(value.substr(0, colon), 1000000000, &number) ||
          !ParsePositive(value.substr(colon + 1), 1000000000, &denominator)) {
        *error = "the header's frame rate " + token + " is not a fraction of whole numbers";
        return false;
      }
      format_.rateNumerator = number;
      format_.rateDenominator = denominator;
      return true;
    }
    case 'C':
      // The 4:2:0 variants differ only in where the colour sample sits, which does not matter
      // to flashes over whole fields.
      if (value == "444") {
        format_.chromaShiftX = format_.chromaShiftY = 0;
      } else if (value == "422") {
        format_.chromaShiftX = 1;
        format_.chromaShiftY = 0;
      } else if (value == "420" || value == "420jpeg" || value == "420mpeg2" ||
                 value == "420paldv") {
        format_.chromaShiftX = format_.chromaShiftY = 1;
      } else if (value == "mono") {
        format_.mono = true;
      } else {
        *error = "the colour space " + token +
                 " is not read (8-bit C444, C422, C420jpeg, C420mpeg2, C420paldv, C420 or "
                 "Cmono only)";
        return false;
      }
      return true;
    case 'X':
      if (value == "COLORRANGE=FULL") {
        format_.range = Y4mFormat::Full;
      } else if (value == "COLORRANGE=LIMITED") {
        format_.range = Y4mFormat::Limited;
      }
      return true;
    default:
      // Interlacing, pixel aspect, comments and parameters still to come change nothing here.
      return true;
  }
}

bool Y4mReader::readHeader(std::string* error) {
  if (!readLine(&line_, kMaxLine) || line_.compare(0, sizeof kSignature - 1, kSignature) != 0 ||
      (line_.size() > sizeof kSignature - 1 && line_[sizeof kSignature - 1] != ' ')) {
    *error = std::ferror(in_) ? std::string("cannot read the stream: ") + std::strerror(errno)
                              : "not a YUV4MPEG2 stream (it must begin with \"YUV4MPEG2 \")";
    return false;
  }
  // The 4:2:0 layout is the format's default.
  format_.chromaShiftX = format_.chromaShiftY = 1;
  std::size_t start = sizeof kSignature;
  while (start < line_.size()) {
    std::size_t end = line_.find(' ', start);
    if (end == line_.npos) {
      end = line_.size();
    }
    if (end > start && !parseParameter(line_.substr(start, end - start), error)) {
      return false;
    }
    start = end + 1;
  }
  if (format_.width == 0 || format_.height == 0 || format_.rateNumerator == 0) {
    *error = "the header lacks the frame's width (W), height (H) or rate (F)";
    return false;
  }
  if (static_cast<long>(format_.width) * format_.height > kMaxPixels) {
    *error = "frames of " + std::to_string(format_.width) + "x" + std::to_string(format_.height) +
             " are larger than this analyser reads (at most 3840x2160 pixels in all)";
    return false;
  }
  const std::size_t luma = static_cast<std::size_t>(format_.width) * format_.height;
  const std::size_t chroma =
      static_cast<std::size_t>(format_.chromaWidth()) * format_.chromaHeight();
  planes_.resize(luma + 2 * chroma);
  return true;
}

Y4mReader::Result Y4mReader::readFrame(std::string* error) {
  // Named only when something is wrong: a frame allocates nothing.
  const auto frame = [this] { return "frame " + std::to_string(frames_ + 1); };
  if (!readLine(&line_, kMaxLine)) {
    if (line_.empty() && std::feof(in_) && !std::ferror(in_)) {
      return End;
    }
    *error = std::ferror(in_) ? "cannot read " + frame() + ": " + std::strerror(errno)
                              : frame() + " is cut short in its FRAME line";
    return Bad;
  }
  if (line_.compare(0, 5, "FRAME") != 0 || (line_.size() > 5 && line_[5] != ' ')) {
    *error = frame() + " does not begin with FRAME";
    return Bad;
  }
  const std::size_t got = std::fread(planes_.data(), 1, planes_.size(), in_);
  if (got != planes_.size()) {
    *error = std::ferror(in_) ? "cannot read " + frame() + ": " + std::strerror(errno)
                              : frame() + " is cut short: " + std::to_string(got) + " of " +
                                    std::to_string(planes_.size()) + " bytes";
    return Bad;
  }
  frames_++;
  return Frame;
}

const std::uint8_t* Y4mReader::blueDifference() const {
  return format_.mono ? nullptr
                      : planes_.data() + static_cast<std::size_t>(format_.width) * format_.height;
}

const std::uint8_t* Y4mReader::redDifference() const {
  return format_.mono ? nullptr
                      : blueDifference() + static_cast<std::size_t>(format_.chromaWidth()) *
                                               format_.chromaHeight();
}
