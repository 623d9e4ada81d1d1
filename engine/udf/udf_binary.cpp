#include "engine/udf/udf_binary.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace halcyon {

namespace {

// Load chains deeper than this are cut off (the load then reports failure); real scene files
// nest a few dozen levels.
constexpr int kMaxLoadDepth = 512;

bool readU32(Stream& in, uint32_t& out) {
  uint8_t b[4];
  if (!readExact(in, b, 4)) return false;
  out = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
        static_cast<uint32_t>(b[3]) << 24;
  return true;
}

bool readU8(Stream& in, uint8_t& out) { return readExact(in, &out, 1); }

// A length-prefixed string; the length is checked against the stream before anything is
// allocated.
bool readText(Stream& in, std::string& out) {
  uint32_t length = 0;
  if (!readU32(in, length)) return false;
  const int32_t available = in.size();
  if (available < 0 || length > static_cast<uint32_t>(available)) return false;
  out.assign(length, '\0');
  return readExact(in, out.data(), length);
}

// One position past the last byte a stream can deliver, in the stream's own positions.
int64_t streamEnd(Stream& in) {
  if (auto* memory = dynamic_cast<MemoryStream*>(&in)) {
    return static_cast<int64_t>(memory->baseOffset()) + static_cast<int64_t>(memory->length());
  }
  return in.size();
}

uint64_t typeSize(const std::map<std::string, UdfTypeDef>& types, const std::string& name,
                  std::map<std::string, uint64_t>& known, std::set<std::string>& inProgress) {
  if (name == "int" || name == "real") return 4;
  if (name == "char" || name == "byte") return 1;
  if (auto k = known.find(name); k != known.end()) return k->second;
  const auto def = types.find(name);
  // Unknown names, and a type that contains itself, count as 0.
  if (def == types.end() || inProgress.count(name)) return 0;
  inProgress.insert(name);
  uint64_t total = 0;
  for (const UdfTypeMember& m : def->second.members) {
    const uint64_t each = typeSize(types, m.typeName, known, inProgress);
    const uint64_t count = m.flags ? m.arrayCount : 1;
    total = std::min<uint64_t>(total + each * count, UINT32_MAX);
  }
  inProgress.erase(name);
  known[name] = total;
  return total;
}

}  // namespace

uint32_t udfTypeSize(const std::map<std::string, UdfTypeDef>& types, const std::string& name) {
  std::map<std::string, uint64_t> known;
  std::set<std::string> inProgress;
  return static_cast<uint32_t>(typeSize(types, name, known, inProgress));
}

// ---- UdfBinaryReader -----------------------------------------------------------------------

// Bytes of a record held in memory, with the file offset of their first byte. Persistent
// bytes are some record's data and live as long as the reader; others are a temporary copy.
struct UdfBinaryReader::Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
  int32_t base = 0;
  bool persistent = false;
};

