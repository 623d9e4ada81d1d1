// Checks the committed room media through the engine's own readers: the scene file's named
// objects and how the scene set-up will find them, the looping tracks, the hands' angle
// convention against the painted dial, the ten tours, the scene properties and every texture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <strings.h>

#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_text.h"
#include "tools/mediac/texture_check.h"

namespace {

using halcyon::UdfRecord;
namespace fs = std::filesystem;

const fs::path kMedia = fs::path(BRASSMOOR_SOURCE_DIR) / "media";
constexpr float kPi = 3.1415927f;

using Mat = std::array<float, 16>;  // row-major, row vectors

Mat mul(const Mat& a, const Mat& b) {
  Mat r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
  return r;
}

Mat identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// The matrix of a turn about the Y axis by `angle`, as a rotation-axis quaternion yields it.
Mat turnAboutY(float angle) {
  float y = std::sin(angle / 2), w = std::cos(angle / 2);
  Mat m = identity();
  m[0] = 1 - 2 * y * y;
  m[2] = -2 * y * w;
  m[8] = 2 * y * w;
  m[10] = 1 - 2 * y * y;
  return m;
}

struct V3 {
  float x = 0, y = 0, z = 0;
  V3 operator-(const V3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  V3 operator+(const V3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  V3 operator*(float s) const { return {x * s, y * s, z * s}; }
  float dot(const V3& o) const { return x * o.x + y * o.y + z * o.z; }
  float length() const { return std::sqrt(dot(*this)); }
};

V3 transformPoint(const Mat& m, const V3& v) {
  return {v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12], v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13],
          v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14]};
}

class RoomMedia : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { scene_ = new Loaded(load(kMedia / "clock.udf")); }
  static void TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
  }

  struct Loaded {
    std::vector<std::uint8_t> bytes;
    std::unique_ptr<halcyon::UdfBinaryReader> reader;
    UdfRecord* root = nullptr;
  };

  static Loaded load(const fs::path& p) {
    Loaded l;
    std::ifstream f(p, std::ios::binary);
    l.bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    auto stream = std::make_unique<halcyon::MemoryStream>();
    stream->useBlock(l.bytes.data(), l.bytes.size());
    stream->open("", halcyon::Read);
    l.reader = std::make_unique<halcyon::UdfBinaryReader>(std::move(stream));
    l.root = l.reader->readHeader();
    if (l.root && !l.reader->load(*l.root, 0)) l.root = nullptr;
    return l;
  }

  static UdfRecord* children(UdfRecord* r) { return r ? r->findChild("Children") : nullptr; }

  // Depth first, the node before its children, names without regard to case: as the scene
  // set-up searches.
  static UdfRecord* find(UdfRecord* node, const std::string& name) {
    if (strcasecmp(node->name().c_str(), name.c_str()) == 0) return node;
    if (auto* kids = children(node))
      for (std::size_t i = 0; i < kids->childCount(); ++i)
        if (auto* r = find(kids->child(i), name)) return r;
    return nullptr;
  }

  static UdfRecord* top() { return scene_->root ? scene_->root->findChild("Children") : nullptr; }

  static UdfRecord* findNode(const std::string& name) {
    auto* t = top();
    if (!t) return nullptr;
    for (std::size_t i = 0; i < t->childCount(); ++i)
      if (auto* r = find(t->child(i), name)) return r;
    return nullptr;
  }

  static Mat matrixOf(UdfRecord* node, const char* key = "NodeTM") {
    Mat m = identity();
    auto* r = node->findChild(key);
    if (r && r->dataSize() == 64) std::memcpy(m.data(), r->data(), 64);
    return m;
  }

  static std::vector<V3> positions(UdfRecord* node) {
    std::vector<V3> out;
    auto* v = node->findChild("Verts");
    if (!v) return out;
    for (std::size_t o = 0; o + 40 <= v->dataSize(); o += 40) {
      V3 p;
      std::memcpy(&p, v->data() + o, 12);
      out.push_back(p);
    }
    return out;
  }

  static std::string text(UdfRecord* r) { return r ? r->readString() : std::string(); }

  static std::vector<std::array<float, 8>> keys(UdfRecord* track) {
    std::vector<std::array<float, 8>> out;
    for (std::size_t i = 0; track && i < track->childCount(); ++i) {
      std::array<float, 8> k{};
      if (track->child(i)->dataSize() == 32) std::memcpy(k.data(), track->child(i)->data(), 32);
      out.push_back(k);
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    return out;
  }

  static Loaded* scene_;
};

