#pragma once

#include <string>
#include <vector>

namespace vistrel {

// Cameras on the network, kept under [NetworkCameras] as Camera1Name, Camera1URL,
// Camera1Username, Camera1Password (stored scrambled) … up to Camera4. A slot whose URL is empty
// holds no camera. Each also has keys set in the settings file only: Camera1VerifyCertificate
// (1: an https camera's certificate is checked), Camera1CertificateFingerprint (the SHA-256 of
// the one certificate accepted) and Camera1TimeOut (the seconds a grab may take).
constexpr int kMaxNetworkCameras = 4;
// A grab's time limit, in seconds, unless CameraNTimeOut says otherwise (kept to 1 … 60).
constexpr int kDefaultNetworkCameraTimeOut = 3;

struct NetworkCameraKeys {
    int slot = 0; // 1 to kMaxNetworkCameras
    std::string name;
    std::string url;
    std::string username;
    std::string password; // in clear
    bool verifyCertificate = true;
    std::string certificateFingerprint;
    int timeOutSeconds = kDefaultNetworkCameraTimeOut;
    bool operator==(const NetworkCameraKeys&) const = default;
};

// The cameras of the settings file, in slot order, each read afresh from the file. A slot with a
// URL but no name is named after its slot ("Network camera 2").
std::vector<NetworkCameraKeys> ReadNetworkCameras();

// Writes the four keys of camera.slot (name, URL, user name, password; the keys set in the file
// only stay as they are). Refused (false, *error set, nothing written) for a slot
// out of range, an empty URL, or a password that could not be read back whole.
bool WriteNetworkCamera(const NetworkCameraKeys& camera, std::string* error = nullptr);

// Empties the keys of a slot.
bool RemoveNetworkCamera(int slot, std::string* error = nullptr);

// The first slot without a camera, or 0 when all are taken.
int FreeNetworkCameraSlot();

} // namespace vistrel
