#pragma once
// Standard MIDI file (format 0) output for the composed music. Times are given in seconds;
// the file runs at one quarter note per second, so a tick is 1/480 s and the soundfont
// renderer places every event where the composition put it.
#include <cstdint>
#include <string>
#include <vector>

namespace soundgen {

struct MidiEvent {
  double seconds = 0.0;
  std::uint8_t status = 0;  // channel message status byte (0x80..0xEF)
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
};

constexpr int kTicksPerSecond = 480;

// Variable-length quantity as stored in delta times (7 bits a byte, high bit = more).
std::string encodeVarLen(std::uint32_t value);
// The whole file: header, one track with the tempo, the events in time order (note-offs
// before note-ons at equal times, so a repeated key is released before it is struck
// again), end of track.
std::string encodeMidi(std::vector<MidiEvent> events);
bool writeMidi(const std::string& path, const std::vector<MidiEvent>& events);

}  // namespace soundgen
