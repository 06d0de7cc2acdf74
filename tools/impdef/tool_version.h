#pragma once

constexpr const char* kToolName = "qen_impdef";
constexpr const char* kToolVersion = "1.0";
