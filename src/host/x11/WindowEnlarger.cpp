#define GL_GLEXT_PROTOTYPES 1
#include "host/x11/WindowEnlarger.h"

#include <GL/glext.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

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
  return visual.c_class == TrueColor && bitsPerPixel == 32 && visual.red_mask == 0xff0000 &&
         visual.green_mask == 0xff00 && visual.blue_mask == 0xff &&
         ImageByteOrder(display) == (littleEndian ? LSBFirst : MSBFirst);
}

bool WindowEnlarger::resize(Display* display, Window window, const XVisualInfo& visual,
                            int drawnWidth, int drawnHeight, int windowWidth, int windowHeight,
                            const std::function<bool()>& failedSinceSync, std::string* error) {
  release();
  display_ = display;
  window_ = window;
  drawnWidth_ = drawnWidth;
  drawnHeight_ = drawnHeight;
  windowWidth_ = windowWidth;
  windowHeight_ = windowHeight;

  glGenFramebuffers(1, &framebuffer_);
  glGenRenderbuffers(1, &color_);
  glGenRenderbuffers(1, &depth_);
  glBindRenderbuffer(GL_RENDERBUFFER, color_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, drawnWidth, drawnHeight);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, drawnWidth, drawnHeight);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    *error = "the OpenGL driver cannot draw into a " + std::to_string(drawnWidth) + "x" +
             std::to_string(drawnHeight) + " framebuffer object";
    release();
    return false;
  }
  // The view asks for the back buffer, which a framebuffer object does not have; its one
  // colour buffer is where draws and reads go whatever it asks.
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);

  small_.assign(static_cast<size_t>(drawnWidth) * static_cast<size_t>(drawnHeight), 0);
  columns_.resize(static_cast<size_t>(windowWidth));
  for (int x = 0; x < windowWidth; x++) {
    columns_[static_cast<size_t>(x)] =
        static_cast<int>(static_cast<long>(x) * drawnWidth / windowWidth);
  }
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  if (!makeImage(visual, failedSinceSync)) {
    *error = "cannot make a " + std::to_string(windowWidth) + "x" + std::to_string(windowHeight) +
             " image for the window: " + std::strerror(errno);
    release();
    return false;
  }
  return true;
}

bool WindowEnlarger::makeImage(const XVisualInfo& visual,
                               const std::function<bool()>& failedSinceSync) {
  const size_t bytes = static_cast<size_t>(windowWidth_) * static_cast<size_t>(windowHeight_) * 4;
  if (XShmQueryExtension(display_)) {
    image_ = XShmCreateImage(display_, visual.visual, static_cast<unsigned>(visual.depth), ZPixmap,
                             nullptr, &shm_, static_cast<unsigned>(windowWidth_),
                             static_cast<unsigned>(windowHeight_));
    shm_.shmid = image_ == nullptr ? -1 : shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shm_.shmid >= 0) {
      shm_.shmaddr = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
      // Marked for removal now: it goes when both sides detach, even if we are killed.
      shmctl(shm_.shmid, IPC_RMID, nullptr);
      if (shm_.shmaddr != reinterpret_cast<char*>(-1)) {
        image_->data = shm_.shmaddr;
        shm_.readOnly = True;
        XShmAttach(display_, &shm_);
        XSync(display_, False);
        // A server on another machine cannot attach our memory.
        shared_ = !failedSinceSync();
        if (shared_) {
          return true;
        }
        shmdt(shm_.shmaddr);
      }
    }
    if (image_ != nullptr) {
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
    }
  }
  plain_.assign(bytes / 4, 0);
  image_ = XCreateImage(display_, visual.visual, static_cast<unsigned>(visual.depth), ZPixmap, 0,
                        reinterpret_cast<char*>(plain_.data()), static_cast<unsigned>(windowWidth_),
                        static_cast<unsigned>(windowHeight_), 32, 0);
  return image_ != nullptr;
}

void WindowEnlarger::release() {
  if (framebuffer_ != 0) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &color_);
    glDeleteRenderbuffers(1, &depth_);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    framebuffer_ = color_ = depth_ = 0;
  }
  if (image_ != nullptr) {
    if (shared_) {
      XShmDetach(display_, &shm_);
      XSync(display_, False);
      shmdt(shm_.shmaddr);
      shared_ = false;
    }
    image_->data = nullptr;  // ours, not Xlib's to free
    XDestroyImage(image_);
    image_ = nullptr;
  }
  if (gc_ != nullptr) {
    XFreeGC(display_, gc_);
    gc_ = nullptr;
  }
  plain_.clear();
  plain_.shrink_to_fit();
}

void WindowEnlarger::present() {
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, drawnWidth_, drawnHeight_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
               small_.data());
  // The server must have copied the last frame out of the shared image before it is written
  // again; by now it long has, so this round trip does not wait, as one after the put would.
  if (shared_) {
    XSync(display_, False);
  }
  auto* out = reinterpret_cast<std::uint32_t*>(image_->data);
  const size_t stride = static_cast<size_t>(image_->bytes_per_line / 4);
  const int* columns = columns_.data();
  int lastSource = -1;
  for (int y = 0; y < windowHeight_; y++) {
    std::uint32_t* row = out + stride * static_cast<size_t>(y);
    // The window's top row shows the drawn frame's top row, which OpenGL reads back last.
    const int source =
        drawnHeight_ - 1 - static_cast<int>(static_cast<long>(y) * drawnHeight_ / windowHeight_);
    if (source == lastSource) {
      std::memcpy(row, row - stride, static_cast<size_t>(windowWidth_) * 4);
      continue;
    }
    lastSource = source;
    const std::uint32_t* in = small_.data() + static_cast<size_t>(source) * drawnWidth_;
    for (int x = 0; x < windowWidth_; x++) {
      row[x] = in[columns[x]];
    }
  }
  if (shared_) {
    XShmPutImage(display_, window_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(windowWidth_),
                 static_cast<unsigned>(windowHeight_), False);
  } else {
    XPutImage(display_, window_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(windowWidth_),
              static_cast<unsigned>(windowHeight_));
  }
}
