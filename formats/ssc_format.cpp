#include "formats/ssc_format.h"

namespace beatmarks {

std::string SscText(const SmPlan& plan, const std::string& audio, const std::string& title) {
  return "#VERSION:0.83;\n#TITLE:" + MsdValue(title) + ";\n#MUSIC:" + MsdValue(audio) + ";\n" +
         SmTimingTags(plan);
}

}  // namespace beatmarks
