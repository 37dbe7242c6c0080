// How a run that cannot go on ends: the closing blank lines, the cursor
// shown again, exit code 7.
#pragma once

// Prints the closing "\n\n", shows the cursor again and returns 7.
int EarlyStop();
