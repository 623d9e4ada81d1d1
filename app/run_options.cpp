#include "app/run_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

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
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return parseWhole(text.substr(2), id, 16);
  return parseWhole(text, id);
}

// The options, one row each. `name` is the long form; `dashes` says whether one dash does as
// well as two (the host's own options and the settings a host's configuration passes, which
// follow the host's habit of one dash). A row takes its value (when it has one) and fills the
// record, or says what is wrong with the value. The usage text is written from the same rows.
struct OptionRow {
  const char* name;
  const char* alias;      // a second spelling ("-h"), or null
  const char* valueName;  // null: the option takes no value
  bool oneDash;
  const char* help;  // null: not listed on its own (the second half of a pair)
  std::function<bool(RunOptions&, const std::string& value)> take;
};

// --NAME and --no-NAME, or any other pair of spellings for on and off.
void addToggle(std::vector<OptionRow>& rows, const char* on, const char* off, const char* help,
               std::optional<bool> RunOptions::*field) {
  rows.push_back({on, nullptr, nullptr, true, help, [field](RunOptions& o, const std::string&) {
                    o.*field = true;
                    return true;
                  }});
  rows.push_back({off, nullptr, nullptr, true, nullptr, [field](RunOptions& o, const std::string&) {
                    o.*field = false;
                    return true;
                  }});
}

void addFlag(std::vector<OptionRow>& rows, const char* name, const char* alias, bool oneDash, const char* help,
             bool RunOptions::*field) {
  rows.push_back({name, alias, nullptr, oneDash, help, [field](RunOptions& o, const std::string&) {
                    o.*field = true;
                    return true;
                  }});
}

template <typename T>
void addWhole(std::vector<OptionRow>& rows, const char* name, const char* valueName, bool oneDash, const char* help,
              std::optional<T> RunOptions::*field, int64_t low, int64_t high) {
  rows.push_back({name, nullptr, valueName, oneDash, help, [=](RunOptions& o, const std::string& v) {
                    int64_t n = 0;
                    if (!parseWhole(v, n) || n < low || n > high) return false;
                    o.*field = static_cast<T>(n);
                    return true;
                  }});
}

void addText(std::vector<OptionRow>& rows, const char* name, const char* valueName, const char* help,
             std::string RunOptions::*field) {
  rows.push_back({name, nullptr, valueName, false, help, [field](RunOptions& o, const std::string& v) {
                    if (v.empty()) return false;
                    o.*field = v;
                    return true;
                  }});
}

