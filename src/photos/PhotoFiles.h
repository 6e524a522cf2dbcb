// Finding the user's photos and opening them safely. A folder is walked recursively, each
// folder's names in sorted order, without following links to folders (a link loop or a link
// back up the tree would walk forever) and without hidden names; files are taken by their
// extension (.jpg, .jpeg, .jpe, .jfif, .png, any case). A FIFO, device or socket is never
// opened.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Photos remembered from one folder; a larger tree is cut there, with a line.
constexpr size_t kMostPhotoFiles = 50000;

// The photo files at `path` (a folder, or a single file, taken whatever its name), in a fixed
// order. What cannot be used is told to `skipped` as one line's text ("skipping PATH: REASON").
// False with *error when `path` itself cannot be read. With `enough`, the walk ends at the
// first file it accepts.
bool findPhotoFiles(const std::string& path, std::vector<std::string>* files,
                    const std::function<void(const std::string&)>& skipped, std::string* error,
                    size_t most = kMostPhotoFiles,
                    const std::function<bool(const std::string&)>& enough = {});

// Whether `path` opens safely and begins as a JPEG or PNG photo of a size the decoders take
// (its header only); else false with *why.
bool photoLooksUsable(const std::string& path, std::string* why);

// Opens a regular file for reading: checked with stat before, opened without blocking and
// checked again on the descriptor. Null with *why when it is not a regular file or cannot be
// opened; *missing is set when it is not there (any more).
std::FILE* openPhotoFile(const std::string& path, std::string* why, bool* missing = nullptr);
