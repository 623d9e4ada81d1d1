#pragma once
// Xlib ends the process on any protocol error unless a handler says otherwise, and a host
// may destroy its window at any moment. The handler installed here counts errors instead;
// calls that can meet one compare the count before and after (with an XSync in between).
namespace platform {

// Makes the counting handler the process's X error handler. Safe to call again; SDL puts a
// handler of its own in place when its video starts, so call it after that too.
void installX11ErrorHandler();
unsigned long x11ErrorCount();

}  // namespace platform
