#pragma once

#include <QString>

// Whether an entry of a container may be written. Entry names come from whoever made the container,
// so a name must not lead out of the extraction folder: not by being absolute and not by "." or ".."
// parts. (StagingFolder never writes through a symbolic link inside the folder.)
class EntryPath
{
public:
    // True for a relative name whose parts ("/" or "\" separated) are all non-empty and neither
    // "." nor "..", and which does not start with a drive letter.
    static bool isSafeName(const QString& name);
};
