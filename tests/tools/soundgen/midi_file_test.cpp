#include "tools/soundgen/midi_file.h"

#include <gtest/gtest.h>

namespace soundgen {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(MidiFile, VariableLengthQuantitiesUseSevenBitsPerByte) {
  EXPECT_EQ(encodeVarLen(0), bytes({0x00}));
  EXPECT_EQ(encodeVarLen(0x7F), bytes({0x7F}));
  EXPECT_EQ(encodeVarLen(0x80), bytes({0x81, 0x00}));
  EXPECT_EQ(encodeVarLen(0x3FFF), bytes({0xFF, 0x7F}));
  EXPECT_EQ(encodeVarLen(0x4000), bytes({0x81, 0x80, 0x00}));
  EXPECT_EQ(encodeVarLen(0x0FFFFFFF), bytes({0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(MidiFile, TrackHoldsEventsInTimeOrderWithReleasesFirst) {
  // Given out of order: a key struck again at the instant it is released, and a program
  // change (one data byte) at the start.
  const std::vector<MidiEvent> events = {
      {1.0, 0x90, 60, 70},  // strike again at 1 s
      {1.0, 0x80, 60, 0},   // release at 1 s
      {0.0, 0x90, 60, 64},
      {0.0, 0xC0, 5, 0},
  };
  const std::string file = encodeMidi(events);
  ASSERT_GE(file.size(), 22u);
  EXPECT_EQ(file.substr(0, 4), "MThd");
  EXPECT_EQ(file.substr(8, 6), bytes({0x00, 0x00, 0x00, 0x01, 0x01, 0xE0}));  // format 0, 1 track, 480
  EXPECT_EQ(file.substr(14, 4), "MTrk");
  const std::uint32_t length = static_cast<std::uint8_t>(file[18]) << 24 | static_cast<std::uint8_t>(file[19]) << 16 |
                               static_cast<std::uint8_t>(file[20]) << 8 | static_cast<std::uint8_t>(file[21]);
  ASSERT_EQ(length, file.size() - 22);
  const std::string track = file.substr(22);
  const std::string expected = bytes({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // tempo: 1 s a quarter
                                      0x00, 0xC0, 0x05,                          // program, one data byte
                                      0x00, 0x90, 60,   64,                      // strike at 0
                                      0x83, 0x60, 0x80, 60,   0,                 // 480 ticks later: release
                                      0x00, 0x90, 60,   70,                      // then strike again
                                      0x00, 0xFF, 0x2F, 0x00});
  EXPECT_EQ(track, expected);
}

TEST(MidiFile, NegativeTimesAreClampedToTheStart) {
  const std::string track = encodeMidi({{-0.5, 0x90, 62, 40}}).substr(22);
  EXPECT_EQ(track.substr(7, 4), bytes({0x00, 0x90, 62, 40}));
}

}  // namespace
}  // namespace soundgen
