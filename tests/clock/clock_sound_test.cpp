#include "clock/clock_sound.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "engine/fs/archive_writer.h"
#include "engine/fs/file_ref.h"
#include "engine/fs/stored_archive.h"
#include "platform/sound/recording_sound_library.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trace_capture.h"

namespace {

using brassmoor::ClockSound;
using brassmoor::ListenerPose;
using brassmoor::SoundSettings;
using platform::RecordingSoundLibrary;
using platform::SoundHandle;
using platform::SoundVector;
using Calls = std::vector<std::string>;

// Hands the scene a library whose calls land in the test's recorder, and notes its release.
class Forwarder final : public platform::SoundLibrary {
 public:
  Forwarder(RecordingSoundLibrary& to, bool& released) : to_(to), released_(released) {}
  ~Forwarder() override { released_ = true; }
  bool Init(int32_t d, uint32_t f, uint32_t fl, void* w, const void* c) override { return to_.Init(d, f, fl, w, c); }
  bool SetConfig(uint32_t o, uint32_t v) override { return to_.SetConfig(o, v); }
  bool Set3DFactors(float a, float b, float c) override { return to_.Set3DFactors(a, b, c); }
  bool Set3DPosition(const SoundVector* p, const SoundVector* v, const SoundVector* f, const SoundVector* t) override {
    return to_.Set3DPosition(p, v, f, t);
  }
  void Apply3D() override { to_.Apply3D(); }
  SoundHandle SampleLoad(const void* m, uint32_t o, uint32_t l, uint32_t x, uint32_t f) override {
    return to_.SampleLoad(m, o, l, x, f);
  }
  SoundHandle SampleGetChannel(SoundHandle s, bool n) override { return to_.SampleGetChannel(s, n); }
  bool ChannelPlay(SoundHandle c, bool r) override { return to_.ChannelPlay(c, r); }
  bool ChannelSetAttributes(SoundHandle c, int32_t f, int32_t v, int32_t p) override {
    return to_.ChannelSetAttributes(c, f, v, p);
  }
  bool ChannelSet3DAttributes(SoundHandle c, int32_t m, float a, float b, int32_t i, int32_t o, int32_t v) override {
    return to_.ChannelSet3DAttributes(c, m, a, b, i, o, v);
  }
  bool ChannelSet3DPosition(SoundHandle c, const SoundVector* p, const SoundVector* o, const SoundVector* v) override {
    return to_.ChannelSet3DPosition(c, p, o, v);
  }

 private:
  RecordingSoundLibrary& to_;
  bool& released_;
};

// Media files by name; their sizes make them recognisable in the recorded loads.
std::map<std::string, size_t> allMedia() {
  return {{"Media/ClockMusic.ogg", 1000}, {"Media/ClockRain.ogg", 2000}, {"Media/ClockGrom1.ogg", 301},
          {"Media/ClockGrom2.ogg", 302},  {"Media/ClockGrom3.ogg", 303}, {"Media/ClockTicks.ogg", 400}};
}

struct Rig {
  explicit Rig(SoundSettings settings, std::map<std::string, size_t> media = allMedia(),
               RecordingSoundLibrary::Options options = {}, bool haveLibrary = true)
      : recorder(std::move(options)),
        sound(
            settings,
            [this, haveLibrary]() -> std::unique_ptr<platform::SoundLibrary> {
              if (!haveLibrary) return nullptr;
              return std::make_unique<Forwarder>(recorder, released);
            },
            [media](const std::string& name) -> std::optional<std::vector<uint8_t>> {
              auto it = media.find(name);
              if (it == media.end()) return std::nullopt;
              return std::vector<uint8_t>(it->second, 0x4F);
            },
            "Media") {}

  // The scene's load: library, device, samples, then the fade-in starts.
  void load() {
    sound.loadSoundLibrary();
    sound.initSound(nullptr);
    sound.loadSamples(ticksAt);
    sound.restartFadeIn(clock.now());
  }

  std::vector<uint32_t> volumesAtSeconds(int seconds) {
    std::vector<uint32_t> volumes;
    for (int s = 0; s <= seconds; ++s) {
      sound.frameMove(camera, false, clock.now());
      volumes.push_back(recorder.globalVolume());
      clock.advance(1000);
    }
    return volumes;
  }