RoomMedia::Loaded* RoomMedia::scene_ = nullptr;

TEST_F(RoomMedia, TheSceneSetUpFindsEachNamedObjectInItsOwnTopLevelEntry) {
  ASSERT_TRUE(scene_->root) << "media/clock.udf does not load";
  ASSERT_TRUE(top());
  // the six objects the set-up takes out of the main pass, in its order
  const std::vector<std::string> bound = {"strelka_1big", "strelka_1min", "Clock glass",
                                          "Lamp lamp",    "Curtain",      "FonPlane01"};
  std::map<std::string, int> entryOf;
  for (std::size_t i = 0; i < top()->childCount(); ++i) {
    int found = 0;
    for (const auto& name : bound) {
      if (find(top()->child(i), name)) {
        entryOf[name] = static_cast<int>(i);
        ++found;
      }
    }
    // an entry holding two of them would bind only the first and hide the other
    EXPECT_LE(found, 1) << "top-level entry " << top()->child(i)->name() << " holds several named objects";
  }
  for (const auto& name : bound) EXPECT_TRUE(entryOf.count(name)) << name;
  // the hands carry the names the scene file is known by, in this letter case
  EXPECT_TRUE(findNode("strelka_1Big") && findNode("strelka_1Big")->name() == "strelka_1Big");
  EXPECT_TRUE(findNode("strelka_1Min") && findNode("strelka_1Min")->name() == "strelka_1Min");
  EXPECT_TRUE(findNode("clock mayatnik"));
  EXPECT_TRUE(findNode("Picture"));
  // the outdoor view is lit, so the lightning can brighten it, and has no light map: its
  // base and its picture in the light of a flash (sub-material 2), which the clock scene
  // blends in
  auto* fon = findNode("FonPlane01");
  ASSERT_TRUE(fon);
  EXPECT_EQ(text(fon->findChild("Lit")), "1");
  auto* mats = scene_->root->findChild("Materials");
  ASSERT_TRUE(mats);
  auto* fonMat = mats->findChild(text(fon->findChild("MaterialName")));
  ASSERT_TRUE(fonMat);
  auto* fonSubs = fonMat->findChild("Materials");
  ASSERT_TRUE(fonSubs);
  ASSERT_EQ(fonSubs->childCount(), 2u);
  int32_t flashId = 0;
  fonSubs->child(1)->findChild("MaterialSubId")->readInt(flashId);
  EXPECT_EQ(flashId, 2);
}

TEST_F(RoomMedia, MeshesAreCompleteAndLightMappedMaterialsCarryTheirFourPictures) {
  ASSERT_TRUE(scene_->root);
  auto* mats = scene_->root->findChild("Materials");
  ASSERT_TRUE(mats);
  // base, light map ("LightMap" in its name gives its operation), the flash's light and the
  // lamp's share of the light map
  int lightMapped = 0;
  for (std::size_t i = 0; i < mats->childCount(); ++i) {
    auto* m = mats->child(i);
    auto* subs = m->findChild("Materials");
    if (!subs || subs->childCount() < 3) continue;
    ++lightMapped;
    ASSERT_EQ(subs->childCount(), 4u) << m->name();
    for (int32_t k = 0; k < 4; ++k) {
      int32_t id = -1;
      subs->child(std::size_t(k))->findChild("MaterialSubId")->readInt(id);
      EXPECT_EQ(id, k) << m->name();
    }
    EXPECT_NE(subs->child(1)->name().find("LightMap"), std::string::npos) << m->name();
  }
  EXPECT_GE(lightMapped, 8);
  std::size_t triangles = 0;
  std::function<void(UdfRecord*)> walk = [&](UdfRecord* n) {
    if (n->typeName() == "Mesh") {
      int32_t fvf = 0, nv = 0, ni = 0, is = 0;
      n->findChild("FVF")->readInt(fvf);
      n->findChild("NumVerts")->readInt(nv);
      n->findChild("NumIndexes")->readInt(ni);
      n->findChild("IndexSize")->readInt(is);
      EXPECT_EQ(fvf, 0x312) << n->name();
      EXPECT_EQ(n->findChild("Verts")->dataSize(), static_cast<std::size_t>(nv) * 40) << n->name();
      EXPECT_EQ(n->findChild("Indexes")->dataSize(), static_cast<std::size_t>(ni) * is) << n->name();
      EXPECT_TRUE(mats->findChild(text(n->findChild("MaterialName")))) << n->name();
      EXPECT_LE(nv, 65536) << n->name();
      triangles += static_cast<std::size_t>(ni) / 3;
    }
    if (auto* k = children(n))
      for (std::size_t i = 0; i < k->childCount(); ++i) walk(k->child(i));
  };
  for (std::size_t i = 0; i < top()->childCount(); ++i) walk(top()->child(i));
  EXPECT_GE(triangles, 10000u);
  EXPECT_LE(triangles, 80000u);
}