const std::vector<OptionRow>& optionRows() {
  static const std::vector<OptionRow> rows = [] {
    std::vector<OptionRow> r;
    r.push_back({"--window", nullptr, "WxH", false, "run in a window of that size (test mode)",
                 [](RunOptions& o, const std::string& v) {
                   std::pair<int32_t, int32_t> size;
                   if (!parseSize(v, size)) return false;
                   o.windowSize = size;
                   return true;
                 }});
    addWhole<int64_t>(r, "--frames", "N", false, "end after N drawn frames", &RunOptions::frames, 1,
                      std::numeric_limits<int64_t>::max());
    r.push_back({"--seconds", nullptr, "S", false, "end after S seconds", [](RunOptions& o, const std::string& v) {
                   double s = 0;
                   if (!parseReal(v, s) || s <= 0 || s > 1e9) return false;
                   o.seconds = s;
                   return true;
                 }});
    addText(r, "--screenshot", "FILE", "write the last drawn frame as PNG", &RunOptions::screenshot);
    addText(r, "--record", "DIR", "write every drawn frame as DIR/frame-00000.png, ...", &RunOptions::recordDir);
    r.push_back({"--time", nullptr, "HH:MM:SS[.mmm]", false, "start the clock at that local time",
                 [](RunOptions& o, const std::string& v) {
                   halcyon::SystemTime t;
                   if (!parseTime(v, t)) return false;
                   o.startTime = t;
                   return true;
                 }});
    addWhole<uint32_t>(r, "--seed", "N", false, "the same N gives the same run (flashes, tours)", &RunOptions::seed, 0,
                       std::numeric_limits<uint32_t>::max());
    addText(r, "--tour", "NAME", "start with that camera tour (free: the free camera, no tours)", &RunOptions::tour);
    r.push_back({"--tour-time", nullptr, "S", false, "... S seconds into it", [](RunOptions& o, const std::string& v) {
                   double t = 0;
                   if (!parseReal(v, t) || t < 0) return false;
                   o.tourTime = t;
                   return true;
                 }});
    addText(r, "--audio-out", "FILE", "write the sound to a WAV file", &RunOptions::audioOut);
    addWhole<int32_t>(r, "--max-fps", "N", false, "at most N frames a second (0: as many as the display shows)",
                      &RunOptions::frameCap, 0, 1000);
    addFlag(r, "--root", nullptr, true, "draw on $XSCREENSAVER_WINDOW, else on the root window", &RunOptions::root);
    r.push_back({"--window-id", nullptr, "ID", true, "draw inside that X window (hex 0x... or decimal)",
                 [](RunOptions& o, const std::string& v) {
                   uint64_t id = 0;
                   if (!parseWindowId(v, id) || id == 0) return false;
                   o.windowId = id;
                   return true;
                 }});
    addToggle(r, "--fps", "--no-fps", "the frame rate shown or not", &RunOptions::showFps);
    // Hosts pass these for windows they make themselves; the saver draws on the window it is
    // given, so they change nothing.
    r.push_back({"--visual", nullptr, "VISUAL", true, nullptr, [](RunOptions&, const std::string&) { return true; }});
    r.push_back({"--install", nullptr, nullptr, true, nullptr, [](RunOptions&, const std::string&) { return true; }});
    addToggle(r, "--music", "--no-music", "music on or off for this run", &RunOptions::music);
    addToggle(r, "--sound", "--no-sound", "sound on or off for this run", &RunOptions::sound);
    addToggle(r, "--show-time", "--no-time", "the time shown or not for this run", &RunOptions::showTime);
    addToggle(r, "--24h", "--12h", "the time shown in 24- or 12-hour form for this run", &RunOptions::timeStyle);
    addWhole<int32_t>(r, "--volume", "0..100", true, "the volume for this run", &RunOptions::volume, 0, 100);
    addWhole<int32_t>(r, "--gamma", "-100..100", true, "the brightness for this run", &RunOptions::gamma, -100, 100);
    r.push_back({"--photo", nullptr, "FILE", true, "the picture in the frame for this run",
                 [](RunOptions& o, const std::string& v) {
                   o.photoPath = v;
                   return true;
                 }});
    r.push_back({"--lightning", nullptr, "off|soft|full", true, "the lightning for this run",
                 [](RunOptions& o, const std::string& v) {
                   o.lightning = parseLightning(v);
                   return o.lightning.has_value();
                 }});
    r.push_back({"--chimes", nullptr, "off|hours|quarters", true, "the clock's strike for this run",
                 [](RunOptions& o, const std::string& v) {
                   o.chimes = parseChimes(v);
                   return o.chimes.has_value();
                 }});
    addFlag(r, "--verbose", nullptr, false, "print the trace of the run on stderr (also BRASSMOOR_VERBOSE=1)",
            &RunOptions::verbose);
    addFlag(r, "--help", "-h", false, "this text", &RunOptions::help);
    addFlag(r, "--version", nullptr, false, "the program's version", &RunOptions::version);
    return r;
  }();
  return rows;
}

const OptionRow* findOption(const std::string& given) {
  for (const OptionRow& row : optionRows()) {
    if (given == row.name || (row.alias && given == row.alias)) return &row;
    if (row.oneDash && given.size() > 1 && given[0] == '-' && given[1] != '-' && "-" + given == row.name) return &row;
  }
  return nullptr;
}

}  // namespace

