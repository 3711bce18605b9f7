// The program: set up the job, paste, and end with a status that tells how
// it went: 0 done, 1 stopped on an error, 2 done but some input text was
// not points and was left out.
#include <exception>
#include <new>
#include <string>

#include "failure.h"
#include "opening.h"
#include "platform.h"
#include "stratumix.h"
#include "text_out.h"
#include "treatment.h"

namespace {

// Ends the run as normal termination does: every file still open is
// written out and closed, and only then is the run's status known.
int finish(int status) {
  for (OutputFile* file : {&f2, &f6}) {
    try {
      file->close();
    } catch (const Failure& failure) {
      report_error(failure.message);
      status = 1;
    }
  }
  console.flush();
  if (status == 0 && input_incomplete) status = 2;
  return status;
}

int run() {
  try {
    opening();
    treatment();
    return 0;
  } catch (const Failure& failure) {
    if (!failure.message.empty()) report_error(failure.message);
    return failure.status;
  } catch (const std::bad_alloc&) {
    report_error("Out of memory.");
    return 1;
  } catch (const std::exception& error) {  // a thread the system would not start, say
    report_error(std::string("Stopped: ") + error.what());
    return 1;
  }
}

}  // namespace

int main() {
  platform::prepare_console();
  return finish(run());
}
