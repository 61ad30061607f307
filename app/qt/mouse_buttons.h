// Whether the left mouse button is down now, as the system sees it: the step
// buttons' hold must end with the operator's finger, even when the release
// went to a box or another window and never reached the panel.
#pragma once

namespace quorvane {

// On X11 the server's pointer state, which no window's event handling can
// miss; there and elsewhere also the toolkit's own button state, which every
// release delivered to any of the program's windows updates (a box's too).
// Down only when both say so, so a doubt ends a hold rather than prolongs it.
bool LeftMouseButtonDown();

}  // namespace quorvane
