#include "clock/scene_properties.h"

#include <algorithm>

#include "engine/fs/file_ref.h"
#include "engine/fs/stream.h"
#include "engine/udf/udf_node.h"
#include "engine/udf/udf_text.h"

namespace brassmoor {

namespace {

uint32_t channel(float v) {
  const float scaled = v * 256.0f;
  if (!(scaled > 0.0f)) return 0;
  return std::min<uint32_t>(255u, static_cast<uint32_t>(scaled));
}

void readColourKey(const halcyon::NodeMap& root, const char* key, ColourValue& out) {
  const halcyon::UdfNode* node = root.findChild(key);
  if (!node) return;
  float* parts[3] = {&out.r, &out.g, &out.b};
  const char* names[3] = {"0", "1", "2"};
  for (int i = 0; i < 3; ++i)
    if (const halcyon::UdfNode* c = node->findChild(names[i])) *parts[i] = float(c->asInt()) / 255.0f;
}

void readReal(const halcyon::NodeMap& root, const char* key, float& out) {
  if (const halcyon::UdfNode* node = root.findChild(key)) out = node->asFloat();
}

}  // namespace

uint32_t ColourValue::argb() const { return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b); }

void readSharedProperties(const halcyon::NodeMap& root, SceneProperties& props) {
  readColourKey(root, "Ambient", props.ambient);
  readColourKey(root, "BgColor", props.bgColor);
  readColourKey(root, "FogColor", props.fogColor);
  readReal(root, "NearPlane", props.nearPlane);
  readReal(root, "FarPlane", props.farPlane);
  readReal(root, "FogStart", props.fogStart);
  readReal(root, "FogEnd", props.fogEnd);
  if (const halcyon::UdfNode* fov = root.findChild("Fov")) props.fov = fov->asFloat() / 180.0f * 3.14159265f;
  readReal(root, "CamSpeed", props.camSpeed);
  if (const halcyon::UdfNode* tours = root.findChild("Animations"))
    tours->forEachInOrder([&](const halcyon::UdfNode& n) { props.animations.push_back(n.asString()); });
}

void readStormProperties(const halcyon::NodeMap& root, SceneProperties& props) {
  if (const halcyon::UdfNode* q = root.findChild("QuietTime"); q && q->asInt() > 0) props.quietTime = q->asInt();
  if (const halcyon::UdfNode* w = root.findChild("WinkTime"); w && w->asInt() > 0) props.winkTime = w->asInt();
}

std::unique_ptr<halcyon::NodeMap> parseScenePropertiesFile(const std::string& mediaFolder,
                                                           halcyon::StoredArchive* archive) {
  halcyon::FileRef file;
  file.sources = halcyon::Disk | halcyon::Archive;
  file.name = mediaFolder + "/Scene.props";
  file.archive = archive;
  std::unique_ptr<halcyon::Stream> stream = file.open(halcyon::OpenMode::Read);
  if (!stream) return nullptr;
  auto root = std::make_unique<halcyon::NodeMap>();
  halcyon::parseUdfText(*stream, *root);
  return root;
}

bool readScenePropertiesFile(const std::string& mediaFolder, halcyon::StoredArchive* archive, SceneProperties& props) {
  const std::unique_ptr<halcyon::NodeMap> root = parseScenePropertiesFile(mediaFolder, archive);
  if (!root) return false;
  readSharedProperties(*root, props);
  readStormProperties(*root, props);
  return true;
}

}  // namespace brassmoor
