#pragma once
// Deleting a folder's contents by a mask without asking and without reporting, as the
// program empties "Datenbank\Temp\" (subfolders go with their contents).
#include <string_view>

namespace app {

// mask: drive-form folder + "\" + a file pattern ("*.*" and "*" match every name;
// otherwise "*" and "?" wildcards). false when anything could not be deleted.
bool DeleteSilently(std::u16string_view mask);

}  // namespace app
