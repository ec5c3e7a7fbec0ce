#include "app/format_table.h"

#include <algorithm>
#include <vector>

#include "app/audio_run.h"
#include "app/chart_run.h"
#include "app/edl_run.h"
#include "app/midi_run.h"
#include "formats/exact_list.h"
#include "formats/json_format.h"
#include "formats/point_formats.h"
#include "formats/summary_format.h"
#include "picture/picture_builder.h"

namespace beatmarks {
namespace {

constexpr FormatNeeds kText = FormatNeeds::kText;

const FormatRow kFormats[] = {
    {"list",
     "the classic list: sample-rate block, section headers, one line per\n"
     "division with seconds (3 decimals) and a sample position truncated\n"
     "from a running sum; appended to OUTPUT, at most 65535 characters",
     0, kText, false, WriteMode::kAppend, WriteExactList, nullptr},
    {"labels",
     "a label track for audio editors: start<TAB>end<TAB>M.B[.D], seconds\n"
     "with 6 decimals",
     1, kText, true, WriteMode::kReplace, WriteLabels, nullptr},
    {"csv",
     "time,frame,measure,beat,division,label with CRLF line ends, seconds\n"
     "with 9 decimals",
     2, kText, true, WriteMode::kReplace, WriteCsv, nullptr},
    {"json", "one document: settings, sections and beats",
     3, kText, true, WriteMode::kReplace, WriteJson, nullptr},
    {"svg", "a picture of the whole map: tempo against time, measures, meters",
     4, kText, false, WriteMode::kReplace, WritePicture, nullptr},
    {"midi",
     "the tempo map as a Standard MIDI File for a DAW, every beat within\n"
     "--max-drift=SECONDS (default 0.000001) of its exact time",
     7, kText, false, WriteMode::kReplace, nullptr, MidiOutput},
    {"summary", "the map at a glance: a line per section, the total length and beats",
     6, kText, false, WriteMode::kReplace, WriteSummary, nullptr},
    {"wav",
     "a click track (FLAC when OUTPUT ends in .flac, which holds no\n"
     "markers) with a marker named M.B on every beat",
     5, FormatNeeds::kSeekableFile, false, WriteMode::kReplace, nullptr, AudioOutput},
    {"osu",
     "an osu! beatmap naming the audio, its [TimingPoints] keeping every\n"
     "beat within 1 ms of its exact time",
     8, kText, false, WriteMode::kReplace, nullptr, OsuOutput},
    {"sm",
     "a StepMania simfile's #OFFSET, #BPMS and #TIMESIGNATURES, every beat\n"
     "within 1 ms of its exact time",
     9, kText, false, WriteMode::kReplace, nullptr, SmOutput},
    {"ssc",
     "a StepMania 5 .ssc file: #VERSION and the timing of sm, every beat\n"
     "within 1 ms of its exact time",
     10, kText, false, WriteMode::kReplace, nullptr, SscOutput},
    {"chart",
     "a .chart file's [Song] and [SyncTrack] (Clone Hero, Moonscraper) at\n"
     "--resolution=N ticks a quarter note (default 192), every beat within\n"
     "one tick of its exact time",
     11, kText, false, WriteMode::kReplace, nullptr, ChartOutput},
    {"rekordbox",
     "a Rekordbox collection XML: one track, its beat grid as TEMPO\n"
     "elements keeping every beat within 1 ms of its exact time",
     12, kText, false, WriteMode::kReplace, nullptr, RekordboxOutput},
    {"edl",
     "a CMX 3600 EDL of markers for a video editor, one on the frame of\n"
     "every measure (every division with -d); needs --timecode",
     13, kText, false, WriteMode::kReplace, nullptr, EdlOutput},
};

// A name and its help, the help's lines indented to one column.
std::string HelpEntry(const FormatRow& row) {
  const std::string_view name = row.name;
  std::string entry = "  ";
  entry += name;
  entry.append(name.size() < 8 ? 8 - name.size() : 1, ' ');
  for (const char* at = row.help; *at != '\0'; ++at) {
    entry += *at;
    if (*at == '\n') entry += std::string(10, ' ');
  }
  return entry + "\n";
}

}  // namespace

std::span<const FormatRow> Formats() { return kFormats; }

const FormatRow* FindFormat(std::string_view name) {
  for (const FormatRow& row : kFormats) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

std::string FormatNames(bool markDefault) {
  std::vector<const FormatRow*> rows;
  for (const FormatRow& row : kFormats) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(), [](auto a, auto b) { return a->listed < b->listed; });
  std::string names;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    names += i == 0 ? "" : i + 1 == rows.size() ? " or " : ", ";
    names += rows[i]->name;
    if (i == 0 && markDefault) names += " (default)";
  }
  return names;
}

std::string FormatHelp() {
  std::string help;
  for (const FormatRow& row : kFormats) help += HelpEntry(row);
  return help;
}

}  // namespace beatmarks
