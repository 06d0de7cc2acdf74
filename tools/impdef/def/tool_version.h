#pragma once
#include "morvane_version.h"

constexpr const char* kToolName = "qen_impdef";
constexpr const char* kToolVersion = MORVANE_TOOL_VERSION_TEXT;
