#include "app/run_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace brassmoor {
namespace {

template <typename T>
bool parseWhole(const std::string& text, T& value, int base = 10) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, value, base);
  return ec == std::errc() && end == last;
}

bool parseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && std::isfinite(value);
}

bool parseSize(const std::string& text, std::pair<int32_t, int32_t>& size) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int32_t w = 0, h = 0;
  if (!parseWhole(text.substr(0, x), w) || !parseWhole(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
  size = {w, h};
  return true;
}

// HH:MM:SS or HH:MM:SS.mmm, today's date.
bool parseTime(const std::string& text, halcyon::SystemTime& time) {
  if (text.size() != 8 && !(text.size() >= 10 && text.size() <= 12 && text[8] == '.')) return false;
  if (text[2] != ':' || text[5] != ':') return false;
  uint16_t h = 0, m = 0, s = 0, ms = 0;
  if (!parseWhole(text.substr(0, 2), h) || !parseWhole(text.substr(3, 2), m) || !parseWhole(text.substr(6, 2), s))
    return false;
  if (text.size() > 8) {
    std::string fraction = text.substr(9);
    while (fraction.size() < 3) fraction.push_back('0');
    if (!parseWhole(fraction, ms)) return false;
  }
  if (h > 23 || m > 59 || s > 59) return false;
  time = halcyon::localTime();
  time.hour = h;
  time.minute = m;
  time.second = s;
  time.milliseconds = ms;
  return true;
}

bool parseWindowId(const std::string& text, uint64_t& id) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return parseWhole(text.substr(2), id, 16);
  return parseWhole(text, id);
}

// The host options are spelled with one dash or two; the long form is the canonical name.
bool isOption(const std::string& given, const char* longName) {
  return given == longName || (given.size() > 1 && given[0] == '-' && given[1] != '-' && "-" + given == longName);
}

}  // namespace

bool extractRunOptions(std::vector<std::string>& arguments, RunOptions& o, std::string& error) {
  std::vector<std::string> kept;
  if (!arguments.empty()) kept.push_back(arguments[0]);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= arguments.size()) {
        error = name + " needs a value";
        return false;
      }
      out = arguments[++i];
      return true;
    };
    auto bad = [&](const std::string& v) {
      error = "bad value for " + name + ": \"" + v + "\"";
      return false;
    };
    std::string v;
    if (name == "--window") {
      std::pair<int32_t, int32_t> size;
      if (!value(v)) return false;
      if (!parseSize(v, size)) return bad(v);
      o.windowSize = size;
    } else if (name == "--frames") {
      int64_t n = 0;
      if (!value(v)) return false;
      if (!parseWhole(v, n) || n < 1) return bad(v);
      o.frames = n;
    } else if (name == "--max-fps") {
      int64_t n = 0;
      if (!value(v)) return false;
      if (!parseWhole(v, n) || n < 0 || n > 1000) return bad(v);
      o.maxFps = static_cast<int32_t>(n);
    } else if (name == "--seconds") {
      double s = 0;
      if (!value(v)) return false;
      if (!parseReal(v, s) || s <= 0 || s > 1e9) return bad(v);
      o.seconds = s;
    } else if (name == "--screenshot") {
      if (!value(v)) return false;
      if (v.empty()) return bad(v);
      o.screenshot = v;
    } else if (name == "--record") {
      if (!value(v)) return false;
      if (v.empty()) return bad(v);
      o.recordDir = v;
    } else if (name == "--time") {
      halcyon::SystemTime t;
      if (!value(v)) return false;
      if (!parseTime(v, t)) return bad(v);
      o.startTime = t;
    } else if (name == "--seed") {
      uint32_t seed = 0;
      if (!value(v)) return false;
      if (!parseWhole(v, seed)) return bad(v);
      o.seed = seed;
    } else if (name == "--tour") {
      if (!value(v)) return false;
      if (v.empty()) return bad(v);
      o.tour = v;
    } else if (name == "--tour-time") {
      double t = 0;
      if (!value(v)) return false;
      if (!parseReal(v, t) || t < 0) return bad(v);
      o.tourTime = t;
    } else if (name == "--audio-out") {
      if (!value(v)) return false;
      if (v.empty()) return bad(v);
      o.audioOut = v;
    } else if (name == "--help") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "-root" || name == "--root") {
      o.root = true;
    } else if (name == "-window-id" || name == "--window-id") {
      uint64_t id = 0;
      if (!value(v)) return false;
      if (!parseWindowId(v, id) || id == 0) return bad(v);
      o.windowId = id;
    } else if (name == "-fps" || name == "--fps") {
      o.fps = true;
    } else if (isOption(name, "--music") || isOption(name, "--no-music")) {
      o.music = isOption(name, "--music");
    } else if (isOption(name, "--sound") || isOption(name, "--no-sound")) {
      o.sound = isOption(name, "--sound");
    } else if (isOption(name, "--show-time") || isOption(name, "--no-time")) {
      o.showTime = isOption(name, "--show-time");
    } else if (isOption(name, "--24h") || isOption(name, "--12h")) {
      o.twentyFourHour = isOption(name, "--24h");
    } else if (isOption(name, "--volume")) {
      int32_t n = 0;
      if (!value(v)) return false;
      if (!parseWhole(v, n) || n < 0 || n > 100) return bad(v);
      o.volume = n;
    } else if (isOption(name, "--gamma")) {
      int32_t n = 0;
      if (!value(v)) return false;
      if (!parseWhole(v, n) || n < -100 || n > 100) return bad(v);
      o.gamma = n;
    } else if (isOption(name, "--photo")) {
      if (!value(v)) return false;
      o.photoPath = v;
    } else {
      kept.push_back(name);
    }
  }
  arguments = std::move(kept);
  takeHostEnvironment(o, std::getenv("XSCREENSAVER_WINDOW"));
  return true;
}

