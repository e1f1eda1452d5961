#pragma once
// Whether a folder is a safe place for this user to create files in: no
// other user can have chosen where it leads, nor change it afterwards.

#include <string>

namespace stratlyn {

// Why files should not be created under the absolute folder `dir`: a folder
// or link on its way (as given, and where its links lead) that another user
// than this one or root owns, or that others may change (writable by
// everyone without the sticky bit, or by a group other than the user's
// own); such a user could point it at a folder of their choice. "" when
// every existing part of the way is safe (parts not made yet count as safe:
// this user makes them), and for a relative or empty path.
std::string UnsafeFolderReason(const std::string& dir);

}  // namespace stratlyn
