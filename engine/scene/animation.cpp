#include "engine/scene/animation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halcyon {

namespace {

float readFloat(const uint8_t* p) {
  const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

void writeFloat(uint8_t* p, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(bits >> (8 * i));
}

// Quaternion product in the algebraic sense: a · b.
Quaternion hamilton(const Quaternion& a, const Quaternion& b) { return multiply(b, a); }

Quaternion scaled(const Quaternion& v, float k) { return {v.x * k, v.y * k, v.z * k, v.w * k}; }
Quaternion sum(const Quaternion& a, const Quaternion& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
Quaternion difference(const Quaternion& a, const Quaternion& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }

Quaternion keyQuaternion(const AnimationKey& key) {
  return normalize(Quaternion{key.value[0], key.value[1], key.value[2], key.value[3]});
}

// The same rotation on the side of `near`, so that arcs between them are the short ones.
Quaternion sameHemisphere(const Quaternion& q, const Quaternion& near) {
  return dot(q, near) < 0.0f ? Quaternion{-q.x, -q.y, -q.z, -q.w} : q;
}

// The relative turn from a to b, as a logarithm in a's frame.
Quaternion arc(const Quaternion& a, const Quaternion& b) { return log(hamilton(conjugate(a), b)); }

// Kochanek-Bartels tangent from the incoming difference `in` and the outgoing `out`;
// k is 1 + continuity at a segment's start key and 1 - continuity at its end key.
template <typename T, typename Scale, typename Add, typename Sub>
T Tangent(const T& in, const T& out, const AnimationKey& key, float k, Scale scale, Add add, Sub sub) {
  const T g1 = scale(in, 1.0f + key.bias);
  const T g2 = scale(out, 1.0f - key.bias);
  return scale(add(g1, scale(sub(g2, g1), 0.5f * k)), 1.0f - key.tension);
}

}  // namespace

AnimationKey AnimationKey::fromBytes(const uint8_t* bytes) {
  AnimationKey k;
  k.time = readFloat(bytes);
  for (int i = 0; i < 4; ++i) k.value[i] = readFloat(bytes + 4 + 4 * i);
  k.continuity = readFloat(bytes + 20);
  k.tension = readFloat(bytes + 24);
  k.bias = readFloat(bytes + 28);
  return k;
}

void AnimationKey::toBytes(uint8_t* bytes) const {
  writeFloat(bytes, time);
  for (int i = 0; i < 4; ++i) writeFloat(bytes + 4 + 4 * i, value[i]);
  writeFloat(bytes + 20, continuity);
  writeFloat(bytes + 24, tension);
  writeFloat(bytes + 28, bias);
}

float ease(float s, float e, float f) {
  const float sum = e + f;
  if (sum > 1.0f) {
    e /= sum;
    f /= sum;
  }
  if (e + f == 0.0f) return s;
  const float g = 1.0f / (2.0f - e - f);
  if (s < e) return s * s * g / e;
  if (s < 1.0f - f) return g * (2.0f * s - e);
  const float u = 1.0f - s;
  return 1.0f - u * u * g / f;
}

// --- Track -------------------------------------------------------------------------------------

void Track::addKey(const AnimationKey& key) {
  auto at = std::lower_bound(keys_.begin(), keys_.end(), key.time,
                             [](const AnimationKey& k, float t) { return k.time < t; });
  if (at != keys_.end() && at->time == key.time) {
    *at = key;
  } else {
    keys_.insert(at, key);
  }
  segments_.clear();
}

void Track::clear() {
  keys_.clear();
  segments_.clear();
}

void Track::setFlags(uint32_t flags) {
  flags_ = flags;
  segments_.clear();
}

void Track::setEase(float easeIn, float easeOut) {
  easeIn_ = easeIn;
  easeOut_ = easeOut;
}

bool Track::getTimeRange(float& start, float& end) const {
  if (keys_.empty()) return false;
  start = keys_.front().time;
  end = keys_.back().time;
  return true;
}

const AnimationKey* Track::before(int index) const {
  if (index > 0) return &keys_[size_t(index) - 1];
  // The last key of a cyclic track is the same moment as the first, so the key before the
  // first is the one before the last.
  if ((flags_ & kCyclic) && keys_.size() >= 3) return &keys_[keys_.size() - 2];
  return nullptr;
}

const AnimationKey* Track::after(int index) const {
  if (size_t(index) + 1 < keys_.size()) return &keys_[size_t(index) + 1];
  if ((flags_ & kCyclic) && keys_.size() >= 3) return &keys_[1];
  return nullptr;
}

int Track::locate(float& time, int& segment) const {
  const int n = int(keys_.size());
  if ((flags_ & kWrap) && n > 0) {
    const float first = keys_.front().time;
    const float span = keys_.back().time - first;
    if (span > 0.0f) {
      float r = std::fmod(time - first, span);
      if (r < 0.0f) r += span;  // times before the first key wrap forwards into the range
      time = first + r;
    } else {
      time = first;
    }
  }
  auto after = std::upper_bound(keys_.begin(), keys_.end(), time,
                                [](float t, const AnimationKey& k) { return t < k.time; });
  const int b = int(after - keys_.begin());  // first key strictly after the time
  if (b == 0) return 0;                      // before the first key
  const int a = b - 1;                       // last key at or before the time
  if (keys_[size_t(a)].time == time || b == n) return a;
  segment = a;
  return -1;
}

float Track::segmentParameter(const Segment& seg, float time) const {
  const float s = (time - seg.start) / (seg.end - seg.start);
  return ease(s, easeIn_, easeOut_);
}

void Track::buildVector(int index, Segment& seg) const {
  const AnimationKey& ka = keys_[size_t(index)];
  const AnimationKey& kb = keys_[size_t(index) + 1];
  float chord[3], in[3], out[3];
  for (int i = 0; i < 3; ++i) {
    seg.p0[i] = ka.value[i];
    seg.p1[i] = kb.value[i];
    chord[i] = kb.value[i] - ka.value[i];
  }
  auto scale = [](float v, float k) { return v * k; };
  auto add = [](float a, float b) { return a + b; };
  auto sub = [](float a, float b) { return a - b; };
  // An open end takes the chord of its segment as tangent (a natural end).
  const AnimationKey* prev = before(index);
  const AnimationKey* next = after(index + 1);
  for (int i = 0; i < 3; ++i) {
    if (prev) {
      in[i] = ka.value[i] - prev->value[i];
      seg.t0[i] = Tangent(in[i], chord[i], ka, 1.0f + ka.continuity, scale, add, sub);
    } else {
      seg.t0[i] = chord[i];
    }
    if (next) {
      out[i] = next->value[i] - kb.value[i];
      seg.t1[i] = Tangent(chord[i], out[i], kb, 1.0f - kb.continuity, scale, add, sub);
    } else {
      seg.t1[i] = chord[i];
    }
  }
}

void Track::buildRotation(int index, Segment& seg) const {
  const AnimationKey& ka = keys_[size_t(index)];
  const AnimationKey& kb = keys_[size_t(index) + 1];
  seg.q0 = keyQuaternion(ka);
  seg.q1 = sameHemisphere(keyQuaternion(kb), seg.q0);
  if (flags_ & kLinear) return;
  // Tangents live in the logarithm space of each key's frame; the inner control points sit a
  // third of a tangent away from the keys, so that a lone arc (two keys) is exactly a slerp.
  const Quaternion chord = arc(seg.q0, seg.q1);
  Quaternion t0 = chord, t1 = chord;
  if (const AnimationKey* prev = before(index)) {
    const Quaternion qp = sameHemisphere(keyQuaternion(*prev), seg.q0);
    t0 = Tangent(arc(qp, seg.q0), chord, ka, 1.0f + ka.continuity, scaled, sum, difference);
  }
  if (const AnimationKey* next = after(index + 1)) {
    const Quaternion qn = sameHemisphere(keyQuaternion(*next), seg.q1);
    t1 = Tangent(chord, arc(seg.q1, qn), kb, 1.0f - kb.continuity, scaled, sum, difference);
  }
  seg.c0 = hamilton(seg.q0, exp(scaled(t0, 1.0f / 3.0f)));
  seg.c1 = hamilton(seg.q1, exp(scaled(t1, -1.0f / 3.0f)));
}

const Track::Segment& Track::getSegment(int index) const {
  if (segments_.size() != keys_.size()) segments_.assign(keys_.size(), Segment{});
  Segment& seg = segments_[size_t(index)];
  if (!seg.built) {
    seg.start = keys_[size_t(index)].time;
    seg.end = keys_[size_t(index) + 1].time;
    if (kind_ == kRotation) {
      buildRotation(index, seg);
    } else {
      buildVector(index, seg);
    }
    seg.built = true;
  }
  return seg;
}

bool Track::evaluate(float time, Vec3& out) const {
  if (keys_.empty()) return false;
  if (kind_ == kRotation) {
    Quaternion q;
    evaluate(time, q);
    out = {q.x, q.y, q.z};
    return true;
  }
  int segment = 0;
  const int key = locate(time, segment);
  if (key >= 0) {
    const AnimationKey& k = keys_[size_t(key)];
    out = {k.value[0], k.value[1], k.value[2]};
    return true;
  }
  const Segment& seg = getSegment(segment);
  if (seg.end - seg.start < 0.0001f) {
    out = {seg.p0[0], seg.p0[1], seg.p0[2]};
    return true;
  }
  const float s = segmentParameter(seg, time);
  float v[3];
  if (flags_ & kLinear) {
    for (int i = 0; i < 3; ++i) v[i] = seg.p0[i] + (seg.p1[i] - seg.p0[i]) * s;
  } else {
    const float s2 = s * s, s3 = s2 * s;
    const float h00 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    const float h10 = s3 - 2.0f * s2 + s;
    const float h01 = -2.0f * s3 + 3.0f * s2;
    const float h11 = s3 - s2;
    for (int i = 0; i < 3; ++i) v[i] = seg.p0[i] * h00 + seg.t0[i] * h10 + seg.p1[i] * h01 + seg.t1[i] * h11;
  }
  out = {v[0], v[1], v[2]};
  return true;
}

bool Track::evaluate(float time, Quaternion& out) const {
  if (keys_.empty()) return false;
  int segment = 0;
  const int key = locate(time, segment);
  if (key >= 0) {
    const AnimationKey& k = keys_[size_t(key)];
    out = kind_ == kRotation ? keyQuaternion(k) : Quaternion{k.value[0], k.value[1], k.value[2], k.value[3]};
    return true;
  }
  if (kind_ != kRotation) {
    Vec3 v;
    evaluate(time, v);
    out = {v.x, v.y, v.z, 0.0f};
    return true;
  }
  const Segment& seg = getSegment(segment);
  if (seg.end - seg.start < 0.0001f) {
    out = seg.q0;
    return true;
  }
  const float s = segmentParameter(seg, time);
  if (flags_ & kLinear) {
    out = slerp(seg.q0, seg.q1, s);
    return true;
  }
  const Quaternion a1 = slerp(seg.q0, seg.c0, s);
  const Quaternion a2 = slerp(seg.c0, seg.c1, s);
  const Quaternion a3 = slerp(seg.c1, seg.q1, s);
  out = slerp(slerp(a1, a2, s), slerp(a2, a3, s), s);
  return true;
}

// --- Animation ---------------------------------------------------------------------------------

bool Animation::evaluate(float time, Matrix& out) const {
  bool any = false;
  Matrix result = Matrix::identity();
  Vec3 v;
  Quaternion q;
  if (scale_.evaluate(time, v)) {
    result = Matrix::scaling(v.x, v.y, v.z);
    any = true;
  }
  if (rotation_.evaluate(time, q)) {
    result = result * Matrix::rotationQuaternion(q);
    any = true;
  }
  if (position_.evaluate(time, v)) {
    result = result * Matrix::translation(v.x, v.y, v.z);
    any = true;
  }
  if (any) out = result;
  return any;
}

bool Animation::getTimeRange(float& start, float& end) const {
  bool any = false;
  for (const Track* track : {&scale_, &rotation_, &position_}) widenTimeRange(*track, start, end, any);
  return any;
}

}  // namespace halcyon