void takeHostEnvironment(RunOptions& options, const char* xscreensaverWindow) {
  if (options.windowId || !xscreensaverWindow) return;
  uint64_t id = 0;
  if (parseWindowId(xscreensaverWindow, id) && id != 0) options.windowId = id;
}

std::optional<uint64_t> hostWindowTarget(const RunOptions& options) {
  if (options.windowId) return options.windowId;
  if (options.root) return uint64_t{0};
  return std::nullopt;
}

void applyRunOptions(const RunOptions& o, SaverSettings& settings) {
  if (o.fps) settings.ShowFps = true;
  if (o.music) settings.Music = *o.music;
  if (o.sound) settings.Sound = *o.sound;
  if (o.showTime) settings.ShowTime = *o.showTime;
  if (o.twentyFourHour) settings.TimeStyle = *o.twentyFourHour;
  if (o.volume) settings.Volume = *o.volume;
  if (o.gamma) settings.Gamma = *o.gamma;
  if (o.photoPath) settings.PhotoPath = *o.photoPath;
  if (hostWindowTarget(o)) settings.ExitOnMM = false;
}

int32_t frameCap(const RunOptions& options) {
  if (options.maxFps) return *options.maxFps;
  return hostWindowTarget(options) ? 60 : 0;
}

std::string usageText() {
  return "Usage: brassmoor [switch] [options]\n"
         "\n"
         "Switches (as screensaver hosts pass them; \"-\" may stand for \"/\"):\n"
         "  /s              run the saver full-screen (also any other letter)\n"
         "  /t              test run, as /s\n"
         "  /p <window>     paint the preview picture into the host's X11 window (decimal id)\n"
         "  /c [window]     settings dialog (also when no switch is given)\n"
         "  /a <window>     password (not supported; ends at once)\n"
         "\n"
         "Options:\n"
         "  --window WxH          run in a window of that size (test mode)\n"
         "  --frames N            end after N drawn frames\n"
         "  --seconds S           end after S seconds\n"
         "  --screenshot FILE     write the last drawn frame as PNG\n"
         "  --record DIR          write every drawn frame as DIR/frame-00000.png, ...\n"
         "  --time HH:MM:SS[.mmm] start the clock at that local time\n"
         "  --seed N              seed the random generator with N\n"
         "  --tour NAME           start with that camera tour\n"
         "  --tour-time S         ... S seconds into it\n"
         "  --audio-out FILE      write the sound to a WAV file\n"
         "  --max-fps N           at most N frames a second (0: no limit; 60 under a host)\n"
         "  -root, -window-id ID, -fps   as screensaver hosts pass them: draw inside the host's\n"
         "                        window (or $XSCREENSAVER_WINDOW, or the root window)\n"
         "  --music, --no-music, --sound, --no-sound, --show-time, --no-time, --24h, --12h,\n"
         "  --volume 0..100, --gamma -100..100, --photo FILE\n"
         "                        settings for this run only (the stored ones stay)\n"
         "  --help, --version\n"
         "\n"
         "Settings are kept in $XDG_CONFIG_HOME/brassmoor/settings.reg (~/.config/brassmoor/).\n";
}

}  // namespace brassmoor
