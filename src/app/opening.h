// Setting up the job: the dialogue with the operator, then the result
// point file and the info report.
#ifndef STRATUMIX_APP_OPENING_H_
#define STRATUMIX_APP_OPENING_H_

// Fills files and numlay and opens f2 and f6. Throws Failure
// when the job cannot be set up.
void opening();

#endif  // STRATUMIX_APP_OPENING_H_
