#pragma once

#include <QString>

// Where an entry of a container may be written. Entry names come from whoever made the container,
// so a name must not lead out of the extraction folder: not by being absolute, not by "." or ".."
// parts, and not through a symbolic link inside the folder.
class EntryPath
{
public:
    // True for a relative name whose parts ("/" or "\" separated) are all non-empty and neither
    // "." nor "..", and which does not start with a drive letter.
    static bool isSafeName(const QString& name);

    // root + "/" + name, or an empty string when the name is unsafe or when an existing part of that
    // path below root (the destination included) is a symbolic link.
    static QString destination(const QString& root, const QString& name);
};
