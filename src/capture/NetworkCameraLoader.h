#pragma once

#include <string>

namespace vistrel {

// The package that holds the network-camera module, for the messages that name it.
constexpr const char* kNetcamPackage = "vistrel-netcam";

// Where the network-camera module is looked for: the folder named by $VISTREL_NETCAM_DIR when it
// is set, otherwise the program's own library folder, found from the program's location (so an
// installed tree and the build tree both work).
std::string NetworkCameraModulePath();

// Loads the module the first time a network camera is used; it then stays loaded. Empty when it
// is there, otherwise the one-line reason a user can act on: what to install, or why the file
// found cannot be used. A module that was missing is looked for again at the next call. With
// load false it is only looked for (a file that is there counts as usable until it is loaded).
std::string NetworkCameraModuleProblem(bool load = true);

} // namespace vistrel
