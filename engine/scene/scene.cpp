#include "engine/scene/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "engine/core/trace.h"
#include "engine/scene/device_glue.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_record.h"

namespace halcyon {

namespace {

// --- reading values out of records ---------------------------------------------------------------
// Scene files come from outside: every size is checked before bytes are read.

uint32_t readU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float readF32(const uint8_t* p) {
  const uint32_t bits = readU32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

const UdfRecord* find(const UdfRecord& record, std::string_view name) { return record.findChild(name); }

bool readInt(const UdfRecord* r, int32_t& out) {
  if (!r || r->structured()) return false;
  if (r->typeName() == "real") {
    float f;
    if (!r->readReal(f) || !std::isfinite(f)) return false;
    out = int32_t(std::clamp(f, -2.0e9f, 2.0e9f));
    return true;
  }
  if (r->typeName() == "string") {
    const std::string text = r->readString();
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return false;
    out = int32_t(std::clamp<long>(v, INT32_MIN, INT32_MAX));
    return true;
  }
  return r->readInt(out);
}

bool readReal(const UdfRecord* r, float& out) {
  if (!r || r->structured()) return false;
  if (r->typeName() == "int") {
    int32_t i;
    if (!r->readInt(i)) return false;
    out = float(i);
    return true;
  }
  if (r->typeName() == "string") {
    const std::string text = r->readString();
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return end != text.c_str();
  }
  return r->readReal(out);
}

std::string readText(const UdfRecord* r) {
  if (!r || r->structured()) return {};
  if (r->typeName() == "int") {
    int32_t i;
    return r->readInt(i) ? std::to_string(i) : std::string();
  }
  if (r->typeName() == "ustring") {
    std::string out;
    for (size_t i = 0; i + 1 < r->dataSize(); i += 2) out.push_back(char(r->data()[i]));
    return out;
  }
  return r->readString();
}

// A list of words: an array of strings, or one text with words between blanks, commas or bars.
std::vector<std::string> readWords(const UdfRecord* r) {
  std::vector<std::string> words;
  if (!r) return words;
  std::vector<std::string> texts;
  if (r->structured()) {
    for (const auto& m : r->members()) texts.push_back(readText(m.record));
  } else {
    texts.push_back(readText(r));
  }
  for (const std::string& text : texts) {
    std::string word;
    for (char c : text + " ") {
      if (c == ' ' || c == '\t' || c == ',' || c == '|' || c == ';' || c == '\r' || c == '\n') {
        if (!word.empty()) words.push_back(word);
        word.clear();
      } else {
        word.push_back(c);
      }
    }
  }
  return words;
}

bool hasWord(const std::vector<std::string>& words, std::string_view word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// n reals from a raw record of at least 4n bytes, or from n member records.
bool readReals(const UdfRecord* r, float* out, size_t n) {
  if (!r) return false;
  if (r->structured()) {
    if (r->childCount() < n) return false;
    for (size_t i = 0; i < n; ++i)
      if (!readReal(r->child(i), out[i])) return false;
    return true;
  }
  if (!r->data() || r->dataSize() < 4 * n) return false;
  for (size_t i = 0; i < n; ++i) out[i] = readF32(r->data() + 4 * i);
  return true;
}

bool readMatrix(const UdfRecord* r, Matrix& out) {
  float v[16];
  if (!readReals(r, v, 16)) return false;
  out = Matrix(v);
  return true;
}

// Raw bytes of a record, or none.
struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};
Bytes rawBytes(const UdfRecord* r) {
  if (!r || r->structured() || !r->data()) return {};
  return {r->data(), r->dataSize()};
}

D3DCOLORVALUE argbToColour(const float (&argb)[4]) { return {argb[1], argb[2], argb[3], argb[0]}; }

// --- mesh keys -----------------------------------------------------------------------------------

DWORD filterWord(const std::string& w) {
  if (w == "none") return 0;
  if (w == "point") return 1;
  if (w == "linear") return 2;
  if (w == "anisotropic") return 3;
  if (w == "pyrquad") return 6;
  if (w == "guasquad") return 7;
  return 0;
}

DWORD meshAddressWord(const std::string& w) {
  if (w == "wrap") return 1;
  if (w == "mirror") return 2;
  if (w == "border") return 4;
  return 0;
}

DWORD mapAddressWord(const UdfRecord* r) {
  if (!r) return D3DTADDRESS_WRAP;
  const std::string w = readText(r);
  if (w == "Mirror") return 2;
  if (w == "Wrap") return 1;
  return 4;
}

void applyMeshOverrides(const UdfRecord& node, Material& m) {
  if (const UdfRecord* r = find(node, "Blend")) {
    const std::string w = readText(r);
    if (w == "additive") m.blendMode = 1;
    if (w == "multiply") m.blendMode = 0;
  }
  if (const UdfRecord* r = find(node, "MinFilter")) m.stages[0].minFilter = filterWord(readText(r));
  if (const UdfRecord* r = find(node, "MagFilter")) m.stages[0].magFilter = filterWord(readText(r));
  if (const UdfRecord* r = find(node, "MipFilter")) m.stages[0].mipFilter = filterWord(readText(r));
  if (const UdfRecord* r = find(node, "TexAddrU")) m.stages[0].addressU = meshAddressWord(readText(r));
  if (const UdfRecord* r = find(node, "TexAddrV")) m.stages[0].addressV = meshAddressWord(readText(r));
  if (const UdfRecord* r = find(node, "AlphaUse")) {
    const std::vector<std::string> words = readWords(r);
    const bool texture = hasWord(words, "texture"), diffuse = hasWord(words, "diffuse");
    int mode;
    if (hasWord(words, "factor")) {
      float alpha = 0.5f;
      if (const UdfRecord* a = find(node, "Alpha")) readReal(a, alpha);
      m.opacity = alpha;
      mode = texture ? 3 : (diffuse ? 5 : 1);
    } else {
      mode = (diffuse && texture) ? 6 : diffuse ? 4 : texture ? 2 : 0;
    }
    m.setAlphaUse(mode);
  }
  if (const UdfRecord* r = find(node, "Lit")) m.lit = readText(r) == "1" ? 1 : 0;
}

// Copies the components present in both formats, merging neighbours into single copies.
struct Run {
  uint32_t from, to, size;
};
uint32_t maxIndex(const Geometry& geometry) {
  uint32_t most = 0;
  const uint8_t* in = geometry.indices.data();
  const size_t width = geometry.indexSize == 2 ? 2 : 4;
  const size_t count = std::min<size_t>(geometry.indexCount, geometry.indices.size() / width);
  for (size_t i = 0; i < count; ++i)
    most = std::max(most, width == 2 ? uint32_t(in[2 * i] | in[2 * i + 1] << 8) : readU32(in + 4 * size_t(i)));
  return most;
}

std::vector<Run> componentRuns(DWORD source, DWORD device) {
  std::vector<Run> runs;
  uint32_t from = 0, to = 0;
  for (DWORD bit = 1; bit <= 0x200; bit <<= 1) {
    const uint32_t size = vertexLayoutSize(bit);
    if (size == 0) continue;
    const bool inSource = source & bit, inDevice = device & bit;
    if (inSource && inDevice) {
      if (!runs.empty() && runs.back().from + runs.back().size == from && runs.back().to + runs.back().size == to) {
        runs.back().size += size;
      } else {
        runs.push_back({from, to, size});
      }
    }
    if (inSource) from += size;
    if (inDevice) to += size;
  }
  return runs;
}

}  // namespace

// --- Scene ---------------------------------------------------------------------------------------

// What one Load keeps while it walks the node structures.
struct Scene::NodeLoad {
  std::unordered_map<std::string, SceneNode*> byName;  // lower-cased names under the scene root
  std::vector<const UdfRecord*> path;                  // the structures being loaded, outermost first
  std::unordered_map<const UdfRecord*, int> readsOf;
  size_t reads = 0;
  size_t cycles = 0;
  bool overLimit = false;
};

namespace {

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// The first node of each name in depth-first order, as findByName finds it.
void indexNames(SceneNode& node, std::unordered_map<std::string, SceneNode*>& byName) {
  byName.emplace(lowerAscii(node.name()), &node);
  for (const auto& child : node.children()) indexNames(*child, byName);
}

}  // namespace

Scene::Scene() : root_(std::make_unique<SceneNode>()), cameraRoot_(std::make_unique<SceneNode>()) {
  // Textures are named relative to the scene file; the working folder is no place of theirs.
  paths_.keepToLocations(true);
}

Scene::~Scene() {
  // Meshes point into the geometry and the buffer pool: the nodes go first.
  root_.reset();
  cameraRoot_.reset();
  for (Texture* t : textures_) scenedevice::releaseTexture(t);
}

bool Scene::load(FileRef file) {
  name_ = file.name;
  loadingFile_ = file;
  // The scene's folder in every place the scene may come from, taken before the open
  // narrows them: a loose scene still finds the archive's textures, and a loose texture
  // beside the archive's scene replaces the archive's.
  const FileRef folder = file.directoryOf();
  std::unique_ptr<Stream> stream = file.open(OpenMode::Read);
  if (!stream) {
    logLine("Cannot open scene file " + name_ + "\n");
    return false;
  }
  if (folder.sources != 0) paths_.addLocation(folder);

  UdfBinaryReader reader(std::move(stream));
  UdfRecord* top = reader.readHeader();
  if (!top) {
    logLine("Cannot read scene file " + name_ + "\n");
    return false;
  }
  if (!reader.load(*top, 0)) {
    // Records that cannot be read stay without data or members and are skipped by the
    // readers below, as unknown keys are; only an unreadable top level refuses the file.
    if (top->members().empty()) {
      logLine("Cannot read scene file " + name_ + "\n");
      return false;
    }
    logLine("Scene file " + name_ + " has records that cannot be read; they are skipped\n");
  }

  NodeLoad load;
  indexNames(*root_, load.byName);
  if (const UdfRecord* materials = find(*top, "Materials")) loadMaterials(*materials);
  if (const UdfRecord* cameras = find(*top, "Cameras"); cameras && cameras->structured())
    for (const auto& m : cameras->members()) loadNode(*m.record, *cameraRoot_, load, false);
  if (const UdfRecord* lights = find(*top, "Lights")) loadLights(*lights);
  if (const UdfRecord* children = find(*top, "Children"); children && children->structured())
    for (const auto& m : children->members()) loadNode(*m.record, *root_, load, true);
  if (load.cycles || load.overLimit)
    logLine("Scene file " + name_ + ": " + std::to_string(load.cycles) + " node(s) listing an ancestor skipped" +
            (load.overLimit ? ", node limits reached" : "") + "\n");

  // The loaded pose: world matrices and their inverses, which skinning binds against.
  auto pose = [](auto& self, SceneNode& node, const Matrix& parentWorld) -> void {
    const Matrix world = node.localTransform().getMatrix() * parentWorld;
    node.setPose(world);
    for (const auto& child : node.children()) self(self, *child, world);
  };
  pose(pose, *root_, Matrix::identity());
  pose(pose, *cameraRoot_, Matrix::identity());

  std::vector<SkinnedMesh*> pending;
  pending.swap(toBind_);
  for (SkinnedMesh* mesh : pending) {
    if (!mesh->bindBones(*root_)) {
      logLine("Cannot bind skin bones in " + name_ + "\n");
      return false;
    }
  }
  return true;
}

void Scene::loadNode(const UdfRecord& record, SceneNode& parent, NodeLoad& load, bool underRoot) {
  if (!record.structured()) return;
  if (std::find(load.path.begin(), load.path.end(), &record) != load.path.end()) {
    ++load.cycles;
    return;
  }
  if (load.path.size() >= size_t(kMaxNodeDepth) || load.reads >= kMaxNodeReads ||
      ++load.readsOf[&record] > kMaxReadsPerRecord) {
    load.overLimit = true;
    return;
  }
  ++load.reads;
  // The scene root is searched by name, as findByName would, through the index.
  SceneNode* node = nullptr;
  if (auto known = load.byName.find(lowerAscii(record.name())); known != load.byName.end()) node = known->second;
  if (!node) {
    auto made = std::make_unique<SceneNode>(record.name(), record.typeName());
    node = parent.addChild(std::move(made));
    if (underRoot) load.byName.emplace(lowerAscii(node->name()), node);
    if (record.typeName() == "Mesh") readMesh(record, *node);
  }
  Matrix nodeTM, objectTM;
  if (readMatrix(find(record, "NodeTM"), nodeTM) && readMatrix(find(record, "ObjectTM"), objectTM))
    setNodeTransform(record, *node, nodeTM, objectTM);
  if (const UdfRecord* animation = find(record, "Animation"); animation && animation->structured())
    readAnimation(*animation, *node);
  if (const UdfRecord* children = find(record, "Children"); children && children->structured()) {
    load.path.push_back(&record);
    for (const auto& m : children->members()) loadNode(*m.record, *node, load, underRoot);
    load.path.pop_back();
  }
}

bool Scene::setNodeTransform(const UdfRecord&, SceneNode& target, const Matrix& nodeTM, const Matrix& objectTM) {
  Transform local;
  local.setFromMatrix(nodeTM);
  Transform object;
  // Exporters write near-identity offsets with rounding noise; those are taken as identity.
  if (!objectTM.equalWithin(Matrix::identity(), 0.01f)) object.setBase(objectTM);
  target.registerTransformSet(name_, local, object);
  return true;
}

void Scene::readAnimation(const UdfRecord& record, SceneNode& node) {
  Animation& animation = node.addAnimation(name_);
  const std::pair<const char*, Track*> tracks[] = {
      {"Position", &animation.position()}, {"Scale", &animation.scale()}, {"Rotation", &animation.rotation()}};
  for (const auto& entry : tracks) {
    Track* track = entry.second;
    const UdfRecord* keys = find(record, entry.first);
    if (!keys) continue;
    if (keys->typeName() == "Sample" || keys->typeName() == "Linear") track->setFlags(Track::kLinear);
    auto add = [&](const uint8_t* p) { track->addKey(AnimationKey::fromBytes(p)); };
    if (keys->structured()) {
      for (const auto& m : keys->members()) {
        const Bytes b = rawBytes(m.record);
        if (b.size >= size_t(AnimationKey::kBytes)) add(b.data);
      }
    } else {
      const Bytes b = rawBytes(keys);
      for (size_t at = 0; at + AnimationKey::kBytes <= b.size; at += AnimationKey::kBytes) add(b.data + at);
    }
  }
}

// --- materials -----------------------------------------------------------------------------------

namespace {

bool hasSubMaterial(const UdfRecord& subs, int32_t wanted) {
  for (const auto& entry : subs.members()) {
    const UdfRecord& sub = *entry.record;
    int32_t id = 0;
    if (sub.structured() && readInt(find(sub, "MaterialSubId"), id) && id == wanted) return true;
  }
  return false;
}

}  // namespace

void Scene::readStandardMaterial(const UdfRecord& record, Material& m, unsigned levels) {
  float argb[4];
  if (readReals(find(record, "Ambient"), argb, 4)) m.d3dMaterial.Ambient = argbToColour(argb);
  if (readReals(find(record, "Diffuse"), argb, 4)) m.d3dMaterial.Diffuse = argbToColour(argb);
  if (readReals(find(record, "Specular"), argb, 4)) m.d3dMaterial.Specular = argbToColour(argb);
  if (readReals(find(record, "Emissive"), argb, 4)) m.d3dMaterial.Emissive = argbToColour(argb);
  m.cullMode = find(record, "TwoSided") ? D3DCULL_NONE : D3DCULL_CCW;
  if (const UdfRecord* r = find(record, "Opacity")) readReal(r, m.opacity);
  const UdfRecord* textures = find(record, "Textures");
  if (!textures || !textures->structured()) return;
  for (const auto& entry : textures->members()) {
    const UdfRecord& map = *entry.record;
    const UdfRecord* file = map.structured() ? find(map, "FileName") : nullptr;
    if (!file) break;  // a map without a file ends the material's maps
    if (map.typeName() != "Diffuse") continue;
    TextureStage& stage = m.stages[0];
    stage.addressU = mapAddressWord(find(map, "TexAddrU"));
    stage.addressV = mapAddressWord(find(map, "TexAddrV"));
    stage.texture = nullptr;
    if (Texture* texture = scenedevice::acquireTexture(readText(file), paths_, levels)) {
      textures_.push_back(texture);
      stage.texture = texture;
    }
  }
}

void Scene::loadMaterials(const UdfRecord& materials) {
  if (!materials.structured()) return;
  for (const auto& entry : materials.members()) {
    const UdfRecord& record = *entry.record;
    if (!record.structured() || materials_.count(record.name())) continue;
    Material m = defaultMaterial();
    const UdfRecord* subs = find(record, "Materials");
    if (!subs || !subs->structured() || subs->childCount() == 0) {
      readStandardMaterial(record, m);
    } else {
      const unsigned lightMapLevels = lightMapsWithoutLevels_ && hasSubMaterial(*subs, 1) ? 1 : 0;
      for (const auto& subEntry : subs->members()) {
        const UdfRecord& sub = *subEntry.record;
        if (!sub.structured()) continue;
        int32_t id = 0;
        readInt(find(sub, "MaterialSubId"), id);
        if (id == 0) {
          readStandardMaterial(sub, m);
          continue;
        }
        if (id < 1 || id > 7) continue;
        Material part = defaultMaterial();
        readStandardMaterial(sub, part, id <= 3 ? lightMapLevels : 0);
        TextureStage& stage = m.stages[id];
        stage = part.stages[0];
        stage.texCoordIndex = DWORD(id);
        const std::string& name = sub.name();
        auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
        DWORD op = 0;
        if (has("LightMap") || has("Modulate2X")) {
          op = D3DTOP_MODULATE2X;
        } else if (has("Modulate")) {
          op = D3DTOP_MODULATE;
        } else if (has("AddSigned")) {
          op = D3DTOP_ADDSIGNED;
        } else if (has("Add") || has("Chrome")) {
          op = D3DTOP_ADD;
        }
        if (op) {
          stage.colorOp = op;
          stage.colorArg1 = D3DTA_CURRENT;
          stage.colorArg2 = stage.texture ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
        }
        if (has("Chrome")) stage.texCoordIndex |= D3DTSS_TCI_SPHEREMAP;
      }
    }
    materials_.emplace(record.name(), m);
  }
}

std::optional<Material> Scene::findMaterial(const std::string& name) const {
  auto it = materials_.find(name);
  if (it == materials_.end()) return std::nullopt;
  return it->second;
}

Geometry* Scene::findGeometry(const std::string& name) {
  auto it = geometries_.find(name);
  return it == geometries_.end() ? nullptr : it->second.get();
}

// --- meshes --------------------------------------------------------------------------------------

namespace {

// A mesh record's geometry as the file gives it, checked: every index within the vertices.
struct MeshData {
  int32_t fvf = 0, indexSize = 0, numVerts = 0, numIndexes = 0;
  uint32_t stride = 0;
  Bytes verts, indexes;
};

std::optional<MeshData> readMeshData(const UdfRecord& record) {
  MeshData d;
  if (!readInt(find(record, "FVF"), d.fvf) || !readInt(find(record, "IndexSize"), d.indexSize) ||
      !readInt(find(record, "NumVerts"), d.numVerts) || !readInt(find(record, "NumIndexes"), d.numIndexes))
    return std::nullopt;
  if (d.numVerts <= 0) return std::nullopt;  // a mesh node without geometry
  if (d.numIndexes < 0 || (d.indexSize != 2 && d.indexSize != 4)) return std::nullopt;
  d.verts = rawBytes(find(record, "Verts"));
  d.indexes = rawBytes(find(record, "Indexes"));
  if (!d.verts.data || !d.indexes.data) return std::nullopt;

  d.stride = uint32_t(d.verts.size / size_t(d.numVerts));
  const uint32_t layout = vertexLayoutSize(DWORD(d.fvf));
  if (d.stride == 0 || d.stride < layout || d.indexes.size < size_t(d.numIndexes) * size_t(d.indexSize)) {
    logLine("Mesh " + record.name() + " has short vertex or index data\n");
    return std::nullopt;
  }
  // An index past the vertices would make the device read outside the buffer.
  for (int32_t i = 0; i < d.numIndexes; ++i) {
    const uint32_t index = d.indexSize == 2 ? uint32_t(d.indexes.data[2 * i] | d.indexes.data[2 * i + 1] << 8)
                                            : readU32(d.indexes.data + 4 * size_t(i));
    if (index >= uint32_t(d.numVerts)) {
      logLine("Mesh " + record.name() + " has an index past its vertices\n");
      return std::nullopt;
    }
  }
  return d;
}

void fillGeometry(Geometry& g, const MeshData& d) {
  g.fvf = DWORD(d.fvf);
  g.vertexCount = uint32_t(d.numVerts);
  g.stride = d.stride;
  g.vertices.assign(d.verts.data, d.verts.data + size_t(d.stride) * size_t(d.numVerts));
  g.indexCount = uint32_t(d.numIndexes);
  g.indexSize = uint32_t(d.indexSize);
  g.indices.assign(d.indexes.data, d.indexes.data + size_t(d.numIndexes) * size_t(d.indexSize));
}

}  // namespace

void Scene::readMesh(const UdfRecord& record, SceneNode& node) {
  std::optional<Material> material;
  if (const UdfRecord* r = find(record, "MaterialName")) material = findMaterial(readText(r));
  const std::optional<MeshData> data = readMeshData(record);
  if (!data) return;
  const int32_t numVerts = data->numVerts;

  std::unique_ptr<Skin> skin;
  if (const UdfRecord* boneNames = find(record, "BoneNames")) {
    const Bytes offs = rawBytes(find(record, "VertBoneOffs"));
    const Bytes nums = rawBytes(find(record, "VertBoneNums"));
    const Bytes weights = rawBytes(find(record, "BoneWeights"));
    const size_t need = size_t(numVerts) * 4;
    if (!boneNames->structured() || !(data->fvf & D3DFVF_XYZ) || offs.size < need || nums.size < need ||
        !weights.data) {
      logLine("Mesh " + record.name() + " has incomplete skin data\n");
      return;
    }
    skin = std::make_unique<Skin>();
    for (const auto& m : boneNames->members()) skin->boneNames.push_back(readText(m.record));
    for (int32_t v = 0; v < numVerts; ++v) {
      skin->offsets.push_back(int32_t(readU32(offs.data + 4 * size_t(v))));
      skin->counts.push_back(int32_t(readU32(nums.data + 4 * size_t(v))));
    }
    for (size_t at = 0; at + 8 <= weights.size; at += 8)
      skin->influences.push_back({int32_t(readU32(weights.data + at)), readF32(weights.data + at + 4)});
  }

  Geometry* geometry = findGeometry(node.name());
  if (!geometry) {
    auto g = std::make_unique<Geometry>();
    g->name = node.name();
    fillGeometry(*g, *data);
    g->computeBounds();
    g->highestIndex = maxIndex(*g);
    geometry = g.get();
    geometrySources_[geometry] = loadingFile_;
    geometries_[node.name()] = std::move(g);
  }
  if (!createMesh(record, node, material ? &*material : nullptr, geometry, std::move(skin)))
    logLine("Cannot create mesh " + record.name() + "\n");
}

BufferRegion Scene::placeBuffer(Geometry& geometry, const BufferDescription& description, uint32_t count) {
  for (DeviceBuffer* buffer : geometry.buffers)
    if (buffer->description() == description) return {buffer, 0, description.byteSize, count};

  auto buffer = std::make_unique<DeviceBuffer>(description);
  if (!buffer->create()) return {};
  BufferRegion region{buffer.get(), 0, description.byteSize, count};
  if (!buffer->reserve(description.byteSize, region.offset)) return {};
  const Geometry* source = &geometry;
  const uint32_t stride = description.stride;
  if (!uploadGeometry(*source, region, stride)) return {};
  buffer->addRefill([this, source, region, stride] { return uploadGeometry(*source, region, stride); });
  geometry.buffers.push_back(buffer.get());
  pool_.push_back(std::move(buffer));
  return region;
}

bool Scene::uploadGeometry(const Geometry& geometry, const BufferRegion& region, uint32_t deviceStride) {
  if (geometry.copiesReleased) {
    const std::optional<Geometry> again = rereadGeometry(geometry);
    return again && uploadGeometry(*again, region, deviceStride);
  }
  DeviceBuffer* buffer = region.buffer;
  if (!buffer) return false;
  uint8_t* out = buffer->lock(region.offset, region.size, buffer->dynamic() ? D3DLOCK_DISCARD : 0);
  if (!out) return false;
  const BufferDescription& d = buffer->description();
  if (d.kind == BufferDescription::kVertex) {
    std::memset(out, 0, region.size);
    const std::vector<Run> runs = componentRuns(geometry.fvf, d.format);
    for (uint32_t v = 0; v < region.count; ++v) {
      const uint8_t* from = geometry.vertices.data() + size_t(v) * geometry.stride;
      uint8_t* to = out + size_t(v) * deviceStride;
      for (const Run& run : runs) std::memcpy(to + run.to, from + run.from, run.size);
    }
  } else {
    const uint32_t outSize = d.format == D3DFMT_INDEX16 ? 2 : 4;
    const uint8_t* in = geometry.indices.data();
    if (outSize == geometry.indexSize) {
      std::memcpy(out, in, size_t(region.count) * outSize);
    } else if (outSize == 4) {
      for (uint32_t i = 0; i < region.count; ++i) {
        const uint32_t value = uint32_t(in[2 * i] | in[2 * i + 1] << 8);
        std::memcpy(out + 4 * size_t(i), &value, 4);
      }
    } else {
      for (uint32_t i = 0; i < region.count; ++i) {
        const uint16_t value = uint16_t(readU32(in + 4 * size_t(i)) & 0xFFFF);
        std::memcpy(out + 2 * size_t(i), &value, 2);
      }
    }
  }
  return buffer->unlock();
}

bool Scene::createMesh(const UdfRecord& record, SceneNode& target, const Material* material, Geometry* geometry,
                       std::unique_ptr<Skin> skin) {
  if (!geometry) return false;
  Material m = material ? *material : defaultMaterial();
  applyMeshOverrides(record, m);

  const bool skinned = skin != nullptr;
  DWORD vertexUsage = skinned ? D3DUSAGE_DYNAMIC : D3DUSAGE_WRITEONLY;
  DWORD indexUsage = D3DUSAGE_WRITEONLY;
  if (const UdfRecord* usage = find(record, "Usage")) {
    const std::vector<std::string> words = readWords(usage);
    vertexUsage = indexUsage = 0;
    if (hasWord(words, "static")) {
      vertexUsage = indexUsage = D3DUSAGE_WRITEONLY;
    } else if (hasWord(words, "dynamic")) {
      vertexUsage = indexUsage = D3DUSAGE_DYNAMIC;
    } else if (hasWord(words, "dynamic_writeonly")) {
      vertexUsage = indexUsage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    }
    if (hasWord(words, "vb_writeonly")) vertexUsage |= D3DUSAGE_WRITEONLY;
    if (hasWord(words, "ib_writeonly")) indexUsage |= D3DUSAGE_WRITEONLY;
    if (hasWord(words, "vb_dynamic")) vertexUsage |= D3DUSAGE_DYNAMIC;
    if (hasWord(words, "ib_dynamic")) indexUsage |= D3DUSAGE_DYNAMIC;
  }
  uint64_t alignedStride = geometry->stride;
  if (readText(find(record, "VertexAlign32")) == "1") alignedStride = (alignedStride + 31u) & ~uint64_t(31);
  if (alignedStride * geometry->vertexCount > UINT32_MAX) return false;
  const uint32_t deviceStride = uint32_t(alignedStride);

  BufferDescription vd;
  vd.kind = BufferDescription::kVertex;
  vd.format = geometry->fvf;
  vd.stride = deviceStride;
  vd.usage = vertexUsage;
  vd.pool = skinned ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT;
  vd.byteSize = deviceStride * geometry->vertexCount;
  const BufferRegion vertices = placeBuffer(*geometry, vd, geometry->vertexCount);
  if (!vertices.buffer) return false;

  BufferRegion indices;
  if (geometry->indexCount > 0) {
    BufferDescription id;
    id.kind = BufferDescription::kIndex;
    // A 16-bit buffer only when every index fits: a large mesh with few indices would
    // otherwise draw the wrong vertices.
    const uint32_t highest = geometry->copiesReleased ? geometry->highestIndex : maxIndex(*geometry);
    const bool narrow = geometry->indexCount <= 32767 && highest <= 0xFFFF;
    id.format = narrow ? D3DFMT_INDEX16 : D3DFMT_INDEX32;
    id.stride = narrow ? 2 : 4;
    id.usage = indexUsage;
    id.pool = D3DPOOL_DEFAULT;
    id.byteSize = geometry->indexCount * id.stride;
    indices = placeBuffer(*geometry, id, geometry->indexCount);
    if (!indices.buffer) return false;
  }

  if (skinned) {
    skinnedGeometries_.push_back(geometry);
    auto mesh = std::make_unique<SkinnedMesh>(m, geometry, vertices, indices, deviceStride, std::move(skin));
    toBind_.push_back(mesh.get());
    target.setMesh(std::move(mesh));
  } else {
    target.setMesh(std::make_unique<Mesh>(m, geometry, vertices, indices, deviceStride));
  }
  return true;
}

void Scene::invalidateBuffers() {
  for (auto& buffer : pool_) buffer->invalidate();
}

bool Scene::restoreBuffers() {
  // Each scene file whose geometries went is read once for all the buffers it fills.
  rereading_ = std::make_unique<std::map<std::string, RereadFile>>();
  bool ok = true;
  for (auto& buffer : pool_) ok = buffer->restore() && ok;
  rereading_.reset();
  return ok;
}

void Scene::releaseGeometryCopies() {
  for (auto& [name, geometry] : geometries_) {
    Geometry& g = *geometry;
    const bool skinned = std::find(skinnedGeometries_.begin(), skinnedGeometries_.end(), &g) !=
                         skinnedGeometries_.end();
    if (skinned || g.copiesReleased || !geometrySources_.count(&g)) continue;
    std::vector<uint8_t>().swap(g.vertices);
    std::vector<uint8_t>().swap(g.indices);
    g.copiesReleased = true;
  }
}

namespace {

// The first mesh record named `name` below `record` (through its "Children" and
// "Cameras"), each record looked at once and no deeper than a load goes.
const UdfRecord* findMeshRecord(const UdfRecord& record, const std::string& name, std::vector<const UdfRecord*>& seen,
                                int depth) {
  if (!record.structured() || depth > Scene::kMaxNodeDepth) return nullptr;
  if (std::find(seen.begin(), seen.end(), &record) != seen.end()) return nullptr;
  seen.push_back(&record);
  if (record.typeName() == "Mesh" && record.name() == name) return &record;
  for (const char* key : {"Children", "Cameras"}) {
    const UdfRecord* list = find(record, key);
    if (!list || !list->structured()) continue;
    for (const auto& m : list->members())
      if (const UdfRecord* found = findMeshRecord(*m.record, name, seen, depth + 1)) return found;
  }
  return nullptr;
}

}  // namespace

std::optional<Geometry> Scene::rereadGeometry(const Geometry& geometry) const {
  const auto source = geometrySources_.find(&geometry);
  if (source == geometrySources_.end()) return std::nullopt;
  RereadFile once;
  RereadFile* file = &once;
  if (rereading_) file = &(*rereading_)[source->second.name];
  if (!file->reader) {
    FileRef ref = source->second;
    std::unique_ptr<Stream> stream = ref.open(OpenMode::Read);
    if (!stream) {
      logLine("Cannot open scene file " + ref.name + " again for the geometry of " + geometry.name + "\n");
      return std::nullopt;
    }
    file->reader = std::make_unique<UdfBinaryReader>(std::move(stream));
    file->top = file->reader->readHeader();
    if (file->top) file->reader->load(*file->top, 0);
  }
  std::vector<const UdfRecord*> seen;
  const UdfRecord* record = file->top ? findMeshRecord(*file->top, geometry.name, seen, 0) : nullptr;
  const std::optional<MeshData> data = record ? readMeshData(*record) : std::nullopt;
  // The file must still hold the geometry the buffers were made for.
  if (!data || DWORD(data->fvf) != geometry.fvf || uint32_t(data->numVerts) != geometry.vertexCount ||
      data->stride != geometry.stride || uint32_t(data->numIndexes) != geometry.indexCount ||
      uint32_t(data->indexSize) != geometry.indexSize) {
    logLine("Scene file " + source->second.name + " no longer holds the geometry of " + geometry.name + "\n");
    return std::nullopt;
  }
  Geometry again;
  again.name = geometry.name;
  fillGeometry(again, *data);
  return again;
}

// --- lights --------------------------------------------------------------------------------------

bool Scene::loadLights(const UdfRecord& lights) {
  if (!lights.structured()) return false;
  for (const auto& entry : lights.members()) {
    const UdfRecord& record = *entry.record;
    Matrix nodeTM = Matrix::identity(), objectTM = Matrix::identity();
    if (record.structured()) {
      readMatrix(find(record, "NodeTM"), nodeTM);
      readMatrix(find(record, "ObjectTM"), objectTM);
    }
    Matrix m = objectTM * nodeTM;
    Vec3 scale, position;
    Quaternion rotation;
    if (!m.decompose(scale, rotation, position)) return false;
    m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
    m.classify();
    const Vec3 direction = normalize(m.transformNormal({0.0f, -1.0f, 0.0f}));

    std::unique_ptr<Light> light;
    const std::string& kind = record.typeName();
    if (kind == "PointLight") {
      light = std::make_unique<PointLight>(position);
    } else if (kind == "DirLight") {
      light = std::make_unique<DirLight>(direction);
    } else if (kind == "SpotLight") {
      light = std::make_unique<SpotLight>(position, direction);
      if (const UdfRecord* r = find(record, "HotSpot")) readReal(r, light->data().Theta);
      if (const UdfRecord* r = find(record, "FallOff")) readReal(r, light->data().Phi);
    } else {
      return false;
    }
    if (kind != "DirLight") {
      float start = 0.0f;
      if (readReal(find(record, "AttStart"), start) && start != 0.0f) {
        light->data().Attenuation0 = 0.0f;
        light->data().Attenuation1 = 1.0f / start;
        light->data().Attenuation2 = 0.0f;
      }
    }
    float argb[4];
    if (readReals(find(record, "Diffuse"), argb, 4)) light->data().Diffuse = argbToColour(argb);
    float range = 0.0f;
    readReal(find(record, "AttEnd"), range);
    light->data().Range = range;
    if (!addLight(record, std::move(light))) return false;
  }
  return true;
}

bool Scene::addLight(const UdfRecord&, std::unique_ptr<Light> made) {
  lights_.add(std::move(made));
  return true;
}

}  // namespace halcyon
