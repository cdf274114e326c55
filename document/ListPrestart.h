#pragma once

#include <string>

// Starts reading the Access table that a merge file names before the merge is opened, so the
// database reader works while the window is built; opening the merge then takes the readers
// over. Does nothing for another kind of list or a file that cannot be read: opening it reports
// the problem as ever.
void PrestartListReading(const std::string &strMergePath);
