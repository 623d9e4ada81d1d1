#include "tools/soundgen/nocturne.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "tools/soundgen/dsp.h"

namespace soundgen {
namespace {

// One bar: its harmony (a second chord after a space changes it at the half bar) and the
// melody as note:beats pairs ("r" is a rest).
struct Bar {
  const char* harmony;
  const char* melody;
};

constexpr Bar kBars[] = {
    // The theme, D minor.
    {"Dm", "r:1 A4:1 D5:1.5 E5:0.5"},
    {"Gm/Bb", "F5:1.5 G5:0.5 F5:1 E5:1"},
    {"A7", "E5:1 D5:0.5 C#5:0.5 D5:1 E5:1"},
    {"Dm", "D5:2.5 r:0.5 A4:0.5 Bb4:0.5"},
    {"Bb", "C5:1.5 D5:0.5 F5:1 D5:1"},
    {"Gm", "Bb4:1.5 C5:0.5 D5:1 G4:1"},
    {"Asus4 A", "A4:2 D5:1 C#5:1"},
    {"Dm", "D5:3 r:1"},
    // The theme again, turning towards the relative major.
    {"Dm", "r:1 A4:1 F5:1.5 E5:0.5"},
    {"Gm/Bb", "G5:1.5 A5:0.5 G5:1 F5:1"},
    {"A7", "E5:1 G5:1 F5:0.5 E5:0.5 D5:0.5 C#5:0.5"},
    {"Dm", "D5:2 A5:1 F5:1"},
    {"Bb", "D5:1.5 C5:0.5 Bb4:1 D5:1"},
    {"Gm7", "C5:1.5 Bb4:0.5 A4:1 G4:1"},
    {"Gm7", "A4:1.5 Bb4:0.5 C5:1 D5:1"},
    {"C7", "E5:2 C5:1 Bb4:1"},
    // The lift: F major, the melody opens upwards.
    {"F", "A4:1 C5:1 F5:1.5 E5:0.5"},
    {"C/E", "E5:1.5 D5:0.5 C5:1 G5:1"},
    {"Dm", "F5:1.5 E5:0.5 D5:1 A5:1"},
    {"Am", "A5:1.5 G5:0.5 E5:1 C5:1"},
    {"Bb", "D5:1 F5:1 Bb5:1.5 A5:0.5"},
    {"F/A", "A5:1.5 G5:0.5 F5:1 C5:1"},
    {"Gm7", "Bb4:1 D5:1 G5:1 F5:1"},
    {"C7", "E5:1.5 F5:0.5 G5:1 E5:1"},
    {"F", "F5:3 C5:1"},
    {"Dm", "D5:1.5 E5:0.5 F5:1 A5:1"},
    {"Bb", "G5:1.5 F5:0.5 D5:1 Bb4:1"},
    {"A7", "C#5:1 E5:1 G5:1 E5:1"},
    // The theme returns in D minor.
    {"Dm", "r:1 A4:1 D5:1.5 E5:0.5"},
    {"Gm/Bb", "F5:1.5 G5:0.5 A5:1 G5:1"},
    {"A7", "F5:1 E5:0.5 D5:0.5 C#5:1 E5:1"},
    {"Dm", "D5:2.5 r:0.5 F5:0.5 E5:0.5"},
    {"Bb", "D5:1.5 C5:0.5 Bb4:1 F5:1"},
    {"Gm6", "G5:1.5 F5:0.5 E5:0.5 D5:0.5 Bb4:1"},
    {"Asus4 A", "A4:2 E5:1 C#5:1"},
    {"Dm", "D5:3 r:1"},
    // Coda, quieter, ending on the dominant that leads back to the first bar.
    {"Bb", "F5:2 D5:1 Bb4:1"},
    {"Gm6", "E5:2 D5:1 Bb4:1"},
    {"Dm/A", "A4:2 F5:1 D5:1"},
    {"A7", "E5:1 C#5:1 A4:2"},
};
constexpr int kBarCount = static_cast<int>(sizeof(kBars) / sizeof(kBars[0]));
constexpr double kBeat = 1.0;  // seconds: 60 beats a minute
constexpr double kBarSeconds = 4 * kBeat;
constexpr int kPhraseBars = 4;

constexpr std::uint8_t kPiano = 0;
constexpr std::uint8_t kStrings = 1;

int pitchClassOf(const char*& p) {
  static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (*p < 'A' || *p > 'G') return -1;
  int pc = base[*p - 'A'];
  ++p;
  if (*p == '#') {
    ++pc;
    ++p;
  } else if (*p == 'b') {
    --pc;
    ++p;
  }
  return (pc + 12) % 12;
}

// Section loudness: quiet theme, warmer lift, softer coda (which meets the quiet start).
double sectionLoudness(int bar) {
  if (bar < 8) return 0.0;
  if (bar < 16) return 3.0;
  if (bar < 28) return 7.0;
  if (bar < 36) return 4.0;
  return -2.0;
}

// Rubato within each four-bar phrase: a little forward motion in the middle, a broadening
// into the phrase end, and no displacement at phrase boundaries, so the piece keeps its
// exact length and every phrase starts on its grid time.
double warp(double t) {
  const double phrase = kPhraseBars * kBarSeconds;
  const double start = std::floor(t / phrase) * phrase;
  const double u = (t - start) / phrase;
  return t + 0.8 * u * u * (u - 1.0);
}

struct Performer {
  Random rng;
  std::vector<MidiEvent>* out;
  double offset;  // start of the pass

