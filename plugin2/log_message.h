// Lines of the export's log as the editor's log takes them: messages of at
// most 1024 UTF-16 characters. Portable, tested natively.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// `line` (UTF-8) in pieces of at most `maxUnits` UTF-16 code units each (the
// terminator not counted), cut only between characters, so a surrogate pair
// is never torn; each piece after the first starts with "... ". An invalid
// byte counts as the one replacement character it becomes. A line that
// fits is one piece; an empty line is one empty piece.
std::vector<std::string> SplitLogMessage(const std::string& line, size_t maxUnits);