TEST_F(RoomMedia, EveryTrackSpansTheSameLoopAndThePendulumSwingsSeamlessly) {
  ASSERT_TRUE(scene_->root);
  auto* pend = findNode("clock mayatnik");
  ASSERT_TRUE(pend);
  auto* rot = pend->findChild("Animation") ? pend->findChild("Animation")->findChild("Rotation") : nullptr;
  ASSERT_TRUE(rot);
  EXPECT_NE(rot->typeName(), "Linear");
  EXPECT_NE(rot->typeName(), "Sample");
  auto k = keys(rot);
  ASSERT_GE(k.size(), 5u);
  EXPECT_FLOAT_EQ(k.front()[0], 0.0f);
  EXPECT_FLOAT_EQ(k.back()[0], 2000.0f);  // a seconds pendulum: there and back in 2 s
  for (int c = 1; c <= 4; ++c) EXPECT_NEAR(k.front()[c], k.back()[c], 1e-5f);
  float lo = 1, hi = -1;
  float angleAtHalf = 0;
  for (const auto& key : k) {
    // a swing about the axis across the clock's face (engine X)
    EXPECT_NEAR(key[2], 0.0f, 1e-4f);
    EXPECT_NEAR(key[3], 0.0f, 1e-4f);
    float a = 2 * std::atan2(key[1], key[4]);
    lo = std::min(lo, a);
    hi = std::max(hi, a);
    if (std::fabs(key[0] - 1000.0f) < 1e-3f) angleAtHalf = a;
  }
  float start = 2 * std::atan2(k.front()[1], k.front()[4]);
  float amplitude = (hi - lo) / 2, middle = (hi + lo) / 2;
  EXPECT_GT(amplitude, 1.0f * kPi / 180);
  EXPECT_LT(amplitude, 6.0f * kPi / 180);
  // it starts at one end of the swing and is at the other end after one second
  EXPECT_NEAR(std::fabs(start - middle), amplitude, 1e-3f);
  EXPECT_NEAR(angleAtHalf - middle, -(start - middle), 1e-3f);
  // and hangs straight when no key turns it
  EXPECT_NEAR(middle, 0.0f, 1e-3f);

  // every track of the room plays over the same range, so one play range loops them all
  int tracks = 0;
  std::function<void(UdfRecord*)> walk = [&](UdfRecord* n) {
    if (auto* a = n->findChild("Animation")) {
      for (std::size_t i = 0; i < a->childCount(); ++i) {
        auto kk = keys(a->child(i));
        ASSERT_FALSE(kk.empty());
        EXPECT_FLOAT_EQ(kk.front()[0], 0.0f) << n->name();
        EXPECT_FLOAT_EQ(kk.back()[0], 2000.0f) << n->name();
        ++tracks;
      }
    }
    if (auto* c = children(n))
      for (std::size_t i = 0; i < c->childCount(); ++i) walk(c->child(i));
  };
  for (std::size_t i = 0; i < top()->childCount(); ++i) walk(top()->child(i));
  EXPECT_GE(tracks, 4);  // the pendulum and the rain sheets
}

// Where a point of the dial texture lies in the room: the dial plate's triangles are searched
// in texture space and the point is interpolated.
std::optional<V3> dialPoint(UdfRecord* dial, float u, float v) {
  auto* verts = dial->findChild("Verts");
  auto* idx = dial->findChild("Indexes");
  int32_t is = 2;
  dial->findChild("IndexSize")->readInt(is);
  struct Pv {
    V3 p;
    float u, v;
  };
  auto vert = [&](std::uint32_t i) {
    Pv out;
    float f[10];
    std::memcpy(f, verts->data() + i * 40, 40);
    out.p = {f[0], f[1], f[2]};
    out.u = f[6];
    out.v = f[7];
    return out;
  };
  std::size_t n = idx->dataSize() / is;
  for (std::size_t t = 0; t + 2 < n; t += 3) {
    std::uint32_t i[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) std::memcpy(&i[k], idx->data() + (t + k) * is, is);
    Pv a = vert(i[0]), b = vert(i[1]), c = vert(i[2]);
    float d = (b.v - c.v) * (a.u - c.u) + (c.u - b.u) * (a.v - c.v);
    if (std::fabs(d) < 1e-12f) continue;
    float l1 = ((b.v - c.v) * (u - c.u) + (c.u - b.u) * (v - c.v)) / d;
    float l2 = ((c.v - a.v) * (u - c.u) + (a.u - c.u) * (v - c.v)) / d;
    float l3 = 1 - l1 - l2;
    if (l1 >= -1e-4f && l2 >= -1e-4f && l3 >= -1e-4f) return a.p * l1 + b.p * l2 + c.p * l3;
  }
  return std::nullopt;
}

