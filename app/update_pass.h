// The update pass: test-mode preparation, flash work, ending.
#pragma once

// Returns the exit code (0 or 7).
int RunUpdate();
