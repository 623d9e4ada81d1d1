// The preview's window: a plain X11 window inside the host's preview pane. It needs no
// OpenGL and no SDL; it only shows a bitmap on every exposure.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <bit>
#include <vector>

#include "platform/window/bmp_image.h"
#include "platform/window/message_translation.h"
#include "platform/window/window_factory.h"
#include "platform/window/x11_errors.h"

namespace platform {
namespace {

class X11SaverWindow final : public SaverWindow {
 public:
  X11SaverWindow(WindowClass windowClass, uint32_t style, Display* display, Window window, Atom deleteAtom,
                 Visual* visual, int depth, Colormap colormap)
      : SaverWindow(std::move(windowClass), style),
        display_(display),
        window_(window),
        deleteAtom_(deleteAtom),
        visual_(visual),
        depth_(depth),
        colormap_(colormap) {}
  ~X11SaverWindow() override { closeNative(); }

  Rect clientRect() const override {
    XWindowAttributes a;
    if (!alive() || !XGetWindowAttributes(display_, window_, &a)) return {};
    return Rect{0, 0, a.width, a.height};
  }

  Rect windowRect() const override {
    XWindowAttributes a;
    if (!alive() || !XGetWindowAttributes(display_, window_, &a)) return {};
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(display_, window_, a.root, 0, 0, &x, &y, &child);
    return Rect{x, y, x + a.width, y + a.height};
  }

  bool paintBitmap(const uint8_t* bitmap, std::size_t size, int x, int y) override {
    Image image;
    if (!alive() || !decodeBitmap(bitmap, size, image)) return false;
    if (visual_->c_class != TrueColor && visual_->c_class != DirectColor) return false;
    const Rect client = clientRect();
    // Clip to the client area: BitBlt draws nothing outside it.
    const int left = std::max(0, x), top = std::max(0, y);
    const int right = std::min(client.right, x + image.width), bottom = std::min(client.bottom, y + image.height);
    if (right <= left || bottom <= top) return true;
    const int w = right - left, h = bottom - top;
    XImage* ximage = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                  static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (!ximage) return false;
    ximage->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(ximage->bytes_per_line) * h));
    if (!ximage->data) {
      XDestroyImage(ximage);
      return false;
    }
    const auto scale = [](uint8_t v, unsigned long mask) -> unsigned long {
      if (mask == 0) return 0;
      const int shift = std::countr_zero(mask);
      const unsigned long max = mask >> shift;
      return ((static_cast<unsigned long>(v) * max + 127) / 255) << shift;
    };
    for (int row = 0; row < h; ++row) {
      for (int col = 0; col < w; ++col) {
        const uint8_t* p = image.rgb.data() +
                           (static_cast<std::size_t>(row + top - y) * static_cast<std::size_t>(image.width) +
                            static_cast<std::size_t>(col + left - x)) *
                               3;
        XPutPixel(ximage, col, row,
                  scale(p[0], visual_->red_mask) | scale(p[1], visual_->green_mask) | scale(p[2], visual_->blue_mask));
      }
    }
    GC gc = XCreateGC(display_, window_, 0, nullptr);
    const unsigned long before = x11ErrorCount();
    XPutImage(display_, window_, gc, ximage, 0, 0, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFreeGC(display_, gc);
    XDestroyImage(ximage);
    XSync(display_, False);
    return x11ErrorCount() == before;
  }

