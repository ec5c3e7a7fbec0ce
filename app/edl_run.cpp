#include "app/edl_run.h"

#include "app/output_run.h"
#include "formats/edl_format.h"

namespace beatmarks {

int EdlOutput(const OutputRequest& r) {
  // A map's own divisions are for lists: markers between beats only when asked for here.
  const bool everyDivision = r.options.divisions.has_value() || r.options.positional.size() >= 6;
  return WriteOutput(r.output, WriteMode::kReplace, [&](ExportFile& out, std::string&) {
    WriteEdl(r.plan, everyDivision, out);
    return true;
  });
}

}  // namespace beatmarks
