#pragma once

#include <QString>

namespace ombrelay {

// Expands a leading tilde, creates the missing parent folders and creates an empty file at the path when
// none is there. An existing file is left as it is, never truncated. True when a regular file is at the
// path afterwards. (Whether the path's volume is attached is the caller's question.)
bool createFileAtPathRecursive(const QString& path);

// Creates the missing folders above the path; true when its folder is there afterwards, else false with
// errno telling why.
bool createParentFolders(const QString& path);

// Extends the open file to the length when it is shorter; never shrinks it. False when the file's size
// cannot be read or it cannot be extended.
bool increaseLengthTo(int fileDescriptor, qint64 length);

} // namespace ombrelay
