#pragma once
// Xlib ends the process on any protocol error unless a handler says otherwise, and a host
// may destroy its window at any moment. The handler installed here counts errors instead;
// calls that can meet one compare the count before and after (with an XSync in between).
//
// Losing the connection itself (the server ends at a logout or restarts) is no reason to
// die in the middle of a frame either: the loss is noted, Xlib turns every later call on
// that connection into a no-op, and the frame loop ends the run in its usual order. A loss
// before the saver's window exists, or one the OpenGL library crashes on (or the X libraries
// abort on), ends the process at once with the same line and exit code.
typedef struct _XDisplay Display;

namespace platform {

// Makes the counting handler the process's X error handler, and the noting one its I/O
// error handler. Safe to call again; SDL puts a handler of its own in place when its video
// starts, so call it after that too.
void installX11ErrorHandler();
unsigned long x11ErrorCount();

// Keeps a lost connection from ending the process (each connection the saver opens); the
// loss of any other ends it, saying so.
void survivesDisplayLoss(Display* display);
// True once any connection to the X server was lost.
bool x11DisplayLost();
// Also true when the display's local server no longer takes connections.
bool x11DisplayLostNow();

}  // namespace platform
