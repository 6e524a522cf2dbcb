#include "host/VideoFormat.h"

#include <cctype>
#include <vector>

namespace {

// Browsers show a GIF delay under 2 hundredths of a second, and an animated WebP frame of 10 ms
// or less, as a tenth of a second: faster rates would play slowly and unevenly.
const VideoFormat kFormats[] = {
    {".mp4", "H.264 video", "mp4", "libx264", false, true, 0.0, false},
    {".webm", "VP9 video", "webm", "libvpx-vp9", false, false, 0.0, true},
    {".mkv", "lossless FFV1 video", "matroska", "ffv1", true, false, 0.0, true},
    {".gif", "animated GIF", "gif", "gif", false, false, 50.0, true},
    {".webp", "animated WebP", "webp", "libwebp_anim", false, false, 90.0, false},
};

}  // namespace

const VideoFormat* videoFormatOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return nullptr;
  }
  std::string extension;
  for (size_t i = dot; i < path.size(); i++) {
    extension += static_cast<char>(std::tolower(static_cast<unsigned char>(path[i])));
  }
  for (const VideoFormat& format : kFormats) {
    if (extension == format.extension && dot > (slash == std::string::npos ? 0 : slash + 1)) {
      return &format;
    }
  }
  return nullptr;
}

std::string videoExtensions(bool lossyOnly) {
  std::vector<const char*> named;
  for (const VideoFormat& format : kFormats) {
    if (!lossyOnly || !format.lossless) {
      named.push_back(format.extension);
    }
  }
  std::string text;
  for (size_t i = 0; i < named.size(); i++) {
    text += (i == 0 ? "" : i + 1 == named.size() ? " or " : ", ") + std::string(named[i]);
  }
  return text;
}
