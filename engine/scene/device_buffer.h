#pragma once
// A device vertex or index buffer with the settings it was made from, handed out in regions.
// It is a device object: released when the device is lost and made and filled again from
// the kept geometry when the device comes back.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/device/application.h"
#include "platform/d3d9/d3d9.h"

namespace halcyon {

struct BufferDescription {
  enum Kind : uint32_t { kVertex = 1, kIndex = 2 };
  uint32_t kind = kVertex;
  DWORD format = 0;  // FVF of a vertex buffer, D3DFMT_INDEX16/32 of an index buffer
  uint32_t stride = 0;
  DWORD usage = 0;
  DWORD pool = D3DPOOL_DEFAULT;
  uint32_t byteSize = 0;
  DWORD flags = 0;

  bool operator==(const BufferDescription&) const = default;
};

class DeviceBuffer;

struct BufferRegion {
  DeviceBuffer* buffer = nullptr;
  uint32_t offset = 0;  // bytes
  uint32_t size = 0;    // bytes
  uint32_t count = 0;   // vertices or indices
};

class DeviceBuffer : public DeviceObject {
 public:
  explicit DeviceBuffer(const BufferDescription& description);
  ~DeviceBuffer() override;
  DeviceBuffer(const DeviceBuffer&) = delete;
  DeviceBuffer& operator=(const DeviceBuffer&) = delete;

  // Makes the device buffer; false without a device or when the device refuses.
  bool create();
  // Takes `size` bytes from the unused end; false when they do not fit.
  bool reserve(uint32_t size, uint32_t& offset);
  // Locks a byte range for writing; null on failure.
  uint8_t* lock(uint32_t offset, uint32_t size, DWORD flags);
  bool unlock();
  // Work to redo after the buffer is made again (filling a region).
  void addRefill(std::function<bool()> refill) { refills_.push_back(std::move(refill)); }

  bool restore() override;
  bool invalidate() override;

  const BufferDescription& description() const { return description_; }
  bool dynamic() const { return (description_.usage & D3DUSAGE_DYNAMIC) != 0; }
  IDirect3DVertexBuffer9* vertices() const { return vertices_; }
  IDirect3DIndexBuffer9* indices() const { return indices_; }
  bool made() const { return vertices_ || indices_; }

 private:
  BufferDescription description_;
  uint32_t used_ = 0;
  IDirect3DVertexBuffer9* vertices_ = nullptr;
  IDirect3DIndexBuffer9* indices_ = nullptr;
  std::vector<std::function<bool()>> refills_;
};

}  // namespace halcyon
