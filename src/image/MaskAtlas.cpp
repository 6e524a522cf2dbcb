#include "image/MaskAtlas.h"

#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg's error manager, extended to keep the library's messages for the caller instead of
// printing them, and the point a fatal error jumps back to.
struct CapturedErrors {
  jpeg_error_mgr pub;
  jmp_buf fatal;
  bool failed;                    // a fatal error ended the decode
  int warnings;                   // corrupt or missing data that libjpeg papered over
  char message[JMSG_LENGTH_MAX];  // the fatal error's text, else the first warning's
};

void CaptureFatalError(j_common_ptr cinfo) {
  CapturedErrors* errors = reinterpret_cast<CapturedErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  errors->failed = true;
  longjmp(errors->fatal, 1);
}

// Level -1 is a warning; levels from 0 up are trace output, of no interest here.
void CaptureMessage(j_common_ptr cinfo, int level) {
  CapturedErrors* errors = reinterpret_cast<CapturedErrors*>(cinfo->err);
  if (level < 0 && errors->warnings++ == 0) {
    (*cinfo->err->format_message)(cinfo, errors->message);
  }
}

// Everything one probe touches. It lives in the caller's frame rather than in the frame that
// calls setjmp, so its contents are still defined after CaptureFatalError's longjmp.
struct AtlasProbe {
  jpeg_decompress_struct cinfo;
  CapturedErrors errors;
  FILE* file;
  bool headerRead;
  JDIMENSION width;
  JDIMENSION height;
  int components;
};

bool HasUsableShape(const AtlasProbe* probe) {
  return probe->components == 1 && probe->width >= kAtlasMinimumWidth &&
         probe->height >= kAtlasMinimumHeight && probe->width <= kAtlasMaximumSide &&
         probe->height <= kAtlasMaximumSide;
}

// Reads the header and, for a grey image of a usable size, decodes every row into one row
// buffer from libjpeg's own pool. libjpeg's fatal errors longjmp back to the setjmp below
// across libjpeg's frames only, so this function holds plain C data: no destructor may be
// skipped on the way back.
void ProbeJpeg(AtlasProbe* probe) {
  probe->cinfo.err = jpeg_std_error(&probe->errors.pub);
  probe->errors.pub.error_exit = CaptureFatalError;
  probe->errors.pub.emit_message = CaptureMessage;
  if (setjmp(probe->errors.fatal)) {
    return;
  }
  jpeg_create_decompress(&probe->cinfo);
  jpeg_stdio_src(&probe->cinfo, probe->file);
  jpeg_read_header(&probe->cinfo, TRUE);
  probe->headerRead = true;
  probe->width = probe->cinfo.image_width;
  probe->height = probe->cinfo.image_height;
  probe->components = probe->cinfo.num_components;
  if (!HasUsableShape(probe)) {
    return;  // refused whatever its data: not worth decoding
  }

  jpeg_start_decompress(&probe->cinfo);
  const JDIMENSION rowSamples =
      probe->cinfo.output_width * static_cast<JDIMENSION>(probe->cinfo.output_components);
  JSAMPARRAY row = (*probe->cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&probe->cinfo),
                                                     JPOOL_IMAGE, rowSamples, 1);
  while (probe->cinfo.output_scanline < probe->cinfo.output_height) {
    if (jpeg_read_scanlines(&probe->cinfo, row, 1) != 1) {
      break;  // a stdio source never suspends; finishing early then fails with a message
    }
  }
  jpeg_finish_decompress(&probe->cinfo);
}

}  // namespace

bool IsUsableMaskAtlas(const std::string& path, std::string* problem) {
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

  AtlasProbe probe;
  std::memset(&probe, 0, sizeof probe);
  probe.file = std::fopen(path.c_str(), "rb");
  if (probe.file == nullptr) {
    *problem = std::string("unreadable (") + std::strerror(errno) + ")";
    return false;
  }
  ProbeJpeg(&probe);
  jpeg_destroy_decompress(&probe.cinfo);
  std::fclose(probe.file);

  const std::string size = std::to_string(probe.width) + "x" + std::to_string(probe.height);
  const std::string libjpeg = std::string(" (libjpeg: ") + probe.errors.message + ")";
  if (!probe.headerRead) {
    *problem = "not a JPEG image" + libjpeg;
  } else if (probe.components != 1) {
    *problem = "a colour image with " + std::to_string(probe.components) + " components";
  } else if (probe.width < kAtlasMinimumWidth || probe.height < kAtlasMinimumHeight) {
    *problem = size + " pixels, smaller than " + std::to_string(kAtlasMinimumWidth) + "x" +
               std::to_string(kAtlasMinimumHeight);
  } else if (probe.width > kAtlasMaximumSide || probe.height > kAtlasMaximumSide) {
    *problem = size + " pixels, larger than " + std::to_string(kAtlasMaximumSide) + " on a side";
  } else if (probe.errors.failed || probe.errors.warnings > 0) {
    *problem = "damaged or cut short" + libjpeg;
  } else {
    return true;
  }
  return false;
}
