#include "tools/soundgen/midi_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace soundgen {
namespace {

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// Releases sort first, then controllers, then strikes: at one instant the pedal goes down
// after the old notes are let go and before the new ones sound.
int orderOf(const MidiEvent& e) {
  const int kind = e.status & 0xF0;
  const bool release = kind == 0x80 || (kind == 0x90 && e.data2 == 0);
  if (release) return 0;
  if (kind == 0xC0) return 1;
  if (kind == 0xB0) return 2;
  return 3;
}

}  // namespace

std::string encodeVarLen(std::uint32_t value) {
  std::string bytes(1, static_cast<char>(value & 0x7F));
  while ((value >>= 7) != 0) bytes.insert(bytes.begin(), static_cast<char>((value & 0x7F) | 0x80));
  return bytes;
}

std::string encodeMidi(std::vector<MidiEvent> events) {
  struct Timed {
    std::int64_t tick;
    int order;
    MidiEvent event;
  };
  std::vector<Timed> timed;
  timed.reserve(events.size());
  for (const auto& e : events) {
    const auto tick = static_cast<std::int64_t>(std::llround(std::max(0.0, e.seconds) * kTicksPerSecond));
    timed.push_back({tick, orderOf(e), e});
  }
  std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  std::string track;
  // Tempo: 1 000 000 microseconds per quarter note, so ticks are plain 1/480 s.
  track += encodeVarLen(0);
  track += std::string("\xFF\x51\x03\x0F\x42\x40", 6);
  std::int64_t previous = 0;
  for (const auto& t : timed) {
    track += encodeVarLen(static_cast<std::uint32_t>(t.tick - previous));
    previous = t.tick;
    track.push_back(static_cast<char>(t.event.status));
    track.push_back(static_cast<char>(t.event.data1 & 0x7F));
    const int kind = t.event.status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0) track.push_back(static_cast<char>(t.event.data2 & 0x7F));
  }
  track += encodeVarLen(0);
  track += std::string("\xFF\x2F\x00", 3);

  std::string file = "MThd";
  put32(file, 6);
  file += std::string("\x00\x00\x00\x01", 4);  // format 0, one track
  file.push_back(static_cast<char>(kTicksPerSecond >> 8));
  file.push_back(static_cast<char>(kTicksPerSecond & 0xFF));
  file += "MTrk";
  put32(file, static_cast<std::uint32_t>(track.size()));
  file += track;
  return file;
}

bool writeMidi(const std::string& path, const std::vector<MidiEvent>& events) {
  const std::string bytes = encodeMidi(events);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace soundgen
