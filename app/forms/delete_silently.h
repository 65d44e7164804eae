#pragma once
// Deleting a folder's contents by a mask without asking and without reporting, as the
// program empties "Datenbank\Temp\" (subfolders go with their contents). A symbolic link
// is never followed: a link inside the folder is removed, not what it points to, and a
// folder that is itself a link is refused, so emptying it can never reach files outside.
#include <string_view>

namespace app {

// mask: drive-form folder + "\" + a file pattern ("*.*" and "*" match every name;
// otherwise "*" and "?" wildcards). false when the folder is no real folder or anything
// could not be deleted.
bool DeleteSilently(std::u16string_view mask);

// Empties the database folder's "Temp\" (drive form, ends with "\") but for the folder of
// the extractor's jobs: a job of another database may be running there, and a cancelled
// one keeps its texts there for its resumption. Each job removes its own leftovers.
bool EmptyTempFolder(std::u16string_view dbFolder);

}  // namespace app
