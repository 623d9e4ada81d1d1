#pragma once
// Whether this machine can run the OpenGL device at all: an OpenGL 3.3 core context can be
// made on the display. Asked once at start-up, before any window of the saver exists.
namespace platform {

// Makes a hidden window with a 3.3 core context and lets both go again; false when the
// display, the window or the context cannot be had or the context is older than 3.3.
bool openGLRuntimeUsable();

// In a build with AddressSanitizer, keeps the graphics driver of the current context loaded
// until the process ends; elsewhere it does nothing. The leak check cannot look into a driver
// that was unloaded with its last context, so everything the driver still held then would
// be reported as lost by the program.
void keepGraphicsDriverLoaded();

}  // namespace platform