UdfBinaryReader::UdfBinaryReader(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

UdfBinaryReader::~UdfBinaryReader() { UdfBinaryReader::close(); }

void UdfBinaryReader::close() {
  if (stream_) stream_->close();
  stream_.reset();
}

void UdfBinaryReader::onRawRecord(UdfRecord&, void*) {}

UdfRecord* UdfBinaryReader::readHeader() {
  if (root_) return root_;
  if (!stream_) return nullptr;
  uint32_t totalSize = 0;
  std::string format;
  if (!readU32(*stream_, totalSize) || !readText(*stream_, format) || format != kUdfBinaryFormat) {
    close();
    return nullptr;
  }
  uint32_t rootSize = 0;
  if (!readTypes() || !readU32(*stream_, rootSize)) return nullptr;
  auto root = std::make_unique<UdfRecord>("_root", "_roottype", RecordStructured);
  root->offset_ = stream_->tell();
  root->size_ = static_cast<int32_t>(rootSize);
  root->reader_ = this;
  root_ = root.get();
  records_.push_back(std::move(root));
  // Every table is read once, and a real entry takes at least 17 bytes; the allowance is
  // generous for real files yet keeps crafted tables that overlap each other from
  // multiplying the work.
  const int32_t size = stream_->size();
  entryBudget_ = static_cast<size_t>(std::max(size, 0)) / 4 + 4096;
  return root_;
}

bool UdfBinaryReader::readTypes() {
  if (!stream_) return false;
  uint32_t count = 0;
  if (!readU32(*stream_, count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    UdfTypeDef def;
    uint32_t members = 0;
    if (!readText(*stream_, def.name) || !readU32(*stream_, members)) return false;
    for (uint32_t j = 0; j < members; ++j) {
      UdfTypeMember m;
      if (!readText(*stream_, m.name) || !readText(*stream_, m.typeName) || !readU8(*stream_, m.flags)) return false;
      if (m.flags && !readU32(*stream_, m.arrayCount)) return false;
      def.members.push_back(std::move(m));
    }
    std::string name = def.name;
    types_.insert_or_assign(std::move(name), std::move(def));
  }
  return true;
}

bool UdfBinaryReader::load(UdfRecord& record, uint32_t options, void* argument) {
  visited_.clear();
  loading_.clear();
  const bool ok = loadRecord(record, options, argument, nullptr, false, 0);
  visited_.clear();
  return ok;
}

bool UdfBinaryReader::readTable(UdfRecord& record, Stream& in) {
  // No table fits in zero bytes; such a record is never remembered by its offset either, so
  // reading one would make a fresh record at every visit.
  if (record.size_ == 0 && &record != root_) {
    record.childrenLoaded_ = true;
    return true;
  }
  uint32_t tableSize = 0;
  uint32_t count = 0;
  if (!in.seek(record.offset_, SeekStart) || !readU32(in, tableSize) || !readU32(in, count)) return false;
  struct Entry {
    std::string name, typeName;
    uint8_t flags = 0;
    uint32_t arrayCount = 0;
    uint32_t offset = 0, size = 0;
  };
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    if (entryBudget_ == 0) return false;
    --entryBudget_;
    Entry e;
    if (!readText(in, e.name) || !readText(in, e.typeName) || !readU8(in, e.flags)) return false;
    if ((e.flags & RecordArray) && !readU32(in, e.arrayCount)) return false;
    if (!readU32(in, e.offset) || !readU32(in, e.size)) return false;
    entries.push_back(std::move(e));
  }
  for (Entry& e : entries) {
    const int32_t offset = static_cast<int32_t>(e.offset);
    UdfRecord* child = nullptr;
    if (e.size != 0) {
      if (auto known = byOffset_.find(offset); known != byOffset_.end()) child = known->second;
    }
    if (!child) {
      auto made = std::make_unique<UdfRecord>(e.name, e.typeName, static_cast<uint8_t>(e.flags & ~RecordReference));
      made->arrayCount_ = e.arrayCount;
      made->offset_ = offset;
      made->size_ = static_cast<int32_t>(e.size);
      made->reader_ = this;
      child = made.get();
      records_.push_back(std::move(made));
      if (e.size != 0) byOffset_.emplace(offset, child);
    }
    const bool reference = (e.flags & RecordReference) != 0;
    record.members_.push_back(UdfRecord::Member{std::move(e.name), child, reference});
    record.flags_ |= RecordStructured;
    if (!reference && !child->parent_ && child != root_) child->parent_ = &record;
  }
  record.childrenLoaded_ = true;
  return true;
}

bool UdfBinaryReader::loadRecord(UdfRecord& record, uint32_t options, void* argument, const Bytes* parentBytes,
                                 bool referenceOfParent, int depth) {
  if (depth > kMaxLoadDepth) return false;
  // Shared records and references make the record graph a DAG or even a cycle: each record
  // is visited once per load and options.
  if (!visited_.emplace(&record, options).second) return true;
  if (std::find(loading_.begin(), loading_.end(), &record) != loading_.end()) return true;

  const Bytes* source = ((options & LoadFromParent) && parentBytes && !referenceOfParent) ? parentBytes : nullptr;
  MemoryStream sourceView;
  if (source) {
    sourceView.useBlock(source->data, source->size);
    sourceView.setBaseOffset(source->base);
    sourceView.open(std::string(), Read);
  }
  Stream* in = source ? static_cast<Stream*>(&sourceView) : stream_.get();

  // The record's own byte range in memory, when the options ask for it.
  Bytes mine;
  bool haveMine = false;
  std::vector<uint8_t> scratch;
  const bool keep = (options & LoadKeepRange) && !record.dataLoaded_;
  if ((options & LoadRangeFirst) || keep) {
    if (!in || record.offset_ < 0 || record.size_ < 0) return false;
    const int64_t end = streamEnd(*in);
    // The root's nominal range runs past the end of the file; only what exists is taken.
    const int64_t length = std::max<int64_t>(0, std::min<int64_t>(record.size_, end - record.offset_));
    if (keep && source && (options & LoadBorrowParent) && source->persistent) {
      const int64_t at = static_cast<int64_t>(record.offset_) - source->base;
      if (at < 0 || at > static_cast<int64_t>(source->size)) return false;
      record.borrowData(source->data + at, static_cast<size_t>(length));
    } else {
      scratch.resize(static_cast<size_t>(length));
      if (!in->seek(record.offset_, SeekStart) || !readExact(*in, scratch.data(), scratch.size())) return false;
      if (keep) record.setData(std::move(scratch));
    }
    mine = keep ? Bytes{record.data_, record.dataSize_, record.offset_, true}
                : Bytes{scratch.data(), scratch.size(), record.offset_, false};
    haveMine = true;
  }
  MemoryStream mineView;
  if (haveMine) {
    mineView.useBlock(mine.data, mine.size);
    mineView.setBaseOffset(mine.base);
    mineView.open(std::string(), Read);
    in = &mineView;
  }

  if (record.structured()) {
    bool ok = true;
    if (!record.childrenLoaded_) {
      if (!in || !readTable(record, *in)) {
        record.members_.clear();
        return false;
      }
    }
    if (options & LoadNoDescend) return true;
    uint32_t childOptions = options;
    if (options & LoadOneLevel) childOptions = (childOptions & ~LoadOneLevel) | LoadNoDescend;
    if (options & LoadKeepRange) childOptions |= LoadFromParent;
    const Bytes* childParent = haveMine ? &mine : source;
    loading_.push_back(&record);
    // Members can grow while children load (a shared record's table), so walk by index.
    for (size_t i = 0; i < record.members_.size(); ++i) {
      const UdfRecord::Member member = record.members_[i];
      ok = loadRecord(*member.record, childOptions, argument, childParent, member.reference, depth + 1) && ok;
    }
    loading_.pop_back();
    return ok;
  }

  if (!record.dataLoaded_) {
    if (haveMine) {
      record.setData(std::vector<uint8_t>(mine.data, mine.data + mine.size));
    } else if (source && (options & LoadBorrowParent) && source->persistent) {
      const int64_t at = static_cast<int64_t>(record.offset_) - source->base;
      if (record.size_ < 0 || at < 0 || at + record.size_ > static_cast<int64_t>(source->size)) return false;
      record.borrowData(source->data + at, static_cast<size_t>(record.size_));
    } else {
      if (!in || record.size_ < 0 || record.size_ > in->size()) return false;
      std::vector<uint8_t> bytes(static_cast<size_t>(record.size_));
      if (!in->seek(record.offset_, SeekStart) || !readExact(*in, bytes.data(), bytes.size())) return false;
      record.setData(std::move(bytes));
    }
  }
  if (options & LoadCallHook) onRawRecord(record, argument);
  return true;
}

// ---- UdfBinaryWriter -----------------------------------------------------------------------

namespace {

class WriteSession {
 public:
  explicit WriteSession(Stream& out) : out_(out) {}

  bool put(const void* data, size_t n) { return n == 0 || out_.write(data, n) == n; }
  bool put32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    return put(b, 4);
  }
  bool putText(const std::string& s) {
    return s.size() <= INT32_MAX && put32(static_cast<uint32_t>(s.size())) && put(s.data(), s.size());
  }
  bool patch32(int32_t at, uint32_t v) { return out_.seek(at, SeekStart) && put32(v) && out_.seek(0, SeekEnd); }

  bool writeRecord(const UdfRecord& record, int depth) {
    if (depth > 4096) return false;
    const int32_t start = out_.tell();
    if (start < 0) return false;
    inProgress_.emplace(&record, start);
    if (record.structured()) {
      if (!put32(0) || !put32(static_cast<uint32_t>(record.members().size()))) return false;
      for (const UdfRecord::Member& m : record.members()) {
        uint8_t flags = static_cast<uint8_t>(m.record->flags() & ~RecordReference);
        if (m.reference) flags |= RecordReference;
        if (!putText(m.name) || !putText(m.record->typeName()) || !put(&flags, 1)) return false;
        if ((flags & RecordArray) && !put32(m.record->arrayCount())) return false;
        if (auto done = written_.find(m.record); done != written_.end()) {
          if (!put32(static_cast<uint32_t>(done->second.first)) || !put32(static_cast<uint32_t>(done->second.second)))
            return false;
        } else {
          // Patched once the member's place and size are known.
          auto& waiting = pending_[m.record];
          if (waiting.empty()) pendingOrder_.push_back(m.record);
          waiting.push_back(out_.tell());
          if (!put("DataArea", 8)) return false;
        }
      }
      const int32_t tableEnd = out_.tell();
      if (tableEnd < 0 || !patch32(start, static_cast<uint32_t>(tableEnd - start))) return false;
      for (const UdfRecord::Member& m : record.members()) {
        if (m.reference || written_.count(m.record) || inProgress_.count(m.record)) continue;
        if (!writeRecord(*m.record, depth + 1)) return false;
      }
    } else if (!put(record.data(), record.dataSize())) {
      return false;
    }
    const int32_t end = out_.tell();
    if (end < start) return false;
    inProgress_.erase(&record);
    written_[&record] = {start, end - start};
    if (auto waiting = pending_.find(&record); waiting != pending_.end()) {
      for (int32_t at : waiting->second) {
        if (!patch32(at, static_cast<uint32_t>(start)) || !patch32(at + 4, static_cast<uint32_t>(end - start)))
          return false;
      }
      pending_.erase(waiting);
    }
    return true;
  }

  // Records that were only referenced, never owned by a written table, are written after the
  // tree so that no placeholder is left in the file.
  bool writeOrphans() {
    for (size_t i = 0; i < pendingOrder_.size(); ++i) {
      const UdfRecord* next = pendingOrder_[i];
      if (!pending_.count(next)) continue;
      if (inProgress_.count(next) || !writeRecord(*next, 0)) return false;
    }
    return pending_.empty();
  }

 private:
  Stream& out_;
  std::unordered_map<const UdfRecord*, std::pair<int32_t, int32_t>> written_;
  std::unordered_map<const UdfRecord*, int32_t> inProgress_;
  std::unordered_map<const UdfRecord*, std::vector<int32_t>> pending_;
  std::vector<const UdfRecord*> pendingOrder_;  // first-seen order keeps the output stable
};

}  // namespace

