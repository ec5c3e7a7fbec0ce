#include "app/output_run.h"

#include "app/progress_line.h"
#include "app/run_report.h"
#include "terminal/output.h"

namespace beatmarks {

int WriteOutput(const std::string& output, WriteMode mode, const TextWriter& write,
                const SavedReport& report) {
  ExportFile out;
  FlushOutput();  // the messages so far come before the data
  if (!out.Open(output, mode)) return CouldNotWrite(output, out.Error());
  if (output != "-") out.ReportProgress(ProgressLine());
  std::string error;
  if (!write(out, error)) {
    Print("Error: %s\n", error.c_str());
    return 1;  // nothing replaced: the output is dropped unfinished
  }
  if (!out.Finish()) return CouldNotWrite(output, out.Error());
  return report ? report(out.bytes()) : Saved(out.bytes());
}

}  // namespace beatmarks
