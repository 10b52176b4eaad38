#pragma once

#include <string>
#include <vector>

namespace vistrel {

// Cameras on the network, kept under [NetworkCameras] as Camera1Name, Camera1URL,
// Camera1Username, Camera1Password (stored scrambled) … up to Camera4. A slot whose URL is empty
// holds no camera.
constexpr int kMaxNetworkCameras = 4;

struct NetworkCameraKeys {
    int slot = 0; // 1 to kMaxNetworkCameras
    std::string name;
    std::string url;
    std::string username;
    std::string password; // in clear
    bool operator==(const NetworkCameraKeys&) const = default;
};

// The cameras of the settings file, in slot order, each read afresh from the file. A slot with a
// URL but no name is named after its slot ("Network camera 2").
std::vector<NetworkCameraKeys> ReadNetworkCameras();

// Writes the four keys of camera.slot. Refused (false, *error set, nothing written) for a slot
// out of range, an empty URL, or a password that could not be read back whole.
bool WriteNetworkCamera(const NetworkCameraKeys& camera, std::string* error = nullptr);

// Empties the four keys of a slot.
bool RemoveNetworkCamera(int slot, std::string* error = nullptr);

// The first slot without a camera, or 0 when all are taken.
int FreeNetworkCameraSlot();

} // namespace vistrel
