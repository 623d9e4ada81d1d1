#include "tools/soundgen/nocturne.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace soundgen {
namespace {

TEST(Nocturne, NoteNamesFollowTheOctaveOfTheirLetter) {
  EXPECT_EQ(noteNumber("C4"), 60);
  EXPECT_EQ(noteNumber("A4"), 69);
  EXPECT_EQ(noteNumber("Bb3"), 58);
  EXPECT_EQ(noteNumber("C#5"), 73);
  EXPECT_EQ(noteNumber("Cb4"), 59);
  EXPECT_EQ(noteNumber("B#4"), 72);
  EXPECT_EQ(noteNumber("H4"), -1);
  EXPECT_EQ(noteNumber("A"), -1);
  EXPECT_EQ(noteNumber("A44"), -1);
}

TEST(Nocturne, ChordSymbolsGiveTheirTonesAndBass) {
  Chord c;
  ASSERT_TRUE(parseChord("Gm/Bb", c));
  EXPECT_EQ(c.bassClass, 10);
  EXPECT_EQ(c.toneClasses, (std::vector<int>{7, 10, 2}));
  ASSERT_TRUE(parseChord("A7", c));
  EXPECT_EQ(c.bassClass, 9);
  EXPECT_EQ(c.toneClasses, (std::vector<int>{9, 1, 4, 7}));
  ASSERT_TRUE(parseChord("Asus4", c));
  EXPECT_EQ(c.toneClasses, (std::vector<int>{9, 2, 4}));
  EXPECT_FALSE(parseChord("Xm", c));
  EXPECT_FALSE(parseChord("Cmaj9", c));
  EXPECT_FALSE(parseChord("C/Q", c));
}

TEST(Nocturne, EveryPassIsTheSamePerformanceShiftedByOnePass) {
  // The loop is lifted from the middle of a multi-pass render; it only joins cleanly if the
  // passes are identical.
  const Composition one = composeNocturne(1, 7);
  const Composition three = composeNocturne(3, 7);
  EXPECT_GE(one.passSeconds, 120.0);
  EXPECT_LE(one.passSeconds, 180.0);
  // Away from the pass boundaries, where humanised timing lets an event slip into the
  // neighbouring pass.
  const double L = one.passSeconds;
  std::vector<MidiEvent> second, third;
  for (const auto& e : three.events) {
    if (e.seconds >= L + 1.0 && e.seconds < 2 * L - 1.0) second.push_back(e);
    if (e.seconds >= 2 * L + 1.0 && e.seconds < 3 * L - 1.0) third.push_back(e);
  }
  auto byTime = [](const MidiEvent& a, const MidiEvent& b) {
    return a.seconds != b.seconds ? a.seconds < b.seconds
                                  : std::tie(a.status, a.data1, a.data2) < std::tie(b.status, b.data1, b.data2);
  };
  std::sort(second.begin(), second.end(), byTime);
  std::sort(third.begin(), third.end(), byTime);
  ASSERT_FALSE(second.empty());
  ASSERT_EQ(second.size(), third.size());
  for (std::size_t i = 0; i < second.size(); ++i) {
    EXPECT_NEAR(third[i].seconds - second[i].seconds, one.passSeconds, 1e-9);
    EXPECT_EQ(third[i].status, second[i].status);
    EXPECT_EQ(third[i].data1, second[i].data1);
    EXPECT_EQ(third[i].data2, second[i].data2);
  }
}

TEST(Nocturne, NotesArePlayableAndEveryStrikeIsReleased) {
  const Composition piece = composeNocturne(2, 7);
  std::map<std::pair<int, int>, int> open;  // (channel, key) -> strikes minus releases
  int strikes = 0;
  for (const auto& e : piece.events) {
    const int kind = e.status & 0xF0, channel = e.status & 0x0F;
    ASSERT_LT(e.data1, 128);
    ASSERT_LT(e.data2, 128);
    if (kind == 0x90 && e.data2 > 0) {
      ++strikes;
      EXPECT_GE(e.data1, 21) << "below the piano's lowest key";
      EXPECT_LE(e.data1, 108) << "above the piano's highest key";
      EXPECT_LE(e.data2, 100) << "a nocturne is never struck that hard";
      ++open[{channel, e.data1}];
    } else if (kind == 0x80) {
      --open[{channel, e.data1}];
    }
  }
  EXPECT_GT(strikes, 500);
  for (const auto& [key, balance] : open) EXPECT_EQ(balance, 0) << "channel " << key.first << " key " << key.second;
}

}  // namespace
}  // namespace soundgen
