// Drops files onto whatever X window lies at a point, the way a Linux file
// manager does it (the XDND protocol), so that Wine hands the program a real
// shell drop. Used by the end-to-end tests.
//
//     xdnd_drop X Y PATH...      (the display comes from $DISPLAY)
//
// Exits 0 once the target has finished with the drop, 1 when it refused it,
// 2 on any other failure or after 15 seconds.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

Display* g_display;
Window g_source;
Atom g_aware, g_enter, g_position, g_status, g_drop, g_finished, g_selection, g_copy, g_uriList;

std::string FileUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-_.~", c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// The deepest XDND-aware window under the point.
Window AwareWindowAt(int x, int y) {
  Window root = DefaultRootWindow(g_display), at = root, found = None;
  for (;;) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(g_display, at, g_aware, 0, 1, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
      found = at;
      XFree(data);
    }
    int childX, childY;
    Window child = None;
    if (!XTranslateCoordinates(g_display, root, at, x, y, &childX, &childY, &child) || child == None) break;
    at = child;
  }
  return found;
}

void Send(Window target, Atom message, long l1, long l2, long l3, long l4) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = message;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(g_source);
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(g_display, target, False, NoEventMask, &event);
  XFlush(g_display);
}

void AnswerSelection(const XSelectionRequestEvent& request, const std::string& uris) {
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = None;
  if (request.target == g_uriList) {
    XChangeProperty(g_display, request.requestor, request.property, g_uriList, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(uris.data()), static_cast<int>(uris.size()));
    reply.xselection.property = request.property;
  }
  XSendEvent(g_display, request.requestor, False, NoEventMask, &reply);
  XFlush(g_display);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: xdnd_drop X Y PATH...\n");
    return 2;
  }
  g_display = XOpenDisplay(nullptr);
  if (!g_display) return 2;
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
  std::string uris;
  for (int i = 3; i < argc; ++i) uris += FileUri(argv[i]) + "\r\n";

  g_aware = XInternAtom(g_display, "XdndAware", False);
  g_enter = XInternAtom(g_display, "XdndEnter", False);
  g_position = XInternAtom(g_display, "XdndPosition", False);
  g_status = XInternAtom(g_display, "XdndStatus", False);
  g_drop = XInternAtom(g_display, "XdndDrop", False);
  g_finished = XInternAtom(g_display, "XdndFinished", False);
  g_selection = XInternAtom(g_display, "XdndSelection", False);
  g_copy = XInternAtom(g_display, "XdndActionCopy", False);
  g_uriList = XInternAtom(g_display, "text/uri-list", False);

  const Window target = AwareWindowAt(x, y);
  if (target == None) {
    std::fprintf(stderr, "no drop target at %d,%d\n", x, y);
    return 2;
  }
  g_source = XCreateSimpleWindow(g_display, DefaultRootWindow(g_display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(g_display, g_selection, g_source, CurrentTime);

  Send(target, g_enter, 5L << 24, static_cast<long>(g_uriList), None, None);
  Send(target, g_position, 0, (static_cast<long>(x) << 16) | y, CurrentTime, static_cast<long>(g_copy));

  const std::time_t deadline = std::time(nullptr) + 15;
  bool dropped = false;
  while (std::time(nullptr) < deadline) {
    if (!XPending(g_display)) {
      struct timespec pause = {0, 10 * 1000 * 1000};
      nanosleep(&pause, nullptr);
      continue;
    }
    XEvent event;
    XNextEvent(g_display, &event);
    if (event.type == SelectionRequest) {
      AnswerSelection(event.xselectionrequest, uris);
    } else if (event.type == ClientMessage && event.xclient.message_type == g_status && !dropped) {
      if (!(event.xclient.data.l[1] & 1)) {
        std::fprintf(stderr, "the target refused the drop\n");
        return 1;
      }
      Send(target, g_drop, 0, CurrentTime, 0, 0);
      dropped = true;
    } else if (event.type == ClientMessage && event.xclient.message_type == g_finished) {
      XCloseDisplay(g_display);
      return 0;
    }
  }
  std::fprintf(stderr, "no answer from the target\n");
  return 2;
}