bool extractRunOptions(std::vector<std::string>& arguments, RunOptions& o, std::string& error) {
  std::vector<std::string> kept;
  if (!arguments.empty()) kept.push_back(arguments[0]);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    const OptionRow* row = findOption(name);
    if (!row) {
      // Two dashes always mean an option; an unknown one is a mistake, not a screensaver
      // switch. One dash and "/" are the host's switches ("/s", "-p 123", every letter).
      if (name.size() > 2 && name.compare(0, 2, "--") == 0) {
        error = "unknown option " + name;
        return false;
      }
      kept.push_back(name);
      continue;
    }
    std::string value;
    if (row->valueName) {
      if (i + 1 >= arguments.size()) {
        error = name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (!row->take(o, value)) {
      error = "bad value for " + name + ": \"" + value + "\"";
      return false;
    }
  }
  arguments = std::move(kept);
  takeHostEnvironment(o, std::getenv("XSCREENSAVER_WINDOW"));
  if (!o.verbose) {
    const char* verbose = std::getenv("BRASSMOOR_VERBOSE");
    o.verbose = verbose && *verbose && std::string(verbose) != "0";
  }
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
  if (o.showFps) settings.ShowFps = *o.showFps;
  if (o.music) settings.Music = *o.music;
  if (o.sound) settings.Sound = *o.sound;
  // A host's time menu passes one word per entry: the form of the time shows it, and
  // --no-time hides it whichever form is given with it.
  if (o.timeStyle) settings.TimeStyle = *o.timeStyle, settings.ShowTime = true;
  if (o.showTime) settings.ShowTime = *o.showTime;
  if (o.volume) settings.Volume = *o.volume;
  if (o.gamma) settings.Gamma = *o.gamma;
  if (o.photoPath) settings.PhotoPath = *o.photoPath;
  if (o.lightning) settings.Lightning = static_cast<int32_t>(*o.lightning);
  if (o.chimes) settings.Chimes = static_cast<int32_t>(*o.chimes);
  if (hostWindowTarget(o)) settings.ExitOnMM = false;
}

int32_t frameCap(const RunOptions& options, int32_t storedCap, int32_t refreshHz) {
  constexpr int32_t kUnknownRefreshCap = 60;
  if (options.frameCap) return *options.frameCap;
  if (storedCap > 0) return storedCap;
  if (hostWindowTarget(options)) return kHostFrameCap;
  return refreshHz > 0 ? refreshHz : kUnknownRefreshCap;
}

std::string usageText() {
  std::string text =
      "Usage: brassmoor [switch] [options]\n"
      "\n"
      "Switches (as screensaver hosts pass them; \"-\" may stand for \"/\"):\n"
      "  /s              run the saver full-screen (also any other letter)\n"
      "  /t              test run, as /s\n"
      "  /p <window>     paint the preview picture into that X11 window (decimal or 0x hex)\n"
      "  /c [window]     settings dialog (also when no switch is given)\n"
      "  /a <window>     password (not supported; ends at once)\n"
      "Without a switch, --frames, --seconds, --screenshot and --record run in a window.\n"
      "\n"
      "Options (those marked * also with one dash, as hosts write them):\n";
  for (std::size_t i = 0; i < optionRows().size(); ++i) {
    const OptionRow& row = optionRows()[i];
    if (!row.help) continue;
    std::string left = std::string("  ") + (row.oneDash ? "*" : " ") + row.name;
    if (row.alias) left += ", " + std::string(row.alias);
    // A pair of spellings is listed on one line.
    if (i + 1 < optionRows().size() && !optionRows()[i + 1].help && !optionRows()[i + 1].valueName && !row.valueName)
      left += ", " + std::string(optionRows()[i + 1].name);
    if (row.valueName) left += " " + std::string(row.valueName);
    if (left.size() < 26) left.resize(26, ' ');
    else
      left += "\n" + std::string(26, ' ');
    text += left + row.help + "\n";
  }
  text +=
      "\n"
      "Exit codes: 0 help or version; 1 a run or the dialog ended; 2 bad command line; 3 no X\n"
      "display; 4 no OpenGL 3.3; 5 display mode not available; 6 window not creatable; 7 media\n"
      "unreadable; 8 the display went away during the run.\n"
      "Settings are kept in $XDG_CONFIG_HOME/brassmoor/settings.reg (~/.config/brassmoor/).\n";
  return text;
}

}  // namespace brassmoor