  testsupport::FakeClock clock{50'000};
  testsupport::TraceCapture trace;
  RecordingSoundLibrary recorder;
  bool released = false;
  ClockSound sound;
  SoundVector ticksAt{310.5f, 182, -4};
  ListenerPose camera{{-200, 100, 0}, {1, 0, 0}, {0, 1, 0}};
};

TEST(ClockSoundLoad, MakesTheLibraryCallsInOrderWithTheirArguments) {
  Rig rig({true, true, 50});
  rig.load();
  EXPECT_EQ(rig.recorder.calls(), (Calls{
                                      "Init(1, 44100, 4, null, null) = true",
                                      "Set3DFactors(-1, 0.1, -1) = true",
                                      "Apply3D()",
                                      "SetConfig(4, 0) = true",
                                      "SampleLoad(mem, 0, 1000, 20, 4) = 1",
                                      "SampleGetChannel(1, true) = 1001",
                                      "ChannelPlay(1001, true) = true",
                                      "SampleLoad(mem, 0, 2000, 20, 4) = 2",
                                      "SampleGetChannel(2, true) = 1002",
                                      "ChannelPlay(1002, true) = true",
                                      "SampleLoad(mem, 0, 301, 20, 0) = 3",
                                      "SampleLoad(mem, 0, 302, 20, 0) = 4",
                                      "SampleLoad(mem, 0, 303, 20, 0) = 5",
                                      "SampleLoad(mem, 0, 400, 20, 30) = 6",
                                      "SampleGetChannel(6, true) = 1003",
                                      "ChannelPlay(1003, true) = true",
                                      "ChannelSet3DAttributes(1003, 0, 10, 800, 360, 360, 100) = true",
                                      "ChannelSet3DPosition(1003, (310.5, 182, -4), (0, 0, 1), null) = true",
                                      "ChannelSetAttributes(1003, -1, 100, -1) = true",
                                      "Apply3D()",
                                  }));
  EXPECT_EQ(rig.trace.texts(), (Calls{
                                   "BASS inited\n",
                                   "Media/ClockMusic.ogg sample loaded\n",
                                   "Media/ClockRain.ogg sample loaded\n",
                                   "Media/ClockGrom1.ogg sample loaded\n",
                                   "Media/ClockGrom2.ogg sample loaded\n",
                                   "Media/ClockGrom3.ogg sample loaded\n",
                               }));
  EXPECT_EQ(rig.recorder.globalVolume(), 0u);  // muted until the first frame
}

TEST(ClockSoundLoad, MissingFilesLeaveZeroHandlesAndTheRainAndTicksCallsAreStillMade) {
  auto media = allMedia();
  media.erase("Media/ClockRain.ogg");
  media.erase("Media/ClockGrom2.ogg");
  media.erase("Media/ClockTicks.ogg");
  Rig rig({false, true, 50}, media);
  rig.load();
  EXPECT_EQ(rig.sound.rainSample(), 0u);
  EXPECT_EQ(rig.sound.thunderSample(1), 0u);
  EXPECT_EQ(rig.sound.ticksSample(), 0u);
  EXPECT_TRUE(rig.sound.thunderLoaded());
  EXPECT_EQ(rig.recorder.callsStartingWith("SampleGetChannel"),
            (Calls{"SampleGetChannel(0, true) = 0", "SampleGetChannel(0, true) = 0"}));
  EXPECT_EQ(rig.recorder.callsStartingWith("Channel"),
            (Calls{"ChannelPlay(0, true) = false", "ChannelPlay(0, true) = false",
                   "ChannelSet3DAttributes(0, 0, 10, 800, 360, 360, 100) = false",
                   "ChannelSet3DPosition(0, (310.5, 182, -4), (0, 0, 1), null) = false",
                   "ChannelSetAttributes(0, -1, 100, -1) = false"}));
  EXPECT_TRUE(rig.recorder.playingChannels().empty());
  EXPECT_FALSE(rig.trace.contains("Media/ClockRain.ogg sample loaded\n"));
  EXPECT_TRUE(rig.trace.contains("Media/ClockGrom3.ogg sample loaded\n"));
}

TEST(ClockSoundLoad, ARefusedFileCountsAsNotLoaded) {
  RecordingSoundLibrary::Options options;
  options.accepts = [](std::span<const uint8_t> bytes) { return bytes.size() != 1000; };
  Rig rig({true, false, 50}, allMedia(), options);
  rig.load();
  EXPECT_EQ(rig.sound.musicSample(), 0u);
  EXPECT_EQ(rig.recorder.callsStartingWith("SampleLoad"), (Calls{"SampleLoad(mem, 0, 1000, 20, 4) = 0"}));
  EXPECT_EQ(rig.recorder.callsStartingWith("SampleGetChannel"), Calls{});
  EXPECT_FALSE(rig.trace.contains("Media/ClockMusic.ogg sample loaded\n"));
}

TEST(ClockSoundFade, VolumeFiftyRisesOverFourSecondsAndStays) {
  Rig rig({true, true, 50});
  rig.load();
  EXPECT_EQ(rig.volumesAtSeconds(6), (std::vector<uint32_t>{0, 12, 25, 37, 50, 50, 50}));
  rig.recorder.clearCalls();
  rig.clock.advance(123'456);
  rig.sound.frameMove(rig.camera, false, rig.clock.now());
  EXPECT_EQ(rig.recorder.callsStartingWith("SetConfig"), (Calls{"SetConfig(4, 50) = true"}));
}

TEST(ClockSoundFade, MusicOffSoundOnPlaysEffectsOnlyAndStillFadesIn) {
  Rig rig({false, true, 50});
  rig.load();
  EXPECT_EQ(rig.sound.musicSample(), 0u);
  EXPECT_NE(rig.sound.rainSample(), 0u);
  EXPECT_NE(rig.sound.ticksSample(), 0u);
  EXPECT_TRUE(rig.sound.thunderLoaded());
  EXPECT_TRUE(rig.sound.effects());
  EXPECT_EQ(rig.recorder.playingChannels().size(), 2u);  // rain and ticks
  EXPECT_EQ(rig.volumesAtSeconds(4), (std::vector<uint32_t>{0, 12, 25, 37, 50}));
}

TEST(ClockSoundFade, MusicOnlyAtEightyNeverLoadsThunder) {
  Rig rig({true, false, 80});
  rig.load();
  EXPECT_NE(rig.sound.musicSample(), 0u);
  EXPECT_FALSE(rig.sound.thunderLoaded());
  EXPECT_FALSE(rig.sound.effects());
  EXPECT_TRUE(rig.sound.musicOrEffects());
  EXPECT_EQ(rig.recorder.samples().size(), 1u);
  EXPECT_EQ(rig.recorder.playingChannels().size(), 1u);
  EXPECT_EQ(rig.volumesAtSeconds(5), (std::vector<uint32_t>{0, 20, 40, 60, 80, 80}));
}

TEST(ClockSoundFade, VolumeZeroKeepsEverythingMuted) {
  Rig rig({true, true, 0});
  rig.load();
  EXPECT_FALSE(rig.sound.musicOrEffects());
  EXPECT_EQ(rig.volumesAtSeconds(5), (std::vector<uint32_t>(6, 0)));
  EXPECT_EQ(rig.recorder.callsStartingWith("SetConfig"), (Calls{"SetConfig(4, 0) = true"}));
}

TEST(ClockSoundFade, PreviewSkipsTheFadeButTheListenerStillFollowsTheCamera) {
  Rig rig({true, true, 50});
  rig.load();
  rig.recorder.clearCalls();
  rig.clock.advance(5000);
  rig.sound.frameMove(rig.camera, true, rig.clock.now());
  EXPECT_EQ(rig.recorder.calls(),
            (Calls{"Set3DPosition((-200, 100, 0), null, (1, 0, 0), (0, 1, 0)) = true", "Apply3D()"}));
  EXPECT_EQ(rig.recorder.listenerPosition().x, -200.0f);
  EXPECT_EQ(rig.trace.texts().back(), "BASS stuff ok\n");
}

TEST(ClockSoundFade, StoredVolumesOutsideTheRangeAndAClockRunningBackStayInRange) {
  Rig loud({true, true, 150});
  loud.load();
  EXPECT_EQ(loud.volumesAtSeconds(5), (std::vector<uint32_t>{0, 25, 50, 75, 100, 100}));

  Rig back({true, true, 50});
  back.load();
  back.clock.advance(-3000);
  back.sound.frameMove(back.camera, false, back.clock.now());
  EXPECT_EQ(back.recorder.callsStartingWith("SetConfig").back(), "SetConfig(4, 0) = true");
}

TEST(ClockSoundDevice, NoOutputRunsSilentlyOnTheNoSoundDevice) {
  RecordingSoundLibrary::Options options;
  options.outputAvailable = false;
  Rig rig({true, true, 50}, allMedia(), options);
  rig.load();
  EXPECT_FALSE(rig.sound.settings().music);
  EXPECT_FALSE(rig.sound.settings().sound);
  EXPECT_FALSE(rig.sound.musicOrEffects());
  EXPECT_EQ(rig.recorder.calls(), (Calls{
                                      "Init(1, 44100, 4, null, null) = false",
                                      "Init(0, 44100, 0, null, null) = true",
                                      "Set3DFactors(-1, 0.1, -1) = true",
                                      "Apply3D()",
                                      "SetConfig(4, 0) = true",
                                  }));
  EXPECT_EQ(rig.trace.texts(), Calls{"BASS not inited\n"});
  EXPECT_EQ(rig.trace.failures(), Calls{"no sound device could be opened; the run is silent"});
  rig.recorder.clearCalls();
  rig.volumesAtSeconds(5);
  EXPECT_EQ(rig.recorder.callsStartingWith("SetConfig"), Calls{});
  EXPECT_EQ(rig.recorder.callsStartingWith("Set3DPosition").size(), 6u);

  // --no-sound: only the music wanted the device, and only the music is said to be missing.
  Rig musicOnly({true, false, 50}, allMedia(), options);
  musicOnly.load();
  EXPECT_FALSE(musicOnly.sound.musicOrEffects());
  EXPECT_EQ(musicOnly.trace.failures(), Calls{"no sound device could be opened; the music is not played"});
}

TEST(ClockSoundDevice, NothingToPlayOpensNoSoundCard) {
  // --no-sound --no-music, and a volume of 0: the sound card is not taken from the desktop
  // for a run that would only keep it busy with silence.
  for (SoundSettings settings : {SoundSettings{false, false, 50}, SoundSettings{true, true, 0}}) {
    Rig rig(settings);
    rig.load();
    EXPECT_EQ(rig.recorder.callsStartingWith("Init"), Calls{"Init(0, 44100, 0, null, null) = true"});
    EXPECT_TRUE(rig.trace.contains("BASS not inited\n"));
    EXPECT_EQ(rig.trace.failures(), Calls{}) << "a silent run asked for is no failure";
    EXPECT_EQ(rig.volumesAtSeconds(3), (std::vector<uint32_t>(4, 0)));
  }
}

TEST(ClockSoundDevice, NoLibraryAtAllIsARunWithoutSoundAndNoCalls) {
  Rig rig({true, true, 50}, allMedia(), {}, /*haveLibrary=*/false);
  rig.load();
  rig.volumesAtSeconds(2);
  rig.sound.playThunder(0, 100);
  rig.sound.endRun();
  EXPECT_EQ(rig.sound.library(), nullptr);
  EXPECT_FALSE(rig.sound.musicOrEffects());
  EXPECT_TRUE(rig.recorder.calls().empty());
  EXPECT_TRUE(rig.trace.contains("BASS not inited\n"));
  EXPECT_TRUE(rig.trace.contains("BASS stuff ok\n"));
}

// Replays a fixed run of draws and fails the test if more are asked for.
struct Draws {
  std::deque<int> values;
  int operator()() {
    EXPECT_FALSE(values.empty());
    if (values.empty()) return 0;
    const int v = values.front();
    values.pop_front();
    return v;
  }
};

TEST(ClockSoundThunder, DrawsWhichClapAndHowLoudInOrder) {
  Rig rig({true, true, 50});
  rig.load();
  rig.recorder.clearCalls();
  Draws draws{{4, 3, 37}};  // clap 2, a soft clap at 37 % 30 + 20
  rig.sound.thunderClap(std::ref(draws));
  draws.values = {2, 7};  // clap 3, silent (no third draw)
  rig.sound.thunderClap(std::ref(draws));
  draws.values = {3, 5};  // clap 1 at full volume
  rig.sound.thunderClap(std::ref(draws));
  EXPECT_TRUE(draws.values.empty());
  EXPECT_EQ(rig.recorder.calls(), (Calls{
                                      "SampleGetChannel(4, true) = 1004",
                                      "ChannelSetAttributes(1004, -1, 27, -101) = true",
                                      "ChannelPlay(1004, true) = true",
                                      "SampleGetChannel(5, true) = 1005",
                                      "ChannelSetAttributes(1005, -1, 0, -101) = true",
                                      "ChannelPlay(1005, true) = true",
                                      "SampleGetChannel(3, true) = 1006",
                                      "ChannelSetAttributes(1006, -1, 100, -101) = true",
                                      "ChannelPlay(1006, true) = true",
                                  }));
}

TEST(ClockSoundThunder, AClapOfAMissingFileFailsInsideTheLibrary) {
  auto media = allMedia();
  media.erase("Media/ClockGrom3.ogg");
  Rig rig({true, true, 50}, media);
  rig.load();
  rig.recorder.clearCalls();
  rig.sound.playThunder(2, 100);
  EXPECT_EQ(rig.recorder.calls(),
            (Calls{"SampleGetChannel(0, true) = 0", "ChannelSetAttributes(0, -1, 100, -101) = false",
                   "ChannelPlay(0, true) = false"}));
}

TEST(ClockSoundEnd, MutesThenReleasesTheLibrary) {
  Rig rig({true, true, 50});
  rig.load();
  rig.volumesAtSeconds(5);
  rig.recorder.clearCalls();
  rig.sound.endRun();
  EXPECT_EQ(rig.recorder.calls(), Calls{"SetConfig(4, 0) = true"});
  EXPECT_TRUE(rig.released);
  EXPECT_EQ(rig.sound.library(), nullptr);
  rig.sound.frameMove(rig.camera, false, rig.clock.now());  // a frame after the end calls nothing
  EXPECT_EQ(rig.recorder.calls().size(), 1u);
}

}  // namespace

namespace {

TEST(ClockSoundMedia, SamplesComeFromALooseFileFirstThenTheArchive) {
  testsupport::TempDir dir;
  const std::string inArchive(700, 'a');
  const std::string onDisk(300, 'd');
  halcyon::ArchiveWriter writer;
  const auto bytes = reinterpret_cast<const uint8_t*>(inArchive.data());
  ASSERT_TRUE(writer.addFile(dir.path().string() + "/Media/ClockRain.ogg", bytes, 700, 0));
  ASSERT_TRUE(writer.addFile("Media/ClockMusic.ogg", bytes, 700, 0));
  const std::vector<uint8_t> packed = writer.finish();
  halcyon::StoredArchive archive;
  ASSERT_TRUE(archive.attach(halcyon::FileRef(packed.data(), static_cast<uint32_t>(packed.size()), true)));
  std::filesystem::create_directories(dir.path() / "Media");
  dir.write("Media/ClockRain.ogg", onDisk);

  RecordingSoundLibrary recorder;
  bool released = false;
  ClockSound sound(
      {true, true, 50}, [&] { return std::make_unique<Forwarder>(recorder, released); },
      brassmoor::mediaFiles(&archive), dir.path().string() + "/Media");
  sound.loadSoundLibrary();
  sound.initSound(nullptr);
  recorder.clearCalls();
  EXPECT_NE(sound.loadSample(dir.path().string() + "/Media/ClockRain.ogg", 4), 0u);
  EXPECT_NE(sound.loadSample("Media/ClockMusic.ogg", 4), 0u);
  EXPECT_EQ(sound.loadSample("Media/ClockTicks.ogg", 30), 0u);
  EXPECT_EQ(recorder.calls(), (Calls{"SampleLoad(mem, 0, 300, 20, 4) = 1", "SampleLoad(mem, 0, 700, 20, 4) = 2"}));
}

}  // namespace
