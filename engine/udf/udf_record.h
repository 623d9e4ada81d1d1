#pragma once
// UdfRecord: one record of the binary form of the data language - a named, typed record that
// holds either a table of member records (structured) or a block of raw bytes.
//
// Records come from two places:
//  - a UdfBinaryReader, which owns every record it creates (they live as long as the
//    reader); member tables give absolute file offsets, so two members can be the same
//    record and a record may appear as a member of several tables;
//  - code that builds a tree to write (the make* functions), where a parent owns the children
//    added with addChild and merely points at those added with addReference.
//
// Member lookup is exact (case-sensitive); members keep the order of their table.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon {

// Record flags as stored in a member entry.
enum RecordFlags : uint8_t {
  RecordArray = 0x01,       // an array count follows the flags in the entry
  RecordReference = 0x02,   // the record is owned elsewhere in the tree
  RecordStructured = 0x04,  // the data is itself a member table
};

class UdfBinaryReader;

class UdfRecord {
 public:
  // A row of a member table: the name it gives the record (normally the record's own name;
  // a record shared by offset keeps the name it was first read under) and whether the record
  // is owned elsewhere.
  struct Member {
    std::string name;
    UdfRecord* record = nullptr;
    bool reference = false;
  };

  UdfRecord(std::string name, std::string typeName, uint8_t flags = 0);
  UdfRecord(const UdfRecord&) = delete;
  UdfRecord& operator=(const UdfRecord&) = delete;

  // Records to write.
  static std::unique_ptr<UdfRecord> makeStructured(std::string name, std::string typeName);
  static std::unique_ptr<UdfRecord> makeInt(std::string name, int32_t value);
  static std::unique_ptr<UdfRecord> makeReal(std::string name, float value);
  static std::unique_ptr<UdfRecord> makeString(std::string name, std::string_view text);
  static std::unique_ptr<UdfRecord> makeUString(std::string name, std::u16string_view text);
  static std::unique_ptr<UdfRecord> makeRaw(std::string name, std::string typeName, std::vector<uint8_t> bytes);

  const std::string& name() const { return name_; }
  const std::string& typeName() const { return typeName_; }
  uint8_t flags() const { return flags_; }
  bool structured() const { return (flags_ & RecordStructured) != 0; }
  uint32_t arrayCount() const { return arrayCount_; }
  // Marks the record an array of `count` elements.
  void setArrayCount(uint32_t count);
  // Where the record lies in the file it was read from.
  int32_t offset() const { return offset_; }
  int32_t size() const { return size_; }

  // Members, in table order.
  const std::vector<Member>& members() const { return members_; }
  size_t childCount() const { return members_.size(); }
  UdfRecord* child(size_t index) const { return index < members_.size() ? members_[index].record : nullptr; }
  // The first member of that exact name, or none.
  UdfRecord* findChild(std::string_view name) const;
  bool isReference(std::string_view name) const;
  // The record whose table first owned this one; none for the root and references only.
  UdfRecord* parent() const { return parent_; }

  // Adds an owned member (the parent takes it); returns it.
  UdfRecord& addChild(std::unique_ptr<UdfRecord> child);
  // Adds a member that is owned elsewhere; `child` must outlive this record.
  void addReference(UdfRecord& child);

  // Raw bytes, once loaded (or as given to make*); null and 0 before.
  const uint8_t* data() const { return data_; }
  size_t dataSize() const { return dataSize_; }
  bool dataLoaded() const { return dataLoaded_; }
  bool dataBorrowed() const { return dataBorrowed_; }
  bool childrenLoaded() const { return childrenLoaded_; }
  void setData(std::vector<uint8_t> bytes);

  // Typed views of raw data; false when the data is too short.
  bool readInt(int32_t& out) const;
  bool readReal(float& out) const;
  std::string readString() const;

  UdfBinaryReader* reader() const { return reader_; }

 private:
  friend class UdfBinaryReader;

  void addMember(std::string name, UdfRecord& child, bool reference);
  void borrowData(const uint8_t* data, size_t size);

  std::string name_;
  std::string typeName_;
  uint8_t flags_ = 0;
  uint32_t arrayCount_ = 0;
  int32_t offset_ = 0;
  int32_t size_ = 0;
  std::vector<Member> members_;
  std::vector<std::unique_ptr<UdfRecord>> owned_;
  UdfRecord* parent_ = nullptr;
  std::vector<uint8_t> ownedData_;
  const uint8_t* data_ = nullptr;
  size_t dataSize_ = 0;
  bool dataLoaded_ = false;
  bool dataBorrowed_ = false;
  bool childrenLoaded_ = false;
  UdfBinaryReader* reader_ = nullptr;
};

}  // namespace halcyon
