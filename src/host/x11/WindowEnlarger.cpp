#include "host/x11/WindowEnlarger.h"

#include <GL/glext.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

#include "host/DrawnSize.h"

bool WindowEnlarger::supports(Display* display, const XVisualInfo& visual) {
  const std::uint32_t one = 1;
  const bool littleEndian = *reinterpret_cast<const unsigned char*>(&one) == 1;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  int bitsPerPixel = 0;
  for (int i = 0; i < count; i++) {
    if (formats[i].depth == visual.depth) {
      bitsPerPixel = formats[i].bits_per_pixel;
    }
  }
  if (formats != nullptr) {
    XFree(formats);
  }
  int eventBase = 0;
  int errorBase = 0;
  return visual.c_class == TrueColor && bitsPerPixel == 32 && visual.red_mask == 0xff0000 &&
         visual.green_mask == 0xff00 && visual.blue_mask == 0xff &&
         ImageByteOrder(display) == (littleEndian ? LSBFirst : MSBFirst) &&
         XRenderQueryExtension(display, &eventBase, &errorBase) &&
         XRenderFindVisualFormat(display, visual.visual) != nullptr;
}

bool WindowEnlarger::resize(Display* display, Window window, const XVisualInfo& visual,
                            int drawnWidth, int drawnHeight, int windowWidth, int windowHeight,
                            const std::function<bool()>& failedSinceSync, std::string* error,
                            const std::vector<XRectangle>& places) {
  release();
  display_ = display;
  window_ = window;
  drawnWidth_ = drawnWidth;
  drawnHeight_ = drawnHeight;
  places_ = places;
  if (places_.empty()) {
    places_.push_back(XRectangle{0, 0, static_cast<unsigned short>(windowWidth),
                                 static_cast<unsigned short>(windowHeight)});
  }

  const Window root = DefaultRootWindow(display_);
  colormap_ = XCreateColormap(display_, root, visual.visual, AllocNone);
  XSetWindowAttributes attributes = {};
  attributes.colormap = colormap_;
  attributes.border_pixel = 0;
  hidden_ = XCreateWindow(display_, root, 0, 0, static_cast<unsigned>(drawnWidth),
                          static_cast<unsigned>(drawnHeight), 0, visual.depth, InputOutput,
                          visual.visual, CWColormap | CWBorderPixel, &attributes);
  if (!makePixmap(visual, failedSinceSync)) {
    *error = "cannot make a " + std::to_string(drawnWidth) + "x" + std::to_string(drawnHeight) +
             " image for the window: " + std::strerror(errno);
    release();
    return false;
  }
  XRenderPictFormat* format = XRenderFindVisualFormat(display_, visual.visual);
  source_ = XRenderCreatePicture(display_, pixmap_, format, 0, nullptr);
  target_ = XRenderCreatePicture(display_, window_, format, 0, nullptr);
  XRenderSetPictureFilter(display_, source_, FilterNearest, nullptr, 0);
  return true;
}

