#include "engine/udf/udf_record.h"

#include <cstring>

namespace halcyon {

UdfRecord::UdfRecord(std::string name, std::string typeName, uint8_t flags)
    : name_(std::move(name)), typeName_(std::move(typeName)), flags_(flags) {}

std::unique_ptr<UdfRecord> UdfRecord::makeStructured(std::string name, std::string typeName) {
  auto record = std::make_unique<UdfRecord>(std::move(name), std::move(typeName), RecordStructured);
  record->childrenLoaded_ = true;
  return record;
}

std::unique_ptr<UdfRecord> UdfRecord::makeRaw(std::string name, std::string typeName, std::vector<uint8_t> bytes) {
  auto record = std::make_unique<UdfRecord>(std::move(name), std::move(typeName));
  record->setData(std::move(bytes));
  return record;
}

std::unique_ptr<UdfRecord> UdfRecord::makeInt(std::string name, int32_t value) {
  std::vector<uint8_t> bytes(4);
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
  return makeRaw(std::move(name), "int", std::move(bytes));
}

std::unique_ptr<UdfRecord> UdfRecord::makeReal(std::string name, float value) {
  uint32_t v = 0;
  std::memcpy(&v, &value, 4);
  std::vector<uint8_t> bytes(4);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
  return makeRaw(std::move(name), "real", std::move(bytes));
}

std::unique_ptr<UdfRecord> UdfRecord::makeString(std::string name, std::string_view text) {
  return makeRaw(std::move(name), "string", std::vector<uint8_t>(text.begin(), text.end()));
}

std::unique_ptr<UdfRecord> UdfRecord::makeUString(std::string name, std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return makeRaw(std::move(name), "ustring", std::move(bytes));
}

void UdfRecord::setArrayCount(uint32_t count) {
  flags_ |= RecordArray;
  arrayCount_ = count;
}

UdfRecord* UdfRecord::findChild(std::string_view name) const {
  for (const Member& m : members_) {
    if (m.name == name) return m.record;
  }
  return nullptr;
}

bool UdfRecord::isReference(std::string_view name) const {
  for (const Member& m : members_) {
    if (m.name == name) return m.reference;
  }
  return false;
}

void UdfRecord::addMember(std::string name, UdfRecord& child, bool reference) {
  members_.push_back(Member{std::move(name), &child, reference});
  flags_ |= RecordStructured;
}

UdfRecord& UdfRecord::addChild(std::unique_ptr<UdfRecord> child) {
  UdfRecord& added = *child;
  owned_.push_back(std::move(child));
  added.parent_ = this;
  addMember(added.name_, added, false);
  childrenLoaded_ = true;
  return added;
}

void UdfRecord::addReference(UdfRecord& child) {
  addMember(child.name_, child, true);
  childrenLoaded_ = true;
}

void UdfRecord::setData(std::vector<uint8_t> bytes) {
  ownedData_ = std::move(bytes);
  data_ = ownedData_.data();
  dataSize_ = ownedData_.size();
  dataLoaded_ = true;
  dataBorrowed_ = false;
}

void UdfRecord::borrowData(const uint8_t* data, size_t size) {
  ownedData_.clear();
  data_ = data;
  dataSize_ = size;
  dataLoaded_ = true;
  dataBorrowed_ = true;
}

bool UdfRecord::readInt(int32_t& out) const {
  if (dataSize_ < 4) return false;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data_[i]) << (8 * i);
  out = static_cast<int32_t>(v);
  return true;
}

bool UdfRecord::readReal(float& out) const {
  int32_t bits = 0;
  if (!readInt(bits)) return false;
  std::memcpy(&out, &bits, 4);
  return true;
}

std::string UdfRecord::readString() const {
  return data_ ? std::string(reinterpret_cast<const char*>(data_), dataSize_) : std::string();
}

}  // namespace halcyon
