#pragma once

#include <cstdio>
#include <string>

// Results go to standard output as they are; messages to standard error,
// each on one line of one shape: "quorvix-cli: error: FILE: what".

void Print(std::FILE* stream, const std::string& text);

enum class Severity { warning, error };
// FILE is left out when path is empty.
void Say(std::FILE* err, Severity severity, const std::wstring& path, const std::string& what);

#include "vendor/result.h"

// A failure in the tool's words: the system's own, or ours for the rules the
// core keeps.
std::string Describe(const Failure& failure);