  void note(std::uint8_t channel, int key, double on, double off, double velocity) {
    const int v = std::clamp(static_cast<int>(std::lround(velocity)), 1, 127);
    out->push_back({offset + on, static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
                    static_cast<std::uint8_t>(v)});
    out->push_back({offset + off, static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0});
  }
  void control(std::uint8_t channel, int number, int value, double at) {
    out->push_back({offset + at, static_cast<std::uint8_t>(0xB0 | channel), static_cast<std::uint8_t>(number),
                    static_cast<std::uint8_t>(std::clamp(value, 0, 127))});
  }
};

std::vector<std::string> split(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> parts;
  for (std::string s; in >> s;) parts.push_back(s);
  return parts;
}

// Chord tones from `low` upwards, skipping the close intervals that muddy the bass.
std::vector<int> tonesAbove(const Chord& chord, int low, int count) {
  std::vector<int> tones;
  for (int key = low; static_cast<int>(tones.size()) < count && key < 128; ++key)
    if (std::find(chord.toneClasses.begin(), chord.toneClasses.end(), key % 12) != chord.toneClasses.end())
      tones.push_back(key);
  return tones;
}

int bassKey(const Chord& chord) { return 38 + (chord.bassClass - 2 + 12) % 12; }  // D2..C#3

void playAccompaniment(Performer& p, int bar, const std::vector<Chord>& chords) {
  const double barStart = bar * kBarSeconds;
  const double loud = sectionLoudness(bar);
  const int eighthsPerChord = 8 / static_cast<int>(chords.size());
  for (std::size_t c = 0; c < chords.size(); ++c) {
    const Chord& chord = chords[c];
    const int bass = bassKey(chord);
    const auto tones = tonesAbove(chord, bass + 7, 4);
    std::vector<int> figure = {bass, tones[0], tones[1], tones[2]};
    if (eighthsPerChord == 8) figure.insert(figure.end(), {tones[3], tones[2], tones[1], tones[0]});
    const double chordStart = barStart + static_cast<double>(c) * eighthsPerChord * 0.5 * kBeat;
    // Pedal: lift as the new harmony is struck, catch it again just after.
    p.control(kPiano, 64, 0, warp(chordStart) - 0.005);
    p.control(kPiano, 64, 127, warp(chordStart) + 0.09);
    for (std::size_t i = 0; i < figure.size(); ++i) {
      const double t = chordStart + static_cast<double>(i) * 0.5 * kBeat;
      const double arch = std::sin(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(figure.size()));
      double velocity = (i == 0 ? 50.0 : 36.0 + 6.0 * arch) + loud + 2.5 * p.rng.gaussian();
      const double on = warp(t) + 0.006 * p.rng.gaussian();
      p.note(kPiano, figure[i], std::max(0.0, on), warp(t + 0.9), velocity);
    }
  }
}

void playMelody(Performer& p, int bar, const Chord& mainChord) {
  double beat = 0.0;
  const double loud = sectionLoudness(bar);
  const int phraseBar = bar % kPhraseBars;
  for (const auto& token : split(kBars[bar].melody)) {
    const auto colon = token.find(':');
    const double beats = std::stod(token.substr(colon + 1));
    const std::string name = token.substr(0, colon);
    if (name != "r") {
      const int key = noteNumber(name.c_str());
      const double t = bar * kBarSeconds + beat * kBeat;
      // Phrases swell towards their middle; higher notes sing out a little more.
      const double phrasePos = (phraseBar * 4.0 + beat) / (kPhraseBars * 4.0);
      double velocity = 62.0 + 10.0 * std::sin(kPi * phrasePos) + 0.35 * (key - 74) + loud;
      if (beat == 0.0) velocity += 3.0;  // the down beat
      velocity += 3.0 * p.rng.gaussian();
      const double on = warp(t) + 0.012 + 0.008 * p.rng.gaussian();
      const double off = warp(t + beats * kBeat) + 0.04;
      p.note(kPiano, key, on, off, velocity);
      // In the major section long chord tones get a soft third or sixth below them.
      const bool chordTone = std::find(mainChord.toneClasses.begin(), mainChord.toneClasses.end(), key % 12) !=
                             mainChord.toneClasses.end();
      if (bar >= 16 && bar < 28 && beats >= 1.5 && chordTone) {
        for (int below = key - 3; below >= key - 9; --below) {
          if (std::find(mainChord.toneClasses.begin(), mainChord.toneClasses.end(), below % 12) !=
              mainChord.toneClasses.end()) {
            p.note(kPiano, below, on + 0.015, off, velocity - 14.0);
            break;
          }
        }
      }
    }
    beat += beats;
  }
}

// The string pad holds three voices that move to the nearest chord tone bar by bar.
std::vector<std::vector<int>> padVoicings(const std::vector<Chord>& barChords) {
  std::vector<std::vector<int>> voicings;
  std::vector<int> voices = {57, 62, 65};  // A3 D4 F4
  for (const Chord& chord : barChords) {
    std::vector<int> next;
    for (int v : voices) {
      int best = v, bestDistance = 100;
      for (int key = 52; key <= 72; ++key) {
        const bool tone = std::find(chord.toneClasses.begin(), chord.toneClasses.end(), key % 12) !=
                          chord.toneClasses.end();
        const bool taken = std::find(next.begin(), next.end(), key) != next.end();
        if (tone && !taken && std::abs(key - v) < bestDistance) {
          best = key;
          bestDistance = std::abs(key - v);
        }
      }
      next.push_back(best);
    }
    voices = next;
    voicings.push_back(voices);
  }
  return voicings;
}

double padExpression(double bar) {
  // Swells gently with the sections; the value at the end of the coda equals the start.
  static const double perBar[] = {58, 70, 84, 74, 52};
  auto section = [](int b) { return b < 8 ? 0 : b < 16 ? 1 : b < 28 ? 2 : b < 36 ? 3 : 4; };
  const int b = static_cast<int>(std::floor(bar));
  const double f = bar - b;
  const double here = perBar[section(b % kBarCount)];
  const double next = (b + 1) % kBarCount == 0 ? perBar[0] : perBar[section((b + 1) % kBarCount)];
  return here + (next - here) * f;
}

}  // namespace

int noteNumber(const char* name) {
  const char* p = name;
  const int pc = pitchClassOf(p);
  if (pc < 0 || *p < '0' || *p > '9' || p[1] != '\0') return -1;
  // The octave number follows the letter, so Cb4 lies below C4 and B#4 above B4.
  int octave = *p - '0';
  if (name[0] == 'C' && name[1] == 'b') --octave;
  if (name[0] == 'B' && name[1] == '#') ++octave;
  return 12 * (octave + 1) + pc;
}

bool parseChord(const char* symbol, Chord& chord) {
  const char* p = symbol;
  const int root = pitchClassOf(p);
  if (root < 0) return false;
  std::vector<int> intervals;
  const char* slash = std::strchr(p, '/');
  const std::string quality(p, slash ? static_cast<std::size_t>(slash - p) : std::strlen(p));
  if (quality.empty()) intervals = {0, 4, 7};
  else if (quality == "m")
    intervals = {0, 3, 7};
  else if (quality == "7")
    intervals = {0, 4, 7, 10};
  else if (quality == "m7")
    intervals = {0, 3, 7, 10};
  else if (quality == "m6")
    intervals = {0, 3, 7, 9};
  else if (quality == "sus4")
    intervals = {0, 5, 7};
  else
    return false;
  chord.toneClasses.clear();
  for (int i : intervals) chord.toneClasses.push_back((root + i) % 12);
  chord.bassClass = root;
  if (slash) {
    const char* b = slash + 1;
    const int bass = pitchClassOf(b);
    if (bass < 0 || *b != '\0') return false;
    chord.bassClass = bass;
  }
  return true;
}

Composition composeNocturne(int passes, std::uint64_t seed) {
  Composition result;
  result.passSeconds = kBarCount * kBarSeconds;

  std::vector<std::vector<Chord>> harmony;
  std::vector<Chord> mainChords;
  for (const Bar& bar : kBars) {
    std::vector<Chord> chords;
    for (const auto& symbol : split(bar.harmony)) {
      Chord chord;
      parseChord(symbol.c_str(), chord);
      chords.push_back(chord);
    }
    mainChords.push_back(chords.back());
    harmony.push_back(chords);
  }
  const auto voicings = padVoicings(mainChords);

  for (int pass = 0; pass < passes; ++pass) {
    Performer p{Random(seed), &result.events, pass * result.passSeconds};
    if (pass == 0) {
      result.events.push_back({0.0, static_cast<std::uint8_t>(0xC0 | kPiano), 0, 0});     // acoustic grand
      result.events.push_back({0.0, static_cast<std::uint8_t>(0xC0 | kStrings), 49, 0});  // slow strings
      p.control(kPiano, 7, 104, 0.0);
      p.control(kStrings, 7, 42, 0.0);
      p.control(kPiano, 91, 0, 0.0);
      p.control(kStrings, 91, 0, 0.0);
      p.control(kPiano, 93, 0, 0.0);
      p.control(kStrings, 93, 0, 0.0);
      p.control(kStrings, 10, 56, 0.0);
    }
    for (int bar = 0; bar < kBarCount; ++bar) {
      playAccompaniment(p, bar, harmony[static_cast<std::size_t>(bar)]);
      playMelody(p, bar, mainChords[static_cast<std::size_t>(bar)]);
    }
    // Pad: a voice is struck only when its pitch changes, so common tones sustain across
    // bars (and across the loop point, into the next pass).
    for (std::size_t v = 0; v < 3; ++v) {
      for (int bar = 0; bar < kBarCount; ++bar) {
        const int key = voicings[static_cast<std::size_t>(bar)][v];
        const int before = voicings[static_cast<std::size_t>((bar + kBarCount - 1) % kBarCount)][v];
        if (key == before && !(pass == 0 && bar == 0)) continue;
        int end = bar + 1;
        while (voicings[static_cast<std::size_t>(end % kBarCount)][v] == key && end < bar + kBarCount) ++end;
        const double on = warp(bar * kBarSeconds) + 0.03 * static_cast<double>(v);
        const double off = end * kBarSeconds + 0.25;
        p.note(kStrings, key, on, off, 44.0 + 2.0 * p.rng.gaussian());
      }
    }
    for (double t = 0.0; t < result.passSeconds; t += 0.25)
      p.control(kStrings, 11, static_cast<int>(std::lround(padExpression(t / kBarSeconds))), t);
  }
  return result;
}

}  // namespace soundgen
