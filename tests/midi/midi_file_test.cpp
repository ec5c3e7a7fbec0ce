#include "midi/midi_file.h"

#include <gtest/gtest.h>

#include <ostream>

#include "midi_bytes.h"

namespace beatmarks {
namespace {

using namespace testing;
using namespace std::literals;

std::string OneTrack(const TrackBytes& track, int division = 96) {
  return MidiHeader(1, 1, division) + track.Chunk();
}

struct Refusal {
  const char* name;
  std::string bytes;
  std::string error;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class MidiRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(MidiRefusal, OneLine) {
  std::string error;
  EXPECT_FALSE(ReadMidi(GetParam().bytes, error));
  EXPECT_EQ(error, GetParam().error);
}

const std::string kNotes = "\x90\x40\x40";
const Refusal kRefusals[] = {
    {"NotMidi", std::string("RIFF\0\0\0\0", 8), "not a MIDI file (it does not start with MThd)"},
    {"Smpte", MidiHeader(1, 1, 0xE728) + TrackBytes().End(0).Chunk(),
     "SMPTE time division is not supported, only ticks per quarter note"},
    {"Format2", MidiHeader(2, 1, 96), "format 2 (independent patterns) is not supported"},
    {"Format3", MidiHeader(3, 1, 96), "unknown format 3"},
    {"ZeroDivision", MidiHeader(0, 1, 0), "time division of 0 ticks per quarter note"},
    {"ShortHeader", Chunk("MThd", std::string(5, '\0')), "MThd chunk of 5 bytes, fewer than 6"},
    {"TruncatedHeader", MidiHeader(0, 1, 96).substr(0, 10),
     "truncated MThd chunk at byte 0: 6 bytes announced, 2 present"},
    {"TruncatedTrack",
     (MidiHeader(0, 1, 96) + TrackBytes().Tempo(0, 1).End(0).Chunk()).substr(0, 30),
     "truncated MTrk chunk at byte 14: 11 bytes announced, 8 present"},
    {"TruncatedChunkHeader", OneTrack(TrackBytes().End(0)) + "MTr",
     "truncated chunk header at byte 26"},
    {"EventPastChunk", OneTrack(TrackBytes().Raw(7, "\xFF\x51\x03\x07")),
     "track 1, tick 7: event runs past the end of its chunk"},
    {"LongVarLength",
     MidiHeader(0, 1, 96) + Chunk("MTrk", "\0\x90\x40\x40\xFF\xFF\xFF\xFF\x7F\x40"sv),
     "track 1, tick 0: variable-length number longer than 4 bytes"},
    {"ZeroTempo", OneTrack(TrackBytes().Tempo(5, 0)),
     "track 1, tick 5: tempo of 0 microseconds per quarter note"},
    {"ShortTempo", OneTrack(TrackBytes().Meta(0, 0x51, "\x07\xA1")),
     "track 1, tick 0: tempo event of 2 bytes, not 3"},
    {"LongMeter", OneTrack(TrackBytes().Meta(0, 0x58, "\x04\x02\x18\x08\x00"sv)),
     "track 1, tick 0: time signature of 5 bytes, not 4"},
    {"NoBeats", OneTrack(TrackBytes().Meter(0, 0, 2, 24)),
     "track 1, tick 0: time signature of 0 beats"},
    {"HugeDenominator", OneTrack(TrackBytes().Meter(0, 4, 9, 24)),
     "track 1, tick 0: time signature denominator 2^9 (at most 2^8)"},
    {"NoTrack", MidiHeader(0, 0, 96) + Chunk("XFIH", "abc"), "no MTrk chunk"},
    {"MissingTrack", MidiHeader(1, 3, 96) + TrackBytes().End(0).Chunk() + TrackBytes().Chunk(),
     "the header announces 3 tracks, the file holds 2"},
    {"NoRunningStatus", OneTrack(TrackBytes().Raw(0, "\x40\x40")),
     "track 1, tick 0: data byte 0x40 without a running status"},
    {"StatusEndsAtMeta",
     OneTrack(TrackBytes().Raw(0, kNotes).Meta(1, 1, "hi").Raw(1, "\x40\x00"sv)),
     "track 1, tick 2: data byte 0x40 without a running status"},
    {"StatusEndsAtSysex",
     OneTrack(TrackBytes().Raw(0, kNotes).Raw(1, "\xF0\x01\xF7").Raw(2, "\x40\x00"sv)),
     "track 1, tick 3: data byte 0x40 without a running status"},
    {"SystemCommon", OneTrack(TrackBytes().Raw(3, "\xF4")),
     "track 1, tick 3: unexpected status byte 0xF4"},
};

INSTANTIATE_TEST_SUITE_P(Bytes, MidiRefusal, ::testing::ValuesIn(kRefusals));

std::string Summary(const MidiMap& map) {
  std::string text = std::to_string(map.format) + " " + std::to_string(map.ticksPerQuarter);
  for (const MidiTempo& t : map.tempos) {
    text += " T" + std::to_string(t.tick) + ":" + std::to_string(t.microsPerQuarter);
  }
  for (const MidiMeter& m : map.meters) {
    text += " M" + std::to_string(m.tick) + ":" + std::to_string(m.numerator) + "/" +
            std::to_string(m.denominatorPower) + "/" + std::to_string(m.clocksPerClick);
  }
  return text + " end " + std::to_string(map.endTick);
}

TEST(MidiReader, SkipsWhatItDoesNotUse) {
  std::string track1 = TrackBytes()
                           .Raw(0, "\x90\x3C\x64").Raw(10, "\x3C\x00"sv)  // running status
                           .Raw(0, "\xC1\x05").Raw(5, "\x06")           // one data byte
                           .Raw(0, "\xE2\x00\x40"sv).Raw(1, "\x00\x41"sv)
                           .Raw(0, "\xF0\x03\x7E\x00\xF7"sv).Raw(0, "\xF7\x01\xF7")
                           .Meta(4, 0x03, std::string(200, 'x')).Tempo(0, 400000)
                           .Meter(20, 6, 3, 36).End(60).Tempo(0, 0).Chunk();
  // No end of track: the track ends with its last event.
  std::string track2 = TrackBytes().Tempo(20, 300000).Tempo(0, 250000).Meter(0, 3, 2, 24).Chunk();
  std::string error;
  auto map = ReadMidi(Chunk("MThd", "\0\1\0\2\0\x60\x12\x34"sv) + Chunk("Xtra", "\xFF") +
                          track1 + track2, error);
  ASSERT_TRUE(map) << error;
  EXPECT_EQ(Summary(*map), "1 96 T0:500000 T20:250000 M0:4/2/24 M20:3/2/24 M40:6/3/36 end 100");
}

}  // namespace
}  // namespace beatmarks
