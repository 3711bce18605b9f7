// The program's entry: the standard streams made safe, then the run.
#include <string>
#include <vector>

#include "app/stratumix.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::prepare_console();
  platform::catch_interruptions();
  return run_stratumix(platform::arguments(argc, argv));
}
