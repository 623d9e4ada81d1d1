// The packer and the viewer as a user runs them, checked against an independent reader of
// the archive format (bsdtar).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/fs/crc32.h"
#include "engine/udf/udf_binary.h"
#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
  int code = -1;
  std::string out;
};

Outcome run(const std::string& command) {
  Outcome r;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }
const std::string kUdfdump = UDFDUMP_PATH;
const std::string kMediapack = MEDIAPACK_PATH;

uint32_t crcOf(const std::string& bytes) { return halcyon::crc32(bytes.data(), bytes.size()); }

class PackedMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    files_["Scene.props"] = "CamSpeed = 1;\r\nAnimations = array(\"c1.cam\", \"c2.cam\");\r\n";
    std::string css(1600, '\0');
    for (size_t i = 0; i < css.size(); ++i) css[i] = static_cast<char>(i * 13 + 5);
    files_["64font.css"] = css;
    files_["fonts/sylfaen.fs"] = "CharWidth = 64;";
    for (const auto& [name, bytes] : files_) dir_.write("media/" + name, bytes);
    archive_ = (dir_.path() / "media.rar").string();
    ASSERT_EQ(run(kMediapack + " " + quote(archive_) + " " + quote((dir_.path() / "media").string()) +
                  " --mtime 1700000000")
                  .code,
              0);
  }

  // NAME -> (size, crc) as udfdump lists them.
  std::map<std::string, std::pair<uint64_t, uint32_t>> listing(const std::string& archive) {
    std::map<std::string, std::pair<uint64_t, uint32_t>> out;
    const Outcome r = run(kUdfdump + " archive list " + quote(archive));
    EXPECT_EQ(r.code, 0);
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
      const size_t a = line.find('\t');
      const size_t b = line.find('\t', a + 1);
      out[line.substr(0, a)] = {std::stoull(line.substr(a + 1, b - a - 1)),
                                static_cast<uint32_t>(std::stoul(line.substr(b + 1), nullptr, 16))};
    }
    return out;
  }

  testsupport::TempDir dir_;
  std::map<std::string, std::string> files_;
  std::string archive_;
};

TEST_F(PackedMedia, ListsAndExtractsWithUdfdump) {
  auto list = listing(archive_);
  ASSERT_EQ(list.size(), 5u);  // Media, Media\fonts and three files
  EXPECT_EQ(list.at("Media").first, 0u);
  EXPECT_EQ(list.count("Media\\fonts"), 1u);
  for (const auto& [name, bytes] : files_) {
    std::string entry = "Media\\" + name;
    for (char& c : entry) c = c == '/' ? '\\' : c;
    ASSERT_EQ(list.count(entry), 1u) << entry;
    EXPECT_EQ(list.at(entry).first, bytes.size());
    EXPECT_EQ(list.at(entry).second, crcOf(bytes));
    const Outcome x = run(kUdfdump + " archive extract " + quote(archive_) + " " + quote("media/" + name));
    EXPECT_EQ(x.code, 0);
    EXPECT_EQ(x.out, bytes);
  }
  EXPECT_EQ(run(kUdfdump + " archive extract " + quote(archive_) + " Media/none").code, 1);
}

TEST_F(PackedMedia, AnIndependentReaderAgrees) {
  if (run("command -v bsdtar").code != 0) GTEST_SKIP() << "bsdtar (libarchive-tools) is not installed";
  const Outcome toc = run("bsdtar -tf " + quote(archive_));
  ASSERT_EQ(toc.code, 0);
  EXPECT_EQ(toc.out, "Media\nMedia/64font.css\nMedia/Scene.props\nMedia/fonts\nMedia/fonts/sylfaen.fs\n");
  const auto list = listing(archive_);
  for (const auto& [name, bytes] : files_) {
    const Outcome x = run("bsdtar -xOf " + quote(archive_) + " " + quote("Media/" + name));
    ASSERT_EQ(x.code, 0) << name;
    EXPECT_EQ(x.out, bytes) << name;
    std::string entry = "Media\\" + name;
    for (char& c : entry) c = c == '/' ? '\\' : c;
    EXPECT_EQ(crcOf(x.out), list.at(entry).second) << name;  // the recorded CRC-32 checks
  }
}

