#pragma once
// The clock's night music: a slow nocturne for piano with a soft string pad, 40 bars of
// 4/4 at one beat a second (160 s), in D minor with a middle section in F major. It ends on
// the dominant so that it leads back into its own first bar when it loops.
#include <cstdint>
#include <vector>

#include "tools/soundgen/midi_file.h"

namespace soundgen {

struct Composition {
  std::vector<MidiEvent> events;
  double passSeconds = 0.0;  // length of one pass of the piece
};

// `passes` back-to-back performances of the piece. Each pass is played identically
// (the same humanising draws), so that any one pass, lifted from the middle of the render,
// carries exactly the tails that the previous pass leaves when the file loops.
Composition composeNocturne(int passes, std::uint64_t seed);

// Parts used by the tests: MIDI key numbers for note names ("A4" = 69, "Bb3" = 58,
// "C#5" = 73; -1 for anything else) and the pitch classes of chord symbols ("Gm/Bb").
int noteNumber(const char* name);
struct Chord {
  int bassClass = 0;             // pitch class of the lowest note (0 = C)
  std::vector<int> toneClasses;  // pitch classes of the chord, root first
};
bool parseChord(const char* symbol, Chord& chord);

}  // namespace soundgen
