#include "image/MaskAtlas.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "image/LoadJPEGMask.h"

bool isUsableMaskAtlas(const std::string& path, std::string* problem, std::string* warning) {
  // Looked at before opening: opening a folder succeeds, and opening a pipe would block.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *problem = std::string("unreadable (") + std::strerror(errno) + ")";
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *problem = "a folder";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *problem = "not a regular file";
    return false;
  }

  // Exactly what the loader can draw as a mask, decoded the loader's way.
  JPEGDecodeRules rules = {};
  rules.maxSide = kAtlasMaximumSide;
  rules.minWidth = kAtlasMinimumWidth;
  rules.minHeight = kAtlasMinimumHeight;
  rules.components = 1;
  DecodedJPEG decoded;
  const DecodeJPEGResult result = decodeJpegFile(path.c_str(), rules, &decoded);
  const std::string size = std::to_string(decoded.width) + "x" + std::to_string(decoded.height);
  const std::string libjpeg = std::string(" (libjpeg: ") + decoded.fatalMessage + ")";
  warning->clear();
  if (result == kJPEGCannotOpen) {
    *problem = std::string("unreadable (") + std::strerror(decoded.openError) + ")";
  } else if (!decoded.headerRead) {
    *problem = "not a JPEG image" + libjpeg;
  } else if (decoded.components != 1) {
    *problem = "a colour image with " + std::to_string(decoded.components) + " components";
  } else if (decoded.width < kAtlasMinimumWidth || decoded.height < kAtlasMinimumHeight) {
    *problem = size + " pixels, smaller than " + std::to_string(kAtlasMinimumWidth) + "x" +
               std::to_string(kAtlasMinimumHeight);
  } else if (decoded.width > kAtlasMaximumSide || decoded.height > kAtlasMaximumSide) {
    *problem = size + " pixels, larger than " + std::to_string(kAtlasMaximumSide) + " on a side";
  } else if (result != kJPEGDecoded) {
    *problem = "damaged" + libjpeg;
  } else {
    if (decoded.warnings > 0) {
      *warning = decoded.firstWarning;
    }
    return true;
  }
  return false;
}
