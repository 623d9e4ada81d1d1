#pragma once
// Options for people, tests and scripts, and the ones screensaver hosts on this platform
// pass. They are taken off the command line before the screensaver switches are read, so a
// host's "/s" or "/p 123" means the same with or without them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/clock.h"
#include "settings/saver_settings.h"
#include "settings/setting_choices.h"

namespace brassmoor {

struct RunOptions {
  // --window WxH: run as Test mode in a window of that size.
  std::optional<std::pair<int32_t, int32_t>> windowSize;
  // --frames N: end normally after N drawn frames.
  std::optional<int64_t> frames;
  // --seconds S: end normally after S seconds of frame loop.
  std::optional<double> seconds;
  // --screenshot FILE: the last drawn frame as PNG.
  std::string screenshot;
  // --record DIR: every drawn frame as DIR/frame-00000.png, ...
  std::string recordDir;
  // --time HH:MM:SS[.mmm]: the local time starts there and runs on.
  std::optional<halcyon::SystemTime> startTime;
  // --seed N: the random generator's seed instead of one from the clock.
  std::optional<uint32_t> seed;
  // --tour NAME, --tour-time T: start with that camera tour at that tour time.
  std::string tour;
  std::optional<double> tourTime;
  // --audio-out FILE: the mixed sound written to a WAV file.
  std::string audioOut;
  // --max-fps N: at most N frames a second, the loop sleeping out the rest of each frame's
  // time (0: as fast as presentation allows). Wins over the stored FrameCap.
  std::optional<int32_t> frameCap;
  bool help = false;     // --help, -h
  bool version = false;  // --version
  // --verbose (or BRASSMOOR_VERBOSE in the environment): the run's trace on stderr.
  bool verbose = false;
  // Screensaver hosts: -root / --root, -window-id ID (decimal or 0x hex), -fps / --no-fps.
  bool root = false;
  std::optional<uint64_t> windowId;
  std::optional<bool> showFps;
  // Settings a host's configuration passes for this run; each one given wins over the stored
  // value, and nothing is written back. --music/--no-music, --sound/--no-sound,
  // --show-time/--no-time, --24h/--12h (which show the time unless --no-time is given too),
  // --volume 0..100, --gamma -100..100, --photo FILE, --lightning off|soft|full,
  // --chimes off|hours|quarters (one dash does as well as two, as with
  // the host's other options). Each switch has its opposite, so that a host's dialog can set
  // what it shows whichever way the stored setting stands. Each field is named after the
  // setting it stands in for (timeStyle: true for 24-hour, as SaverSettings::TimeStyle).
  std::optional<bool> music;
  std::optional<bool> sound;
  std::optional<bool> showTime;
  std::optional<bool> timeStyle;
  std::optional<int32_t> volume;
  std::optional<int32_t> gamma;
  std::optional<std::string> photoPath;
  std::optional<LightningMode> lightning;
  std::optional<ChimeMode> chimes;
};

// Removes every recognised option (and its value) from `arguments` (program name first,
// left in place). False, with `error` set, when an option's value is missing or malformed or
// an option with two dashes is unknown. Options are rows of a table in run_options.cpp: a
// new one is a field here and one row there (addToggle for a --x/--no-x pair), and the usage
// text follows from the row.
bool extractRunOptions(std::vector<std::string>& arguments, RunOptions& options, std::string& error);

// XSCREENSAVER_WINDOW (decimal or 0x hex) names the window a host made for the saver; it
// counts as -window-id unless one was given (the host's preview passes both). Anything that
// is not a window id is ignored.
void takeHostEnvironment(RunOptions& options, const char* xscreensaverWindow);

// The X window the saver draws into for a host: the -window-id (or the environment's) one,
// 0 for the root window with -root alone, none for a run of its own.
std::optional<uint64_t> hostWindowTarget(const RunOptions& options);

// Applies what the options say about settings to the record loaded for this run. A hosted run
// never ends on mouse movement: the host watches the input and ends the saver itself.
void applyRunOptions(const RunOptions& options, SaverSettings& settings);

// The frame cap of the run, in frames a second (0: none): --max-fps when given; else the
// stored setting when it names one; else kHostFrameCap under a host, whose users expect a
// saver to leave the machine cool, and the display's refresh rate for a run of its own (60
// when the display does not tell), since frames beyond it are never seen. Twenty is the
// fewest frames that still carry the tours' glides and the pendulum's swing evenly: at
// 1280x720 the fastest glide steps at most 6-7 px a frame there (at the screen's edge),
// against 8-9 px at fifteen and 13 at ten, where the steps show. GL on a graphics card draws
// the room in a few milliseconds, so the cap is what keeps it cool; the software rasteriser
// cannot reach twenty frames a second and runs as fast as the machine lets it under any cap
// worth having.
inline constexpr int32_t kHostFrameCap = 20;
int32_t frameCap(const RunOptions& options, int32_t storedCap = 0, int32_t refreshHz = 0);

std::string usageText();

}  // namespace brassmoor
