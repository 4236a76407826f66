// qavrel.exe's usage text.
#pragma once

#include <string>

// The usage text, for a run with argc arguments (the program's name among them).
std::string usage_text(int argc);
