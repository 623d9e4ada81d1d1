#include "clock/tours.h"

#include <memory>

#include "engine/fs/file_ref.h"
#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_record.h"

namespace brassmoor {

CameraPose poseFromRotation(halcyon::Vec3 position, const halcyon::Quaternion& rotation) {
  const halcyon::Matrix m = halcyon::Matrix::rotationQuaternion(halcyon::normalize(rotation));
  CameraPose pose;
  pose.position = position;
  pose.direction = m.transformNormal({0.0f, 0.0f, 1.0f});
  pose.up = m.transformNormal({0.0f, 1.0f, 0.0f});
  return pose;
}

Tours::Tours(std::string mediaFolder, halcyon::StoredArchive* archive, RandomDraw random)
    : mediaFolder_(std::move(mediaFolder)), archive_(archive), random_(std::move(random)) {}

void Tours::addTour(const std::string& name) { list_.insert(name); }

void Tours::loadTour(const std::string& name) {
  node_.position().clear();
  node_.rotation().clear();
  halcyon::FileRef file;
  file.sources = halcyon::Disk | halcyon::Archive;
  file.name = mediaFolder_ + "/" + name;
  file.archive = archive_;
  std::unique_ptr<halcyon::Stream> stream = file.open(halcyon::OpenMode::Read);
  if (!stream) return;
  halcyon::UdfBinaryReader reader(std::move(stream));
  halcyon::UdfRecord* root = reader.readHeader();
  if (!root || !reader.load(*root, 0) || !root->structured()) return;
  for (const auto& member : root->members()) {
    const halcyon::UdfRecord* key = member.record;
    // Keys are 32 bytes; anything shorter is not a key and is passed over.
    if (!key || key->structured() || !key->data() || key->dataSize() < size_t(halcyon::AnimationKey::kBytes)) continue;
    const halcyon::AnimationKey k = halcyon::AnimationKey::fromBytes(key->data());
    if (key->typeName() == "pos") node_.position().addKey(k);
    else
      node_.rotation().addKey(k);
  }
}

void Tours::start() {
  enabled_ = true;
  time_ = 0.0f;
  if (list_.empty()) return;
  const int r = random_() % list_.count();
  for (int i = 0; i < r; ++i) list_.advance();
  loadTour(list_.current());
}

bool Tours::startAt(const std::string& name, float time) {
  if (!list_.find([&](const std::string& n) { return n == name; })) return false;
  enabled_ = true;
  loadTour(name);
  time_ = time;
  return true;
}

std::string Tours::current() const { return list_.empty() ? std::string() : list_.current(); }

bool Tours::playing() const {
  float start = 0.0f, end = 0.0f;
  return enabled_ && node_.getTimeRange(start, end);
}

void Tours::evaluate() {
  halcyon::Vec3 position = pose_.position;
  node_.position().evaluate(time_, position);
  halcyon::Quaternion rotation;
  if (node_.rotation().evaluate(time_, rotation)) {
    pose_ = poseFromRotation(position, rotation);
  } else {
    pose_.position = position;
  }
}

void Tours::chooseNext() {
  if (list_.empty()) return;
  played_.insert(list_.current());
  list_.removeCurrent();
  if (list_.empty()) {
    // The round is over: every tour comes back for the next one.
    for (const std::string& name : played_) list_.insert(name);
    played_.clear();
  }
  const int r = random_() % list_.count();
  for (int i = 0; i < r; ++i) list_.advance();
  loadTour(list_.current());
}

CameraPose Tours::advance(CameraPose& freeCamera, int64_t nowMs) {
  float start = 0.0f, end = 0.0f;
  if (!enabled_ || !node_.getTimeRange(start, end)) return freeCamera;
  evaluate();
  const int64_t e = timer_.elapsed(nowMs);
  if (e != 0) {
    time_ += float(e) * kSpeed;
    timer_.restart(nowMs);
  }
  if (time_ > end) {
    chooseNext();
    float s = 0.0f, t = 0.0f;
    time_ = node_.getTimeRange(s, t) ? s : 0.0f;
    freeCamera = pose_;
    enabled_ = true;
  }
  return pose_;
}

CameraPose Tours::view(const CameraPose& freeCamera) {
  float start = 0.0f, end = 0.0f;
  if (!enabled_ || !node_.getTimeRange(start, end)) return freeCamera;
  evaluate();
  return pose_;
}

std::optional<float> Tours::fade() const {
  float start = 0.0f, end = 0.0f;
  if (!enabled_ || !node_.getTimeRange(start, end)) return std::nullopt;
  if (time_ < kFadeWidth) return 1.0f - time_ / kFadeWidth;
  if (time_ > end - kFadeWidth) return 1.0f - (end - time_) / kFadeWidth;
  return std::nullopt;
}

}  // namespace brassmoor
