// The files btctl writes for others to read (the watch's log, the metrics file), made safe
// for a service that runs as LocalSystem: a file is never opened through a link that someone
// planted in its place (a symbolic link, a junction, a second hard link to a system file),
// and a file replaced whole never shows half-written to the program that reads it.
#pragma once
#include <cstddef>
#include <cstdint>

struct SafeFile;

// Opens path to add to its end, creating it when missing; *size is its length. Null, with a
// reason in *why, when path is a link, a file with another name (hard link), not a plain
// file, or cannot be opened.
SafeFile* OpenToAppend(const char* path, uint64_t* size, const char** why);
bool AppendTo(SafeFile* file, const void* bytes, size_t len);
void CloseFile(SafeFile* file);

// Moves from over to, replacing whatever to names (a planted link is replaced, not followed).
bool MoveOver(const char* from, const char* to);

// Replaces path whole: the bytes go to a new temporary file beside it, which is then moved
// over it. False, with the old file left as it was, when any step fails.
bool ReplaceWhole(const char* path, const void* bytes, size_t len);

// Makes folder (its parent must exist) writable only by administrators and the system
// account, readable by users; a folder that exists already is given that access and its
// owner is made the administrators, and is emptied of what the service did not write: all
// of it when others could write there before, else all but the service's own plain files
// (ownFiles, null-ended). False, with a reason in *why, when that cannot be done or the folder
// is a link.
bool MakeServiceFolder(const char* folder, const char* const* ownFiles, const char** why);
