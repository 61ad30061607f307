// The left mouse button's state asked of the window system.
#include "app/qt/mouse_buttons.h"

#include <cstdlib>
#include <memory>

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace quorvane {

namespace {

// True when the X server reports the left button down; also true where there
// is no X server to ask, leaving the decision to the toolkit's state.
bool ServerSaysLeftDown() {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return true;
  xcb_connection_t* connection = x11->connection();
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (screen == nullptr) return true;
  const std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr),
      &std::free);
  // Core button 1 is the logical left button: a left-handed mapping is
  // applied by the server before this mask is kept.
  return reply != nullptr && (reply->mask & XCB_BUTTON_MASK_1) != 0;
}

}  // namespace

bool LeftMouseButtonDown() {
  if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) return false;
  return ServerSaysLeftDown();
}

}  // namespace quorvane
