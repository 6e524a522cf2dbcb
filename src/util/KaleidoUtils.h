// Small shared utilities: the trace hook and the flat overlay projection.
#pragma once

// printf-style trace hook. It accepts its arguments and writes nothing: trace texts are for
// a developer's build, never for the user's terminal.
void outlog(const char* str, ...) __attribute__((format(printf, 1, 2)));

// A flat 640 x 480 drawing space over the whole viewport, (0, 0) at the top left; both
// matrices are saved. Always paired with ViewPerspective, which restores them. Both leave
// the modelview matrix current.
void ViewOrtho();
void ViewPerspective();
