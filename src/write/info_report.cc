#include "write/info_report.h"

void write_info_report(TextOut& info, std::int32_t count, const std::vector<std::string>& inputs) {
  info << "\n PROGRAM STRATUMIX \n";
  info << "\n\n\tNumber of files to paste = " << count << " ";
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    info << "\n\t\tFile " << static_cast<std::int64_t>(i + 1) << " Name : " << inputs[i] << " ";
  }
  info << "\n\n";
}

void write_interruption(TextOut& info, std::int64_t pasted, bool next_in_part) {
  info << "\tInterrupted: number of files pasted = " << pasted << " ";
  if (next_in_part) info << "\n\t\tFile " << pasted + 1 << " pasted up to the interruption ";
  info << "\n\n";
}
