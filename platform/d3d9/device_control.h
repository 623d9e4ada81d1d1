#pragma once
// Controls of the port that the device interface itself does not have. Both devices answer
// them; callers reach them with deviceControl(device).
#include <vector>

#include "platform/d3d9/d3d9.h"

class DeviceControl {
 public:
  // Starts a simulated loss: TestCooperativeLevel and Present report D3DERR_DEVICELOST for
  // `lostChecks` calls of TestCooperativeLevel, then D3DERR_DEVICENOTRESET until a Reset
  // succeeds. Reset fails while the device still reports lost.
  virtual void simulateLoss(int lostChecks = 1) = 0;
  // Makes every later Present keep a copy of the picture it showed (after the gamma ramp).
  virtual void setPresentCapture(bool on) = 0;
  // The last captured picture, rows top to bottom, each pixel 0xAARRGGBB. False when nothing
  // was captured.
  virtual bool presentedPixels(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height) = 0;
  // While on, draws have the driver build what they need (programs and their code) but cover
  // no pixel, and Present shows nothing: a frame drawn so builds the first shown frame's
  // programs apart from it, so that the building's memory, given back at its Present, never
  // adds to that frame's. False (and nothing changes) where draws build nothing.
  virtual bool setDrawsCoverNothing(bool on) = 0;

 protected:
  virtual ~DeviceControl() = default;
};

// Null for devices that are not ours.
DeviceControl* deviceControl(IDirect3DDevice9* device);
