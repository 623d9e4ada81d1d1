// Finishing a WAV file whose writer never closed it: the header's sizes set from what is on
// disk, the writer's later writes turned away, and files that are not what they should be
// left untouched.
#include "platform/sound/wave_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::string le16(uint32_t v) { return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8 & 0xff)}; }
std::string le32(uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }
uint32_t le32At(const std::string& bytes, std::size_t at) {
  auto b = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// 16-bit stereo at 44.1 kHz, sizes left open as a writer does until it closes.
std::string openHeader(bool extensible, const std::string& chunksBeforeData = {}) {
  std::string fmt = le16(extensible ? 0xFFFE : 1) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) + le16(16);
  if (extensible) fmt += le16(22) + le16(16) + le32(3) + std::string(16, '\x01');
  return "RIFF" + le32(0xFFFFFFFF) + "WAVE" + "fmt " + le32(static_cast<uint32_t>(fmt.size())) + fmt +
         chunksBeforeData + "data" + le32(0xFFFFFFFF);
}

TEST(WaveFileWatch, AWatchedFileGetsTheSizesOfItsWholeFramesAndTheWriterIsTurnedAway) {
  testsupport::TempDir dir;
  for (const bool extensible : {true, false}) {
    const std::string header = openHeader(extensible, extensible ? "" : "LIST" + le32(3) + "abc" + '\0');
    // 100 frames and half of one more: the writer was cut off mid-frame.
    const auto path = dir.write("out.wav", header + std::string(400, '\x10') + "\x20\x20");
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    {
      platform::WaveFileWatch watch(path);
      platform::finishWatchedWaveFiles();
      EXPECT_EQ(::write(writer, "more", 4), 4) << "the writer goes on, unaware";
    }
    ::close(writer);
    const std::string bytes = testsupport::readFileBytes(path);
    ASSERT_EQ(bytes.size(), header.size() + 400) << "the half frame is cut, nothing written after";
    EXPECT_EQ(le32At(bytes, header.size() - 4), 400u) << extensible;
    EXPECT_EQ(le32At(bytes, 4), bytes.size() - 8) << extensible;
    EXPECT_EQ(bytes.compare(header.size(), 400, std::string(400, '\x10')), 0) << "the sound is kept";

    // A watch that ended (its device closed) leaves the file to the writer.
    dir.write("out.wav", header + std::string(8, '\x10'));
    { platform::WaveFileWatch watch(path); }
    platform::finishWatchedWaveFiles();
    EXPECT_EQ(le32At(testsupport::readFileBytes(path), 4), 0xFFFFFFFFu);
  }
}

TEST(WaveFileWatch, FilesThatDoNotReadAsAWaveAreLeftAsTheyAre) {
  testsupport::TempDir dir;
  const std::string header = openHeader(false);
  const std::string frames(64, '\x10');
  const std::string dataFirst = "RIFF" + le32(0xFFFFFFFF) + "WAVE" + "data" + le32(0xFFFFFFFF) + frames;
  const std::string longChunk = "RIFF" + le32(0xFFFFFFFF) + "WAVE" + "junk" + le32(0x7FFFFFF0) + header.substr(12);
  const std::string shortFormat = "RIFF" + le32(0xFFFFFFFF) + "WAVE" + "fmt " + le32(4) + "abcd" + "data" +
                                  le32(0xFFFFFFFF) + frames;
  for (const std::string& bytes : {std::string(), std::string("RIFF"), "RIFX" + header.substr(4) + frames,
                                   header.substr(0, 30), dataFirst, longChunk + frames, shortFormat}) {
    const auto path = dir.write("out.wav", bytes);
    {
      platform::WaveFileWatch watch(path);
      platform::finishWatchedWaveFiles();
    }
    EXPECT_EQ(testsupport::readFileBytes(path), bytes) << bytes.size() << " bytes";
  }
}

}  // namespace