  bool capture(Image& out) override {
    if (!alive()) return false;
    const Rect client = clientRect();
    if (client.width() <= 0 || client.height() <= 0) return false;
    const unsigned long before = x11ErrorCount();
    XImage* ximage = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(client.width()),
                               static_cast<unsigned>(client.height()), AllPlanes, ZPixmap);
    XSync(display_, False);
    if (!ximage || x11ErrorCount() != before) {
      if (ximage) XDestroyImage(ximage);
      return false;
    }
    const auto channel = [](unsigned long pixel, unsigned long mask) -> uint8_t {
      if (mask == 0) return 0;
      const int shift = std::countr_zero(mask);
      const unsigned long max = mask >> shift;
      return static_cast<uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
    };
    Image image;
    image.width = client.width();
    image.height = client.height();
    image.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    std::size_t at = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const unsigned long p = XGetPixel(ximage, x, y);
        image.rgb[at++] = channel(p, visual_->red_mask);
        image.rgb[at++] = channel(p, visual_->green_mask);
        image.rgb[at++] = channel(p, visual_->blue_mask);
      }
    }
    XDestroyImage(ximage);
    out = std::move(image);
    return true;
  }

  bool setTitle(const std::string& title) override {
    if (!alive()) return false;
    XStoreName(display_, window_, title.c_str());
    XFlush(display_);
    return true;
  }

  uint64_t x11Window() const override { return alive() ? static_cast<uint64_t>(window_) : 0; }

 protected:
  void pumpNative(int timeoutMs) override {
    if (!display_) return;
    if (timeoutMs != 0 && XPending(display_) == 0) {
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      ::poll(&fd, 1, timeoutMs);
    }
    std::vector<WindowMessage> messages;
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == DestroyNotify && event.xdestroywindow.window == window_) gone_ = true;
      translateXEvent(event, window_, deleteAtom_, messages);
    }
    for (const WindowMessage& m : messages) {
      if (m.message == WM_PAINT) markPaint();
      else
        enqueue(m);
    }
  }

  void closeNative() override {
    if (!display_) return;
    if (!gone_ && window_) XDestroyWindow(display_, window_);
    if (colormap_) XFreeColormap(display_, colormap_);
    XSync(display_, False);
    XCloseDisplay(display_);
    display_ = nullptr;
    window_ = 0;
  }

 private:
  bool alive() const { return display_ != nullptr && window_ != 0 && !gone_; }

  Display* display_;
  Window window_;
  Atom deleteAtom_;
  Visual* visual_;
  int depth_;
  Colormap colormap_;
  bool gone_ = false;
};

}  // namespace

std::optional<Rect> x11ClientRect(uint64_t window) {
  if (window == 0) return std::nullopt;
  installX11ErrorHandler();
  Display* display = XOpenDisplay(nullptr);
  if (!display) return std::nullopt;
  XWindowAttributes a;
  const unsigned long before = x11ErrorCount();
  const Status ok = XGetWindowAttributes(display, static_cast<Window>(window), &a);
  XSync(display, False);
  const bool good = ok && x11ErrorCount() == before;
  XCloseDisplay(display);
  if (!good) return std::nullopt;
  return Rect{0, 0, a.width, a.height};
}

std::unique_ptr<SaverWindow> createX11Window(const WindowClass& windowClass, const std::string& title, uint32_t style,
                                             uint64_t parent, const Rect& rect) {
  installX11ErrorHandler();
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  survivesDisplayLoss(display);
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const Window parentWindow = parent != 0 ? static_cast<Window>(parent) : root;
  const unsigned long before = x11ErrorCount();
  XWindowAttributes parentAttributes;
  if (!XGetWindowAttributes(display, parentWindow, &parentAttributes) ||
      (XSync(display, False), x11ErrorCount() != before)) {
    XCloseDisplay(display);
    return nullptr;
  }
  // The default visual with its own colormap works inside hosts of any depth; taking the
  // parent's visual fails on 32-bit-deep host windows.
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  const Colormap colormap = XCreateColormap(display, root, visual, AllocNone);
  XSetWindowAttributes attributes{};
  attributes.colormap = colormap;
  attributes.border_pixel = 0;
  attributes.background_pixel = BlackPixel(display, screen);
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  const unsigned w = static_cast<unsigned>(std::max(1, rect.width()));
  const unsigned h = static_cast<unsigned>(std::max(1, rect.height()));
  const Window window = XCreateWindow(display, parentWindow, rect.left, rect.top, w, h, 0, depth, InputOutput, visual,
                                      CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &attributes);
  XSync(display, False);
  if (window == 0 || x11ErrorCount() != before) {
    XFreeColormap(display, colormap);
    XCloseDisplay(display);
    return nullptr;
  }
  Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  if (parent == 0) {
    XSetWMProtocols(display, window, &deleteAtom, 1);
    // Ask the window manager to keep the requested place.
    XSizeHints hints{};
    hints.flags = PPosition | USPosition | PSize;
    hints.x = rect.left;
    hints.y = rect.top;
    hints.width = static_cast<int>(w);
    hints.height = static_cast<int>(h);
    XSetWMNormalHints(display, window, &hints);
    // Lets hosts and tools find the window of this process.
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
  }
  XStoreName(display, window, title.c_str());
  if (style & WS_VISIBLE) XMapWindow(display, window);
  XSync(display, False);
  return std::make_unique<X11SaverWindow>(windowClass, style, display, window, deleteAtom, visual, depth, colormap);
}

}  // namespace platform
