#pragma once

#include <QString>

// Folders that only the user running the program may enter: where a socket or a file can be put
// without another user on the machine reaching it or putting something there first.

// True when path is a folder (not a link to one) owned by this user that nobody else may enter,
// list or write.
bool IsPrivateFolder(const QString& path);

// Makes the folder at path with access for its owner only, unless it is there already; true when
// path is then a private folder of this user. A folder that somebody else made first, or that
// others can reach, is never used, and never changed.
bool MakePrivateFolder(const QString& path);

// Names this user among the others on the machine (the numeric user id on POSIX systems).
QString CurrentUserTag();
