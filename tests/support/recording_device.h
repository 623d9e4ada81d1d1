#pragma once
// A device on the recording render runtime, for code that takes a device itself (the state
// cache, the image loaders, the text box) rather than the engine's application.
#include "platform/d3d9/recording.h"

namespace testsupport {

// A windowed device with a width x height back buffer on `d3d`; nullptr when it is refused.
inline RecordingDevice* createRecordingDevice(RecordingDirect3D9& d3d, UINT width = 64, UINT height = 64) {
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = width;
  p.BackBufferHeight = height;
  p.Windowed = TRUE;
  IDirect3DDevice9* made = nullptr;
  if (d3d.CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &made) != D3D_OK)
    return nullptr;
  return static_cast<RecordingDevice*>(made);
}

}  // namespace testsupport
