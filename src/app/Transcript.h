// The conversation transcript: every line a character is asked to answer ("> " and the line) and
// every line the console shows, as UTF-8, appended as it happens.
#pragma once

#include <string>
#include <string_view>

namespace transcript {

// name: how a failure message calls the file (the path by default).
bool Open(const std::string& path, const std::string& name = {});
void Close();
bool Active();
void Write(std::u16string_view line);
// A write failed: it was said at once on standard error, and nothing more is written.
bool Failed();

} // namespace transcript