bool WindowEnlarger::makePixmap(const XVisualInfo& visual,
                                const std::function<bool()>& failedSinceSync) {
  const auto width = static_cast<unsigned>(drawnWidth_);
  const auto height = static_cast<unsigned>(drawnHeight_);
  const auto depth = static_cast<unsigned>(visual.depth);
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  if (XShmQueryExtension(display_)) {
    shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    shm_.shmaddr = shm_.shmid < 0 ? reinterpret_cast<char*>(-1)
                                  : static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    if (shm_.shmid >= 0) {
      // Marked for removal now: it goes when both sides detach, even if we are killed.
      shmctl(shm_.shmid, IPC_RMID, nullptr);
    }
    if (shm_.shmaddr != reinterpret_cast<char*>(-1)) {
      shm_.readOnly = False;  // a pixmap on it is one the server may draw on
      XShmAttach(display_, &shm_);
      XSync(display_, False);
      // A server on another machine cannot attach our memory.
      shared_ = !failedSinceSync();
      if (!shared_) {
        shmdt(shm_.shmaddr);
      }
    }
  }
  if (shared_) {
    pixels_ = reinterpret_cast<std::uint32_t*>(shm_.shmaddr);
    int major = 0;
    int minor = 0;
    Bool pixmaps = False;
    sharedPixmap_ = XShmQueryVersion(display_, &major, &minor, &pixmaps) && pixmaps &&
                    XShmPixmapFormat(display_) == ZPixmap;
    if (sharedPixmap_) {
      pixmap_ = XShmCreatePixmap(display_, window_, shm_.shmaddr, &shm_, width, height, depth);
      return true;
    }
    image_ = XShmCreateImage(display_, visual.visual, depth, ZPixmap, shm_.shmaddr, &shm_, width,
                             height);
  } else {
    small_.assign(bytes / 4, 0);
    pixels_ = small_.data();
    image_ = XCreateImage(display_, visual.visual, depth, ZPixmap, 0,
                          reinterpret_cast<char*>(pixels_), width, height, 32, 0);
  }
  if (image_ == nullptr || image_->bytes_per_line != drawnWidth_ * 4) {
    return false;
  }
  pixmap_ = XCreatePixmap(display_, window_, width, height, depth);
  gc_ = XCreateGC(display_, pixmap_, 0, nullptr);
  return true;
}

void WindowEnlarger::release() {
  if (source_ != 0) {
    XRenderFreePicture(display_, source_);
    XRenderFreePicture(display_, target_);
    source_ = target_ = 0;
  }
  if (gc_ != nullptr) {
    XFreeGC(display_, gc_);
    gc_ = nullptr;
  }
  if (pixmap_ != 0) {
    XFreePixmap(display_, pixmap_);
    pixmap_ = 0;
  }
  if (image_ != nullptr) {
    image_->data = nullptr;  // ours, not Xlib's to free
    XDestroyImage(image_);
    image_ = nullptr;
  }
  if (shared_) {
    XShmDetach(display_, &shm_);
    XSync(display_, False);
    shmdt(shm_.shmaddr);
    shared_ = sharedPixmap_ = false;
  }
  small_.clear();
  small_.shrink_to_fit();
  pixels_ = nullptr;
  if (hidden_ != 0) {
    XDestroyWindow(display_, hidden_);
    XFreeColormap(display_, colormap_);
    hidden_ = colormap_ = 0;
  }
}

void WindowEnlarger::present() {
  // The server must be done with the last frame's pixels before they are written again; by
  // now it long has, so this round trip does not wait, as one after the stretch would.
  if (shared_) {
    XSync(display_, False);
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, drawnWidth_, drawnHeight_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels_);
  const auto width = static_cast<unsigned>(drawnWidth_);
  const auto height = static_cast<unsigned>(drawnHeight_);
  if (shared_ && !sharedPixmap_) {
    XShmPutImage(display_, pixmap_, gc_, image_, 0, 0, 0, 0, width, height, False);
  } else if (!shared_) {
    XPutImage(display_, pixmap_, gc_, image_, 0, 0, 0, 0, width, height);
  }
  for (const XRectangle& place : places_) {
    // Each pixel of the place samples the pixmap at its centre mapped back by this transform:
    // onto the part of the frame that covers the place, upside down, since OpenGL reads the
    // bottom row first.
    const PixelArea part =
        coverCrop(PixelSize{drawnWidth_, drawnHeight_}, PixelSize{place.width, place.height});
    XTransform transform = {{{XDoubleToFixed(static_cast<double>(part.width) / place.width), 0,
                              XDoubleToFixed(part.left)},
                             {0, XDoubleToFixed(-static_cast<double>(part.height) / place.height),
                              XDoubleToFixed(part.bottom + part.height)},
                             {0, 0, XDoubleToFixed(1.0)}}};
    XRenderSetPictureTransform(display_, source_, &transform);
    XRenderComposite(display_, PictOpSrc, source_, 0, target_, 0, 0, 0, 0, place.x, place.y,
                     place.width, place.height);
  }
}
