// Asks an X window to close the way a window manager's close box does: by sending
// its client the WM_DELETE_WINDOW message. The tests run without a window manager,
// and xdotool's windowclose destroys the window instead of asking.
//
//   send_wm_delete WINDOW-ID     (decimal or 0x hex; DISPLAY names the server)

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct CloseDisplay {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: send_wm_delete WINDOW-ID\n");
    return 2;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long window = std::strtoul(argv[1], &end, 0);
  if (errno != 0 || end == argv[1] || *end != '\0' || window == 0) {
    std::fprintf(stderr, "send_wm_delete: not a window id: %s\n", argv[1]);
    return 2;
  }
  const std::unique_ptr<Display, CloseDisplay> display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr, "send_wm_delete: cannot open the display\n");
    return 1;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  if (XSendEvent(display.get(), window, False, NoEventMask, &event) == 0) {
    std::fprintf(stderr, "send_wm_delete: the server refused the message\n");
    return 1;
  }
  XSync(display.get(), False);
  return 0;
}
