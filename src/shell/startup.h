#pragma once
// Start-up of the program: the start folder, the settings file, the splash
// window and the main window.

#include <string>
#include <string_view>

// The start folder as the program keeps it: the path with one "/" at its end.
std::string start_folder(std::string_view current);

// Records the start folder in globals::cwd, reads or creates the settings
// file, shows the splash for 4 seconds, runs the main window until Quit and
// closes every window.
void main_program();
