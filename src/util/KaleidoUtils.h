// Small shared utilities: the trace hook.
#pragma once

// printf-style trace hook. It accepts its arguments and writes nothing: trace texts are for
// a developer's build, never for the user's terminal.
void outlog(const char* str, ...) __attribute__((format(printf, 1, 2)));
