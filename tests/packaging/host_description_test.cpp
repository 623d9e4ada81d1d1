// The description the host's settings program reads: every option it can pass is one the
// saver takes, each one sets the setting it is labelled with whichever way that setting is
// stored, and what the host passes untouched gives the saver's own defaults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <optional>
// GCC 12 warns inside its own <regex> once AddressSanitizer instruments it (a state copied
// before it is filled, as the flow analysis wrongly sees it); the sanitizer build would fail on it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "tests/support/temp_dir.h"

namespace {

struct Element {
  std::string tag;
  std::map<std::string, std::string> attributes;
};

std::vector<Element> elementsOf(const std::string& xml) {
  std::vector<Element> out;
  const std::regex element(R"re(<([a-z][a-z-]*)((?:\s+[a-z_-]+="[^"]*")*)\s*/?>)re");
  const std::regex attribute(R"re(([a-z_-]+)="([^"]*)")re");
  for (auto e = std::sregex_iterator(xml.begin(), xml.end(), element); e != std::sregex_iterator(); ++e) {
    Element parsed{(*e)[1], {}};
    const std::string attributes = (*e)[2];
    for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute); a != std::sregex_iterator();
         ++a)
      parsed.attributes[(*a)[1]] = (*a)[2];
    out.push_back(parsed);
  }
  return out;
}

