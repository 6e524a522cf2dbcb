// Every line Vantor prints for people, in one place: "vantor: ", the text, a newline. Failures,
// warnings and progress go to standard error; what a run made is said on standard output.
#pragma once

#include <cstdio>
#include <string>

// One line on `stream`.
void say(const std::string& text, std::FILE* stream = stderr);

// "1 frame", "3 frames": a count and its noun, as the lines say them.
std::string counted(long count, const std::string& noun);

// A line on standard error that a terminal shows rewritten in place: after a carriage return,
// and without its newline while `open`, so that the next call rewrites it (any other line
// closes it first). Elsewhere (a file, a pipe) it is one line like any other.
void sayInPlace(const std::string& text, bool open);
// Closes a line left open by sayInPlace, if any.
void endInPlace();
