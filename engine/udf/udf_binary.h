#pragma once
// The binary form of the data language ("UDF Binary 1.0"): a tree of named records whose
// member tables give absolute file offsets and sizes, so any record can be loaded on demand
// and two members can share the same bytes. All integers are 32-bit little-endian; a string
// is a 32-bit byte length followed by its bytes.
//
//   offset 0   total file size
//          4   14, "UDF Binary 1.0"
//         22   type count T, then T type definitions
//          …   root size (bytes from this field to the end of the file)
//          …   the root's member table, then the data of all records
//
// UdfBinaryReader reads on demand and owns every record it makes; within one reader a member
// whose offset (with a non-zero size) was read before is the same record object. No size,
// offset or count in the file is trusted: reads are checked against the stream, and a read
// that cannot be satisfied fails that load and leaves the record without children or data.
//
// UdfBinaryWriter writes a record tree: owned members in place, references as the offset and
// size of the record written elsewhere.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/fs/stream.h"
#include "engine/udf/udf_record.h"

namespace halcyon {

inline constexpr char kUdfBinaryFormat[] = "UDF Binary 1.0";

// Load options (bits).
enum LoadOptions : uint32_t {
  LoadNoDescend = 0x01,     // do not load the children's own children and data
  LoadOneLevel = 0x04,      // load the children with LoadNoDescend
  LoadCallHook = 0x08,      // call onRawRecord for each raw record once its data is there
  LoadRangeFirst = 0x10,    // read the record's whole byte range first and parse from it
  LoadFromParent = 0x20,    // read from the parent's in-memory bytes when they are there
  LoadKeepRange = 0x40,     // as LoadRangeFirst, keeping the range as the record's data;
                            // children get LoadFromParent
  LoadBorrowParent = 0x80,  // with LoadFromParent: data points into the parent's bytes
};

struct UdfTypeMember {
  std::string name;
  std::string typeName;
  uint8_t flags = 0;
  uint32_t arrayCount = 0;  // present when flags != 0
};

struct UdfTypeDef {
  std::string name;
  std::vector<UdfTypeMember> members;
};

// Size in bytes of a type: built-in "int" and "real" 4, "char" and "byte" 1; a defined type
// the sum of its members' sizes times their array counts; unknown names (and "string",
// "ustring", sized by their records) 0.
uint32_t udfTypeSize(const std::map<std::string, UdfTypeDef>& types, const std::string& name);

class UdfBinaryReader {
 public:
  explicit UdfBinaryReader(std::unique_ptr<Stream> stream);
  virtual ~UdfBinaryReader();
  UdfBinaryReader(const UdfBinaryReader&) = delete;
  UdfBinaryReader& operator=(const UdfBinaryReader&) = delete;

  // Releases the stream; records already loaded stay usable.
  virtual void close();
  // The root record ("_root" of type "_roottype"), owned by the reader; none when the format
  // string is wrong (the reader then closes) or the header cannot be read.
  virtual UdfRecord* readHeader();
  // Makes the record's members and, as the options ask, data available. False when some
  // read failed (what could be read stays loaded).
  virtual bool load(UdfRecord& record, uint32_t options = 0, void* argument = nullptr);
  virtual bool readTypes();
  // Called for raw records with LoadCallHook; does nothing here.
  virtual void onRawRecord(UdfRecord& record, void* argument);

  const std::map<std::string, UdfTypeDef>& types() const { return types_; }
  UdfRecord* root() const { return root_; }

 private:
  struct Bytes;
  bool loadRecord(UdfRecord& record, uint32_t options, void* argument, const Bytes* parentBytes, bool referenceOfParent,
                  int depth);
  bool readTable(UdfRecord& record, Stream& from);

  std::unique_ptr<Stream> stream_;
  std::vector<std::unique_ptr<UdfRecord>> records_;
  std::unordered_map<int32_t, UdfRecord*> byOffset_;
  std::map<std::string, UdfTypeDef> types_;
  UdfRecord* root_ = nullptr;
  size_t entryBudget_ = 0;
  std::set<std::pair<const UdfRecord*, uint32_t>> visited_;
  std::vector<const UdfRecord*> loading_;
};

class UdfBinaryWriter {
 public:
  void addType(UdfTypeDef type) { types_.push_back(std::move(type)); }

  // Writes the whole file to a stream opened for writing, positioned at its start. False
  // when a write or seek failed.
  bool write(const UdfRecord& root, Stream& out);
  // The file assembled in memory.
  std::vector<uint8_t> writeToBytes(const UdfRecord& root);
  // Assembles the file in memory, then writes it to disk in one go.
  bool writeFile(const UdfRecord& root, const std::string& path);

 private:
  std::vector<UdfTypeDef> types_;
};

}  // namespace halcyon
