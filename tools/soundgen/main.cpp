// soundgen: writes the raw material of the scene's sounds. The media script turns its output
// into the Ogg Vorbis files of the Media folder (see tools/make-media-assets.sh).
//
//   soundgen music <out.mid> <passes>          the nocturne as a MIDI file
//   soundgen loop <in.wav> <out.wav> <start-s> <length-s> <fade-s>
//                                             cut one seamless loop from a longer render
//   soundgen rain <out.wav>                   45 s of rain, already seamless
//   soundgen thunder <1|2|3> <out.wav>        one of the three thunder claps
//   soundgen ticks <out.wav>                  the 2 s tick-tock loop
//   soundgen bell <hour|quarter> <out.wav>    the hour bell or the quarter bell
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/soundgen/loop_join.h"
#include "tools/soundgen/nocturne.h"
#include "tools/soundgen/storm_sounds.h"
#include "tools/soundgen/wav_file.h"

namespace {

int usage() {
  std::fputs(
      "usage: soundgen music <out.mid> <passes>\n"
      "       soundgen loop <in.wav> <out.wav> <start-s> <length-s> <fade-s>\n"
      "       soundgen rain <out.wav>\n"
      "       soundgen thunder <1|2|3> <out.wav>\n"
      "       soundgen ticks <out.wav>\n"
      "       soundgen bell <hour|quarter> <out.wav>\n",
      stderr);
  return 2;
}

int writeOrFail(const std::string& path, const soundgen::Audio& audio) {
  if (!soundgen::writeWavFloat(path, audio)) {
    std::fprintf(stderr, "soundgen: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string command = argv[1];
  if (command == "music" && argc == 4) {
    const int passes = std::atoi(argv[3]);
    if (passes < 1 || passes > 8) return usage();
    const auto piece = soundgen::composeNocturne(passes, 1871);
    if (!soundgen::writeMidi(argv[2], piece.events)) {
      std::fprintf(stderr, "soundgen: cannot write %s\n", argv[2]);
      return 1;
    }
    std::printf("%.3f\n", piece.passSeconds);
    return 0;
  }
  if (command == "loop" && argc == 7) {
    const auto in = soundgen::readWav(argv[2]);
    if (!in) {
      std::fprintf(stderr, "soundgen: cannot read %s\n", argv[2]);
      return 1;
    }
    auto frames = [&](const char* seconds) {
      return static_cast<std::size_t>(std::llround(std::atof(seconds) * in->rate));
    };
    const auto loop = soundgen::joinLoop(*in, frames(argv[4]), frames(argv[5]), frames(argv[6]),
                                         soundgen::FadeShape::Linear);
    if (!loop) {
      std::fprintf(stderr, "soundgen: %s is too short for that loop\n", argv[2]);
      return 1;
    }
    return writeOrFail(argv[3], *loop);
  }
  if (command == "rain" && argc == 3) return writeOrFail(argv[2], soundgen::makeRain(45.0, 2207));
  if (command == "thunder" && argc == 4) {
    const int which = std::atoi(argv[2]);
    if (which < 1 || which > 3) return usage();
    return writeOrFail(argv[3], soundgen::makeThunder(which, 4000 + static_cast<std::uint64_t>(which)));
  }
  if (command == "ticks" && argc == 3) return writeOrFail(argv[2], soundgen::makeTicks(1843));
  if (command == "bell" && argc == 4) {
    const std::string which = argv[2];
    if (which == "hour") return writeOrFail(argv[3], soundgen::makeHourBell(1761));
    if (which == "quarter") return writeOrFail(argv[3], soundgen::makeQuarterBell(1762));
    return usage();
  }
  return usage();
}
