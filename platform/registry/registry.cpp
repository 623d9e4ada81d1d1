#include "platform/registry/registry.h"

#include <algorithm>
#include <cstring>

#include "platform/registry/registry_file.h"

namespace platform {

int32_t RegistryKey::create(std::string_view path, uint32_t access, RegistryKey& out) {
  out.close();
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  const auto file = registryFilePath();
  RegistryStore store;
  const StoreLoad load = loadStore(file, store);
  if (load == StoreLoad::Unreadable) return ERROR_CANTREAD;
  const RegistryStore::Key* key = store.findKey(path);
  if (key == nullptr) {
    // Opening a missing key makes it, as the settings code expects on a first run.
    store.addKey(std::string(path));
    if (!saveStore(file, store, load == StoreLoad::Damaged)) return ERROR_CANTWRITE;
    key = store.findKey(path);
  }
  out.open_ = true;
  out.access_ = access;
  out.path_ = key->path;
  out.values_ = key->values;
  return ERROR_SUCCESS;
}

int32_t RegistryKey::queryValue(std::string_view name, uint32_t* type, uint8_t* data, uint32_t* size) const {
  if (!open_) return ERROR_INVALID_HANDLE;
  if ((access_ & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  const RegistryValue* value = nullptr;
  for (const auto& v : values_) {
    if (v.name.size() == name.size() && std::equal(v.name.begin(), v.name.end(), name.begin(), [](char a, char b) {
          auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
          return lower(a) == lower(b);
        })) {
      value = &v;
      break;
    }
  }
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  const auto needed = static_cast<uint32_t>(value->data.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value->data.data(), needed);
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

int32_t RegistryKey::setValue(std::string_view name, uint32_t type, const uint8_t* data, uint32_t size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  RegistryValue value{std::string(name), type, {}};
  if (size != 0) value.data.assign(data, data + size);
  return setValues({std::move(value)});
}

int32_t RegistryKey::setValues(const std::vector<RegistryValue>& values) {
  if (!open_) return ERROR_INVALID_HANDLE;
  if ((access_ & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  // Re-read so that values written by another run since this key was opened survive.
  const auto file = registryFilePath();
  RegistryStore store;
  const StoreLoad load = loadStore(file, store);
  if (load == StoreLoad::Unreadable) return ERROR_CANTWRITE;
  RegistryStore::Key* key = store.findKey(path_);
  if (key == nullptr) key = &store.addKey(path_);
  for (const RegistryValue& v : values) {
    if (RegistryValue* existing = key->find(v.name)) {
      existing->type = v.type;
      existing->data = v.data;
    } else {
      key->values.push_back(v);
    }
  }
  if (!saveStore(file, store, load == StoreLoad::Damaged)) return ERROR_CANTWRITE;
  values_ = key->values;
  return ERROR_SUCCESS;
}

void RegistryKey::close() {
  open_ = false;
  access_ = 0;
  path_.clear();
  values_.clear();
}

}  // namespace platform
