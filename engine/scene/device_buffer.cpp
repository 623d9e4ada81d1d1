#include "engine/scene/device_buffer.h"

#include "engine/scene/device_glue.h"

namespace halcyon {

DeviceBuffer::DeviceBuffer(const BufferDescription& description) : description_(description) { registerDeviceObject(); }

DeviceBuffer::~DeviceBuffer() { invalidate(); }

bool DeviceBuffer::create() {
  invalidate();
  IDirect3DDevice9* device = scenedevice::device();
  if (!device || description_.byteSize == 0) return false;
  HRESULT hr;
  if (description_.kind == BufferDescription::kVertex) {
    hr = device->CreateVertexBuffer(description_.byteSize, description_.usage, description_.format,
                                    D3DPOOL(description_.pool), &vertices_, nullptr);
  } else {
    hr = device->CreateIndexBuffer(description_.byteSize, description_.usage, D3DFORMAT(description_.format),
                                   D3DPOOL(description_.pool), &indices_, nullptr);
  }
  if (FAILED(hr)) {
    vertices_ = nullptr;
    indices_ = nullptr;
    return false;
  }
  return true;
}

bool DeviceBuffer::reserve(uint32_t size, uint32_t& offset) {
  if (size > description_.byteSize - used_) return false;
  offset = used_;
  used_ += size;
  return true;
}

uint8_t* DeviceBuffer::lock(uint32_t offset, uint32_t size, DWORD flags) {
  void* data = nullptr;
  HRESULT hr = E_FAIL;
  if (vertices_) hr = vertices_->Lock(offset, size, &data, flags);
  if (indices_) hr = indices_->Lock(offset, size, &data, flags);
  return SUCCEEDED(hr) ? static_cast<uint8_t*>(data) : nullptr;
}

bool DeviceBuffer::unlock() {
  if (vertices_) return SUCCEEDED(vertices_->Unlock());
  if (indices_) return SUCCEEDED(indices_->Unlock());
  return false;
}

bool DeviceBuffer::restore() {
  if (!create()) return false;
  bool ok = true;
  for (auto& refill : refills_) ok = refill() && ok;
  return ok;
}

bool DeviceBuffer::invalidate() {
  safeRelease(vertices_);
  safeRelease(indices_);
  return true;
}

}  // namespace halcyon
