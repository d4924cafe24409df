// Where the program keeps its per-user files.
#pragma once

#include <string>

namespace platform {

// The per-user settings folder, with a trailing "/": $APPDATA when set, else $XDG_CONFIG_HOME,
// else ~/.config; then the subfolder "DRUV/". Not created here.
std::string SettingsFolder();

// Creates a folder and its missing parents (mode 0755). True when it exists afterwards.
bool ForceDirectories(const std::string& path);

}  // namespace platform
