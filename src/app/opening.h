// Setting up the job: the dialogue with the operator, then the result
// point file and the info report.
#ifndef STRATUMIX_APP_OPENING_H_
#define STRATUMIX_APP_OPENING_H_

#include "app/stratumix.h"

// Fills the job's files and numlay and opens its f2 and f6. Throws Failure
// when the job cannot be set up.
void opening(DialogueJob& job);

#endif  // STRATUMIX_APP_OPENING_H_