// The command-line words of one option, with its value put in for "%".
std::vector<std::string> words(std::string arg, const std::string& value) {
  if (const auto at = arg.find('%'); at != std::string::npos) arg.replace(at, 1, value);
  std::istringstream in(arg);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Runs the option through the saver's parser over `base`; the settings it gives, or none when
// the parser refused it or left any of it unread.
std::optional<brassmoor::SaverSettings> settingsWith(const std::vector<std::string>& option,
                                                     const brassmoor::SaverSettings& base = {}) {
  std::vector<std::string> args = {"brassmoor"};
  args.insert(args.end(), option.begin(), option.end());
  brassmoor::RunOptions o;
  std::string error;
  if (!brassmoor::extractRunOptions(args, o, error) || args.size() != 1) return std::nullopt;
  brassmoor::SaverSettings s = base;
  brassmoor::applyRunOptions(o, s);
  return s;
}

// The stored settings with every switch the host sets turned the other way, and with all of
// them the same way: an option must win over either.
std::vector<brassmoor::SaverSettings> storedBothWays() {
  std::vector<brassmoor::SaverSettings> out;
  for (bool on : {false, true}) {
    brassmoor::SaverSettings s;
    s.Music = s.Sound = s.ShowTime = s.TimeStyle = s.ShowFps = on;
    out.push_back(s);
  }
  brassmoor::SaverSettings flipped;
  flipped.Music = !flipped.Music, flipped.Sound = !flipped.Sound, flipped.ShowTime = !flipped.ShowTime;
  flipped.TimeStyle = !flipped.TimeStyle, flipped.ShowFps = !flipped.ShowFps;
  out.push_back(flipped);
  return out;
}

TEST(HostDescription, EveryOptionTheHostPassesIsTakenAndSetsItsSettingEitherWay) {
  const std::string xml = testsupport::readFileBytes(BRASSMOOR_HOST_DESCRIPTION);
  const auto elements = elementsOf(xml);
  ASSERT_FALSE(elements.empty());
  EXPECT_EQ(elements.front().tag, "screensaver");
  EXPECT_EQ(elements.front().attributes.at("name"), "brassmoor") << "the host finds the file by the program's name";
  EXPECT_EQ(elements.front().attributes.at("gl"), "yes");

  // What each option must do, by the id of its element and the attribute that holds it.
  using Effect = std::function<bool(const brassmoor::SaverSettings&, const std::string&)>;
  const std::map<std::string, Effect> effects = {
      {"root arg", [](auto& s, auto&) { return !s.ExitOnMM; }},
      {"music-on arg-set", [](auto& s, auto&) { return s.Music; }},
      {"music-off arg-set", [](auto& s, auto&) { return !s.Music; }},
      {"sound-on arg-set", [](auto& s, auto&) { return s.Sound; }},
      {"sound-off arg-set", [](auto& s, auto&) { return !s.Sound; }},
      {"time12 arg-set", [](auto& s, auto&) { return s.ShowTime && !s.TimeStyle; }},
      {"time24 arg-set", [](auto& s, auto&) { return s.ShowTime && s.TimeStyle; }},
      {"notime arg-set", [](auto& s, auto&) { return !s.ShowTime; }},
      {"showfps arg-set", [](auto& s, auto&) { return s.ShowFps; }},
      {"showfps arg-unset", [](auto& s, auto&) { return !s.ShowFps; }},
      {"photo arg", [](auto& s, auto& v) { return s.PhotoPath == v; }},
      {"volume arg", [](auto& s, auto& v) { return s.Volume == std::stoi(v); }},
      {"gamma arg", [](auto& s, auto& v) { return s.Gamma == std::stoi(v); }},
      {"lightningfull arg-set", [](auto& s, auto&) { return s.Lightning == 2; }},
      {"lightningsoft arg-set", [](auto& s, auto&) { return s.Lightning == 1; }},
      {"lightningoff arg-set", [](auto& s, auto&) { return s.Lightning == 0; }},
      {"chimesoff arg-set", [](auto& s, auto&) { return s.Chimes == 0; }},
      {"chimeshours arg-set", [](auto& s, auto&) { return s.Chimes == 1; }},
      {"chimesquarters arg-set", [](auto& s, auto&) { return s.Chimes == 2; }},
  };
  int options = 0;
  // What the host passes when nothing has been changed in its dialog: the first entry of
  // each menu and an unticked box (a slider at its default passes nothing).
  std::vector<std::string> untouched;
  bool firstOption = false;
  for (const Element& e : elements) {
    if (e.tag == "select") firstOption = true;
    for (const char* key : {"arg", "arg-set", "arg-unset"}) {
      const auto found = e.attributes.find(key);
      if (found == e.attributes.end()) continue;
      ++options;
      const std::string id = e.tag == "command" ? "root" : e.attributes.count("id") ? e.attributes.at("id") : "";
      const auto effect = effects.find(id + " " + key);
      ASSERT_NE(effect, effects.end()) << "no known setting for option " << id << " " << key;
      std::vector<std::string> values = {"/tmp/picture.jpg"};
      if (e.tag == "number") values = {e.attributes.at("low"), e.attributes.at("high")};
      for (const std::string& value : values) {
        const auto option = words(found->second, value);
        EXPECT_EQ(std::count_if(option.begin(), option.end(),
                                [](const std::string& w) {
                                  return w.size() > 1 && w[0] == '-' && !std::isdigit(static_cast<unsigned char>(w[1]));
                                }),
                  1)
            << "the host reads back one option (with its value), not two: " << found->second;
        for (const brassmoor::SaverSettings& stored : storedBothWays()) {
          const auto s = settingsWith(option, stored);
          ASSERT_TRUE(s) << "the saver does not take " << found->second << " with " << value;
          EXPECT_TRUE(effect->second(*s, value)) << found->second << " with " << value << " leaves its setting alone";
        }
      }
      if ((e.tag == "option" && firstOption) || (e.tag == "boolean" && std::string(key) == "arg-unset"))
        untouched.push_back(found->second);
    }
    if (e.tag == "option") firstOption = false;
    // A slider's default is the saver's own: the host leaves the option out at its default.
    if (e.tag == "number") {
      const auto s = settingsWith(words(e.attributes.at("arg"), e.attributes.at("default")));
      ASSERT_TRUE(s);
      EXPECT_EQ(*s, brassmoor::SaverSettings{}) << e.attributes.at("id") << "'s default differs from the saver's";
    }
  }
  EXPECT_EQ(options, 19) << "root, music and sound both ways, three time entries, frame rate both ways, "
                            "volume, gamma, photo, three lightning and three chime entries";

  // The host's defaults are the saver's stored defaults, whatever the user has stored.
  std::vector<std::string> defaultsLine;
  for (const std::string& arg : untouched)
    for (const std::string& w : words(arg, "")) defaultsLine.push_back(w);
  for (const brassmoor::SaverSettings& stored : storedBothWays()) {
    const auto s = settingsWith(defaultsLine, stored);
    ASSERT_TRUE(s);
    const brassmoor::SaverSettings defaults;
    EXPECT_EQ(s->Music, defaults.Music);
    EXPECT_EQ(s->Sound, defaults.Sound);
    EXPECT_EQ(s->ShowTime, defaults.ShowTime);
    EXPECT_EQ(s->TimeStyle, defaults.TimeStyle);
    EXPECT_EQ(s->ShowFps, defaults.ShowFps);
    EXPECT_EQ(s->Lightning, defaults.Lightning);
    EXPECT_EQ(s->Chimes, defaults.Chimes);
  }
}

}  // namespace