TEST_F(RoomMedia, HandsPointAtTheNumeralsOfThePaintedDial) {
  ASSERT_TRUE(scene_->root);
  UdfRecord* dial = nullptr;
  std::function<void(UdfRecord*)> walk = [&](UdfRecord* n) {
    if (text(n->findChild("MaterialName")) == "Dial") dial = n;
    if (auto* c = children(n))
      for (std::size_t i = 0; i < c->childCount(); ++i) walk(c->child(i));
  };
  for (std::size_t i = 0; i < top()->childCount(); ++i) walk(top()->child(i));
  ASSERT_TRUE(dial);
  ASSERT_EQ(transformPoint(matrixOf(dial), {0, 0, 0}).length(), 0.0f) << "the dial is expected at the room's origin";
  // on the dial texture the hands' centre sits 15 cm from the left and 30 cm from the top of
  // the 30 x 45 cm plate, the numerals 10.9 cm out
  const float cu = 0.5f, cv = 30.0f / 45.0f, ru = 10.925f / 30.0f, rv = 10.925f / 45.0f;
  auto numeral = [&](int hour) {
    float a = hour / 12.0f * 2 * kPi;
    return dialPoint(dial, cu + ru * std::sin(a), cv - rv * std::cos(a));
  };
  auto centre = dialPoint(dial, cu, cv);
  ASSERT_TRUE(centre);
  // the angles the scene turns the hands by, at a given time
  auto hourAngle = [](int h, int m, int s) { return ((h % 12) + (m + s / 60.0f) / 60.0f) / 12.0f * 2 * kPi; };
  auto minuteAngle = [](int m, int s) { return (m + s / 60.0f) / 60.0f * 2 * kPi - kPi / 2; };
  struct Case {
    const char* hand;
    float angle;
    float numeralHour;
  };
  const Case cases[] = {{"strelka_1Big", hourAngle(3, 0, 0), 3},          {"strelka_1Min", minuteAngle(15, 0), 3},
                        {"strelka_1Big", hourAngle(0, 0, 0), 0},          {"strelka_1Min", minuteAngle(0, 0), 0},
                        {"strelka_1Big", hourAngle(21, 0, 0), 9},         {"strelka_1Min", minuteAngle(30, 0), 6},
                        {"strelka_1Big", hourAngle(10, 10, 30), 10.175f}, {"strelka_1Min", minuteAngle(10, 30), 2.1f}};
  for (const auto& c : cases) {
    auto* hand = findNode(c.hand);
    ASSERT_TRUE(hand) << c.hand;
    Mat world = mul(turnAboutY(c.angle), matrixOf(hand));
    V3 pivot = transformPoint(matrixOf(hand), {0, 0, 0});
    // the hand turns about the dial's centre
    EXPECT_LT((pivot - *centre).length() - (pivot - *centre).dot(V3{-1, 0, 0}), 0.5f) << c.hand;
    V3 tip{};
    float far = -1;
    for (const auto& p : positions(hand)) {
      float d = p.x * p.x + p.z * p.z;
      if (d > far) {
        far = d;
        tip = p;
      }
    }
    V3 t = transformPoint(world, tip) - *centre;
    float a = c.numeralHour / 12.0f * 2 * kPi;
    auto at = dialPoint(dial, cu + ru * std::sin(a), cv - rv * std::cos(a));
    ASSERT_TRUE(at);
    V3 want = *at - *centre;
    // compare directions within the dial's plane (the hands stand a little in front of it)
    V3 normal{-1, 0, 0};
    t = t - normal * t.dot(normal);
    want = want - normal * want.dot(normal);
    float cosA = t.dot(want) / (t.length() * want.length());
    EXPECT_GT(cosA, std::cos(4.0f * kPi / 180)) << c.hand << " at " << c.angle << " misses numeral " << c.numeralHour;
  }
  ASSERT_TRUE(numeral(3));
}

