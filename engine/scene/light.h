#pragma once
// Fixed-function lights read from scene files, and the scene's light list that hands them to
// the device.
#include <memory>
#include <vector>

#include "engine/scene/matrix.h"
#include "platform/d3d9/d3d9types.h"

namespace halcyon {

class Light {
 public:
  virtual ~Light() = default;
  D3DLIGHT9& data() { return light_; }
  const D3DLIGHT9& data() const { return light_; }
  DWORD index = 0;  // place in the device's light table, given when the list applies it

  // Whether the light should be on for something inside the box (min x, y, z, max x, y, z).
  virtual bool reaches(const float (&box)[6]) const;

 protected:
  explicit Light(D3DLIGHTTYPE type);
  D3DLIGHT9 light_{};
};

// White, unattenuated light; a range of 0 until the file gives one.
class PointLight : public Light {
 public:
  explicit PointLight(Vec3 position);
};

class DirLight : public Light {
 public:
  explicit DirLight(Vec3 direction);
  bool reaches(const float (&)[6]) const override { return true; }
};

class SpotLight : public Light {
 public:
  SpotLight(Vec3 position, Vec3 direction);
};

class LightList {
 public:
  void add(std::unique_ptr<Light> light) { lights_.push_back(std::move(light)); }
  size_t count() const { return lights_.size(); }
  Light* at(size_t i) const { return i < lights_.size() ? lights_[i].get() : nullptr; }
  void clear() { lights_.clear(); }

  // Each light takes its list position as index and is set on the device.
  bool applyAll();
  bool enableAll();
  // Each light switches itself on or off by whether it reaches the box.
  bool enableByTest(const float (&box)[6]);
  // Closes a pass: every light of the list off again.
  bool finish();

 private:
  std::vector<std::unique_ptr<Light>> lights_;
};

}  // namespace halcyon
