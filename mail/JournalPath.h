#pragma once

#include <string>

// Where the send journal of a merge lives. It belongs to the merge file itself, however the
// file is reached: a link leads to the file it points at, and a merge renamed since its last
// send finds the journal it left under its old name (which is then renamed with it). The
// journal is "NAME.mgx.journal" beside the file when that folder can be written, else in the
// user's data folder under a name made from the file's real path (or, for a merge never saved,
// from the key given).
std::string JournalPathFor(const std::string &strMergePath, const std::string &strUnsavedKey);
