#include "console/help.h"

#include "core/capacity.h"
#include "terminal/output.h"

namespace beatmarks {

void PrintHelp() {
  static const char* const kLines[] = {
      "Help:",
      "To toggle the command list type 'l'",
      "\nOptional command line arguments:",
      "1st = tempo map filename",
      "2nd = output filename",
      "3rd = sample rate",
      "4th = measure start",
      "5th = measure stop",
      "6th = divisions",
      "With both filenames specified (arguments 1 and 2), the",
      "program will append data to or create the output file and exit.",
      "\nSetting up tempo map file:",
      "Begin a line with a command, then tab, then enter data.",
      "Commands:",
      "  rate\tfor sample rate",
      "  div\tfor divisions per beat",
      "  start\tfor start measure",
      "  stop\tfor stop measure",
      "  tmap\tfor a section defined by 3 parameters as follows:",
      "\ttempo, beats per measure, and measures in that section.",
      "\tAll are tab separated.  Examples:",
      "144.6 bpm in 4/4 for 32 measures:",
      "tmap\t144.6\t4\t32",
      "152 bpm in 3/4 for 16 measures:",
      "tmap\t152\t3\t16\n",
  };
  for (const char* line : kLines) PrintLine(line);
  Print("%i different sections can be specified.\n", N);
}

}  // namespace beatmarks
