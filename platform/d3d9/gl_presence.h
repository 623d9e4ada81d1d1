#pragma once
// Whether this machine can run the OpenGL device at all: an OpenGL 3.3 core context can be
// made on the display. Asked once at start-up, before any window of the saver exists.
namespace platform {

// Makes a hidden window with a 3.3 core context and lets both go again; false when the
// display, the window or the context cannot be had or the context is older than 3.3.
bool openGLRuntimeUsable();

}  // namespace platform
