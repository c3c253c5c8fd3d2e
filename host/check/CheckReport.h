// check's report of the verdict on one copy of the plug-in (Judgement): as
// text for a reader, as JSON for a program, and its exit code. No Windows
// header here.
#pragma once

#include <string>

#include "host/diagnosis/Judgement.h"

std::string CheckText(const Judgement& j);
std::string CheckJson(const Judgement& j);
// 0 when the plug-in loads (or may, unchecked) and every line is taken as written.
int CheckExitCode(const Judgement& j);
