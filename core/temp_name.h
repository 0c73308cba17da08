// Fresh paths for the temporary files of an export.
#pragma once

// Makes a path "<folder><separator><7 capital letters>.<extension>" that names
// no existing file or directory at the moment of the test. An empty folder
// means the system's temporary folder. The folder is read up to 259
// characters, so a field without a terminator is never read past its end.
// Gives up (false) after 1000 names in a row that are all taken.
// On success stores a malloc'ed text in *path (the caller frees it) and
// returns true; on failure leaves *path untouched.
bool MakeTempName(const char* extension, const char* folder, char** path);

// Seven random capital letters, malloc'ed. The C runtime's generator is
// seeded once per loaded library, with the tick count, at the first stem.
char* MakeRandomStem();
