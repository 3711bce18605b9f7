// The dialogue's pasting: its job table made a job, pasted as the command
// line's is, with each file's X and Y extents reported on the console in
// the dialogue's words.
#ifndef STRATUMIX_APP_TREATMENT_H_
#define STRATUMIX_APP_TREATMENT_H_

#include "app/stratumix.h"

// Reads the job's files and numlay, writes and closes its f2. Throws
// Failure after an input file that cannot be opened (status 0, after the
// key wait), and on a read or write error (status 1).
void treatment(DialogueJob& job);

#endif  // STRATUMIX_APP_TREATMENT_H_
