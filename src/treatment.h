// Pasting: every point of every input file, in job order, into the result
// point file, with each file's X and Y extents reported on the console.
#ifndef STRATUMIX_TREATMENT_H_
#define STRATUMIX_TREATMENT_H_

// Reads files and numlay, writes and closes f2. Throws Failure after an
// input file that cannot be opened (status 0 in the dialogue, after the
// key wait; 1 on the command line), and on a read or write error
// (status 1).
void treatment();

#endif  // STRATUMIX_TREATMENT_H_