TEST_F(RoomMedia, TenToursOfOneToThreeMinutesInsideTheRoom) {
  for (int n = 1; n <= 10; ++n) {
    auto path = kMedia / ("c" + std::to_string(n) + ".cam");
    auto l = load(path);
    ASSERT_TRUE(l.root) << path;
    std::vector<std::array<float, 8>> pos, rot;
    for (std::size_t i = 0; i < l.root->childCount(); ++i) {
      auto* r = l.root->child(i);
      ASSERT_EQ(r->dataSize(), 32u);
      std::array<float, 8> k;
      std::memcpy(k.data(), r->data(), 32);
      (r->typeName() == "pos" ? pos : rot).push_back(k);
    }
    ASSERT_GE(pos.size(), 2u);
    ASSERT_EQ(pos.size(), rot.size());
    float end = 0;
    for (const auto& k : pos) {
      end = std::max(end, k[0]);
      EXPECT_GT(k[1], -300.0f);
      EXPECT_LT(k[1], 300.0f);
      EXPECT_GT(k[2], 0.0f);
      EXPECT_LT(k[2], 300.0f);
      EXPECT_GT(k[3], -250.0f);
      EXPECT_LT(k[3], 250.0f);
    }
    EXPECT_GE(end, 600.0f) << path;
    EXPECT_LE(end, 1800.0f) << path;
    for (const auto& k : rot) {
      float len = std::sqrt(k[1] * k[1] + k[2] * k[2] + k[3] * k[3] + k[4] * k[4]);
      EXPECT_NEAR(len, 1.0f, 1e-3f);
    }
  }
}

TEST_F(RoomMedia, ScenePropertiesNameTheToursAndTheShippedValues) {
  std::ifstream f(kMedia / "Scene.props", std::ios::binary);
  ASSERT_TRUE(f);
  std::stringstream ss;
  ss << f.rdbuf();
  halcyon::NodeMap root;
  halcyon::parseUdfText(ss.str(), root);
  auto* tours = root.findChild("Animations");
  ASSERT_TRUE(tours);
  ASSERT_EQ(tours->count(), 10);
  std::set<std::string> names;
  for (int i = 0; i < tours->count(); ++i) {
    names.insert(tours->current()->asString());
    tours->advance();
  }
  for (int n = 1; n <= 10; ++n) EXPECT_TRUE(names.count("c" + std::to_string(n) + ".cam")) << n;
  ASSERT_TRUE(root.findChild("Fov"));
  EXPECT_FLOAT_EQ(root.findChild("Fov")->asFloat(), 70.0f);
  EXPECT_FLOAT_EQ(root.findChild("NearPlane")->asFloat(), 0.1f);
  EXPECT_FLOAT_EQ(root.findChild("FarPlane")->asFloat(), 1000.0f);
  EXPECT_FLOAT_EQ(root.findChild("CamSpeed")->asFloat(), 0.1f);
  EXPECT_EQ(root.findChild("QuietTime")->asInt(), 3000);
  EXPECT_EQ(root.findChild("WinkTime")->asInt(), 1000);
  auto* ambient = root.findChild("Ambient");
  ASSERT_TRUE(ambient);
  for (const char* c : {"0", "1", "2"}) EXPECT_EQ(ambient->findChild(c)->asInt(), 255);
  for (const char* c : {"0", "1", "2"}) EXPECT_EQ(root.findChild("BgColor")->findChild(c)->asInt(), 0);
}

TEST_F(RoomMedia, EveryTextureTheSceneNamesIsInTheMediaFolder) {
  ASSERT_TRUE(scene_->root);
  std::set<std::string> files;
  std::function<void(UdfRecord*)> walk = [&](UdfRecord* r) {
    if (r->name() == "FileName") files.insert(r->readString());
    for (std::size_t i = 0; i < r->childCount(); ++i) walk(r->child(i));
  };
  walk(scene_->root->findChild("Materials"));
  EXPECT_GE(files.size(), 15u);
  for (const auto& name : files) {
    auto size = brassmoor::mediac::imageSize((kMedia / name).string());
    ASSERT_TRUE(size) << name;
    EXPECT_EQ(size->first & (size->first - 1), 0) << name;
    EXPECT_EQ(size->second & (size->second - 1), 0) << name;
  }
}

TEST_F(RoomMedia, TheMediaFolderStaysWithinItsBudget) {
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(kMedia))
    if (entry.is_regular_file()) bytes += entry.file_size();
  EXPECT_LT(bytes, 15u * 1024u * 1024u);
}

}  // namespace
