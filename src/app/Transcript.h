// The conversation transcript: every line a character is asked to answer ("> " and the line) and
// every line the console shows, as UTF-8, appended as it happens.
#pragma once

#include <string>
#include <string_view>

namespace transcript {

bool Open(const std::string& path);
void Close();
bool Active();
void Write(std::u16string_view line);

} // namespace transcript
