#include "app/classic_list.h"

#include <cstring>
#include <string_view>

#include "app/output_run.h"
#include "app/run_report.h"
#include "classic/display.h"
#include "classic/write_data.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {

int ClassicList(const std::string& output, const MeasureRange& range, ProgramState& s,
                bool withReason) {
  bool cut = false;
  if (!Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate, range.start,
               range.stop, s.divisions, s.outText, cut)) {
    return 1;
  }
  // A run with options writes a file as it writes standard output: one way,
  // one error line if it fails.
  if (output == "-" || withReason) {
    const std::string_view text(s.outText.data(), ::strnlen(s.outText.data(), s.outText.size()));
    const int status = WriteOutput(output, WriteMode::kAppend, [&](ExportFile& out, std::string&) {
      out.Put(text);
      return true;
    });
    if (status != 0) return status;
  } else {
    if (!CopyName(output.c_str(), s.outFileName)) {
      PrintLine(kNameTooLong);
      return 1;
    }
    if (!WriteData(s.outText, s.outFileName, true, false)) return 1;
  }
  if (!cut) return 0;
  // What fits was saved, but the list is incomplete: scripts must see that.
  PrintLine(kCutWarning);
  return 1;
}

}  // namespace beatmarks
