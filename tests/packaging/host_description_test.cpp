// The description the host's settings program reads: every option it can pass is one the
// saver takes, and each one changes the setting it is labelled with.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
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
    for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute); a != std::sregex_iterator(); ++a)
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

// Runs the option through the saver's parser; the settings it gives, or none when the
// parser refused it or left any of it unread.
std::optional<brassmoor::SaverSettings> settingsWith(const std::vector<std::string>& option) {
  std::vector<std::string> args = {"brassmoor"};
  args.insert(args.end(), option.begin(), option.end());
  brassmoor::RunOptions o;
  std::string error;
  if (!brassmoor::extractRunOptions(args, o, error) || args.size() != 1) return std::nullopt;
  brassmoor::SaverSettings s;
  brassmoor::applyRunOptions(o, s);
  return s;
}

TEST(HostDescription, EveryOptionTheHostPassesIsTakenAndChangesItsSetting) {
  const std::string xml = testsupport::readFileBytes(BRASSMOOR_HOST_DESCRIPTION);
  const auto elements = elementsOf(xml);
  ASSERT_FALSE(elements.empty());
  EXPECT_EQ(elements.front().tag, "screensaver");
  EXPECT_EQ(elements.front().attributes.at("name"), "brassmoor") << "the host finds the file by the program's name";
  EXPECT_EQ(elements.front().attributes.at("gl"), "yes");

  const brassmoor::SaverSettings defaults;
  using Effect = std::function<bool(const brassmoor::SaverSettings&, const std::string&)>;
  const std::map<std::string, Effect> effects = {
      {"root", [](auto& s, auto&) { return !s.ExitOnMM; }},
      {"music", [&](auto& s, auto&) { return s.Music != defaults.Music; }},
      {"sound", [&](auto& s, auto&) { return s.Sound != defaults.Sound; }},
      {"showfps", [](auto& s, auto&) { return s.ShowFps; }},
      {"photo", [](auto& s, auto& v) { return s.PhotoPath == v; }},
      {"volume", [](auto& s, auto& v) { return s.Volume == std::stoi(v); }},
      {"gamma", [](auto& s, auto& v) { return s.Gamma == std::stoi(v); }},
      {"time24", [](auto& s, auto&) { return s.TimeStyle; }},
      {"notime", [](auto& s, auto&) { return !s.ShowTime; }},
  };
  int options = 0;
  for (const Element& e : elements) {
    for (const char* key : {"arg", "arg-set", "arg-unset"}) {
      const auto found = e.attributes.find(key);
      if (found == e.attributes.end()) continue;
      ++options;
      std::vector<std::string> values = {"/tmp/picture.jpg"};
      if (e.tag == "number") values = {e.attributes.at("low"), e.attributes.at("high")};
      for (const std::string& value : values) {
        const auto option = words(found->second, value);
        const auto s = settingsWith(option);
        ASSERT_TRUE(s) << "the saver does not take " << found->second << " with " << value;
        const std::string id = e.tag == "command" ? "root" : e.attributes.count("id") ? e.attributes.at("id") : "";
        const auto effect = effects.find(id);
        ASSERT_NE(effect, effects.end()) << "no known setting for option " << id;
        EXPECT_TRUE(effect->second(*s, value)) << found->second << " with " << value << " leaves its setting alone";
      }
    }
    // A slider's default is the saver's own: the host leaves the option out at its default.
    if (e.tag == "number") {
      const auto s = settingsWith(words(e.attributes.at("arg"), e.attributes.at("default")));
      ASSERT_TRUE(s);
      EXPECT_EQ(*s, defaults) << e.attributes.at("id") << "'s default differs from the saver's";
    }
  }
  EXPECT_EQ(options, 9) << "root, music, sound, volume, gamma, 24-hour, no time, frame rate, photo";
}

}  // namespace
