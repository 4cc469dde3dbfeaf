// The part of the key sender check that needs the plug-in's tree types, which
// do not mix with <windows.h>.
#pragma once
#include <string>

// The key sequence the auto-type dispatch types for a plain entry with this
// user name and password and no definition of its own.
std::string entrySequence(const std::string& userName, const std::string& password);
