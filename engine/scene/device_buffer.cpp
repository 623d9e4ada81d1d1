#include "engine/scene/device_buffer.h"

#include "engine/scene/device_glue.h"

namespace halcyon {

DeviceBuffer::DeviceBuffer(const BufferDescription& description) : description_(description) {
  RegisterDeviceObject();
}

DeviceBuffer::~DeviceBuffer() {
  Invalidate();
}

bool DeviceBuffer::Create() {
  Invalidate();
  IDirect3DDevice9* device = scenedevice::Device();
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

bool DeviceBuffer::Reserve(uint32_t size, uint32_t& offset) {
  if (size > description_.byteSize - used_) return false;
  offset = used_;
  used_ += size;
  return true;
}

uint8_t* DeviceBuffer::Lock(uint32_t offset, uint32_t size, DWORD flags) {
  void* data = nullptr;
  HRESULT hr = E_FAIL;
  if (vertices_) hr = vertices_->Lock(offset, size, &data, flags);
  if (indices_) hr = indices_->Lock(offset, size, &data, flags);
  return SUCCEEDED(hr) ? static_cast<uint8_t*>(data) : nullptr;
}

bool DeviceBuffer::Unlock() {
  if (vertices_) return SUCCEEDED(vertices_->Unlock());
  if (indices_) return SUCCEEDED(indices_->Unlock());
  return false;
}

bool DeviceBuffer::Restore() {
  if (!Create()) return false;
  bool ok = true;
  for (auto& refill : refills_) ok = refill() && ok;
  return ok;
}

bool DeviceBuffer::Invalidate() {
  safeRelease(vertices_);
  safeRelease(indices_);
  return true;
}

}  // namespace halcyon