bool UdfBinaryWriter::write(const UdfRecord& root, Stream& out) {
  WriteSession s(out);
  const int32_t start = out.tell();
  if (start < 0 || !s.put32(0) || !s.putText(kUdfBinaryFormat) || !s.put32(static_cast<uint32_t>(types_.size())))
    return false;
  for (const UdfTypeDef& t : types_) {
    if (!s.putText(t.name) || !s.put32(static_cast<uint32_t>(t.members.size()))) return false;
    for (const UdfTypeMember& m : t.members) {
      if (!s.putText(m.name) || !s.putText(m.typeName) || !s.put(&m.flags, 1)) return false;
      if (m.flags && !s.put32(m.arrayCount)) return false;
    }
  }
  const int32_t rootSizeAt = out.tell();
  if (rootSizeAt < 0 || !s.put32(0)) return false;
  if (!s.writeRecord(root, 0) || !s.writeOrphans()) return false;
  const int32_t end = out.tell();
  if (end < rootSizeAt) return false;
  return s.patch32(rootSizeAt, static_cast<uint32_t>(end - rootSizeAt)) &&
         s.patch32(start, static_cast<uint32_t>(end - start));
}

std::vector<uint8_t> UdfBinaryWriter::writeToBytes(const UdfRecord& root) {
  MemoryStream out;
  out.open(std::string(), Write);
  if (!write(root, out)) return {};
  return out.releaseBuffer();
}

bool UdfBinaryWriter::writeFile(const UdfRecord& root, const std::string& path) {
  const std::vector<uint8_t> bytes = writeToBytes(root);
  if (bytes.empty()) return false;
  DiskStream file;
  if (!file.open(path, Write)) return false;
  const bool ok = file.write(bytes.data(), bytes.size()) == bytes.size();
  return file.close() && ok;
}

}  // namespace halcyon
