#include "engine/scene/light.h"

#include <cmath>

#include "engine/scene/device_glue.h"

namespace halcyon {

namespace {
D3DVECTOR toD3D(Vec3 v) { return {v.x, v.y, v.z}; }
}  // namespace

Light::Light(D3DLIGHTTYPE type) {
  light_.Type = type;
  light_.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  light_.Specular = {0.0f, 0.0f, 0.0f, 0.0f};
  light_.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
  light_.Attenuation0 = 1.0f;
  light_.Falloff = 1.0f;
}

bool Light::reaches(const float (&box)[6]) const {
  if (light_.Range <= 0.0f) return true;
  // Distance from the light to the nearest point of the box.
  const float p[3] = {light_.Position.x, light_.Position.y, light_.Position.z};
  float d2 = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float below = box[i] - p[i], above = p[i] - box[i + 3];
    const float d = below > 0.0f ? below : (above > 0.0f ? above : 0.0f);
    d2 += d * d;
  }
  return d2 <= light_.Range * light_.Range;
}

PointLight::PointLight(Vec3 position) : Light(D3DLIGHT_POINT) { light_.Position = toD3D(position); }

DirLight::DirLight(Vec3 direction) : Light(D3DLIGHT_DIRECTIONAL) { light_.Direction = toD3D(direction); }

SpotLight::SpotLight(Vec3 position, Vec3 direction) : Light(D3DLIGHT_SPOT) {
  light_.Position = toD3D(position);
  light_.Direction = toD3D(direction);
}

bool LightList::applyAll() {
  IDirect3DDevice9* device = scenedevice::device();
  if (!device) return false;
  bool ok = true;
  for (size_t i = 0; i < lights_.size(); ++i) {
    lights_[i]->index = DWORD(i);
    ok = SUCCEEDED(device->SetLight(DWORD(i), &lights_[i]->data())) && ok;
  }
  return ok;
}

namespace {

// Switches every light on or off as `on` says for it; false when the device is gone or any
// switch failed (the others are still made).
template <typename On>
bool switchEach(const std::vector<std::unique_ptr<Light>>& lights, On on) {
  IDirect3DDevice9* device = scenedevice::device();
  if (!device) return false;
  bool ok = true;
  for (const auto& light : lights) ok = SUCCEEDED(device->LightEnable(light->index, on(*light))) && ok;
  return ok;
}

}  // namespace

bool LightList::enableAll() {
  return switchEach(lights_, [](const Light&) { return TRUE; });
}

bool LightList::enableByTest(const float (&box)[6]) {
  return switchEach(lights_, [&](const Light& light) { return BOOL(light.reaches(box)); });
}

bool LightList::finish() {
  return switchEach(lights_, [](const Light&) { return FALSE; });
}

}  // namespace halcyon