TEST_F(PackedMedia, AnAlteredByteFailsTheCrc) {
  std::string bytes = testsupport::readFileBytes(archive_);
  const size_t at = bytes.find("Media\\64font.css");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 16 + 700] ^= 0x20;
  const std::string bad = dir_.write("bad.rar", bytes).string();
  EXPECT_EQ(run(kUdfdump + " archive extract " + quote(bad) + " Media/64font.css").code, 1);
  EXPECT_EQ(run(kUdfdump + " archive extract " + quote(bad) + " Media/Scene.props").code, 0);
  if (run("command -v bsdtar").code == 0) {
    const Outcome x = run("bsdtar -xOf " + quote(bad) + " Media/64font.css");
    EXPECT_NE(crcOf(x.out), listing(bad).at("Media\\64font.css").second);
  }
}

TEST(Udfdump, TextTreeAsJson) {
  testsupport::TempDir dir;
  const auto file = dir.write("props.txt",
                              "using Cfg; W = 5; 7; A = array(1, \"t\\\"q\");\r\nB = object(x = \"\xe9\");");
  const Outcome r = run(kUdfdump + " text " + quote(file.string()));
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            // Cfg's cursor stands on B, the member created last: iteration starts there.
            "[{\"name\":\"Cfg\",\"kind\":\"object\",\"value\":\"\",\"children\":["
            "{\"name\":\"B\",\"kind\":\"object\",\"value\":\"\",\"children\":["
            "{\"name\":\"x\",\"kind\":\"value\",\"value\":\"\\u00e9\",\"children\":[]}]},"
            "{\"name\":\"W\",\"kind\":\"value\",\"value\":\"5\",\"children\":[]},"
            "{\"name\":\"0\",\"kind\":\"value\",\"value\":\"7\",\"children\":[]},"
            "{\"name\":\"A\",\"kind\":\"array\",\"value\":\"\",\"children\":["
            "{\"name\":\"0\",\"kind\":\"value\",\"value\":\"1\",\"children\":[]},"
            "{\"name\":\"1\",\"kind\":\"value\",\"value\":\"t\\\\\\\"q\",\"children\":[]}]}]}]\n");
}

TEST(Udfdump, BinaryTreeAsJson) {
  using namespace halcyon;
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  UdfRecord& node = root->addChild(UdfRecord::makeStructured("Children", "Node"));
  node.addChild(UdfRecord::makeInt("Flags", 258));
  root->addChild(UdfRecord::makeRaw("Big", "byte", std::vector<uint8_t>(70, 0xAB)));
  node.addReference(*root->findChild("Big"));
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "s.udf").string();
  ASSERT_TRUE(UdfBinaryWriter().writeFile(*root, path));
  const Outcome r = run(kUdfdump + " binary " + quote(path));
  ASSERT_EQ(r.code, 0);
  std::string hex64;
  for (int i = 0; i < 64; ++i) hex64 += "ab";
  EXPECT_EQ(r.out.rfind("{\"name\":\"_root\",\"type\":\"_roottype\",\"flags\":4,", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("{\"name\":\"Flags\",\"type\":\"int\",\"flags\":0,\"size\":4,\"data\":\"02010000\"}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"name\":\"Big\",\"type\":\"byte\",\"flags\":2,\"size\":70,\"reference\":true}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"size\":70,\"data\":\"" + hex64 + "...\"}"), std::string::npos) << r.out;
  const Outcome full = run(kUdfdump + " binary " + quote(path) + " --full");
  EXPECT_NE(full.out.find("\"data\":\"" + hex64 + "abababababab\"}"), std::string::npos) << full.out;
}

TEST(Udfdump, UnreadableInputExitsWithOne) {
  testsupport::TempDir dir;
  const auto junk = dir.write("junk", std::string("\x05\x00\x00\x00garbage", 11));
  for (const std::string& cmd : {"text " + quote((dir.path() / "missing").string()), "binary " + quote(junk.string()),
                                 "binary " + quote(dir.path().string()), "archive list " + quote(junk.string()),
                                 "archive extract " + quote(junk.string()) + " x"}) {
    EXPECT_EQ(run(kUdfdump + " " + cmd).code, 1) << cmd;
  }
  EXPECT_EQ(run(kUdfdump + " frobnicate x").code, 2);
}

}  // namespace
