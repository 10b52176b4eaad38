#include "config/NetworkCameraSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

#include <algorithm>

namespace vistrel {

namespace {

std::string key(int slot, const char* field)
{
    return "Camera" + std::to_string(slot) + field;
}

bool validSlot(int slot)
{
    return slot >= 1 && slot <= kMaxNetworkCameras;
}

} // namespace

std::vector<NetworkCameraKeys> ReadNetworkCameras()
{
    std::vector<NetworkCameraKeys> cameras;
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot) {
        NetworkCameraKeys c;
        c.slot = slot;
        c.url = IniReadString(section::kNetworkCameras, key(slot, "URL"), "");
        if (c.url.empty())
            continue;
        c.name = IniReadString(section::kNetworkCameras, key(slot, "Name"), "");
        if (c.name.empty())
            c.name = "Network camera " + std::to_string(slot);
        c.username = IniReadString(section::kNetworkCameras, key(slot, "Username"), "");
        c.password = IniReadPassword(section::kNetworkCameras, key(slot, "Password"));
        c.verifyCertificate =
            IniReadInt(section::kNetworkCameras, key(slot, "VerifyCertificate"), 1) != 0;
        c.certificateFingerprint =
            IniReadString(section::kNetworkCameras, key(slot, "CertificateFingerprint"), "");
        c.timeOutSeconds = std::clamp(IniReadInt(section::kNetworkCameras, key(slot, "TimeOut"),
                                                 kDefaultNetworkCameraTimeOut),
                                      1, 60);
        cameras.push_back(std::move(c));
    }
    return cameras;
}

bool WriteNetworkCamera(const NetworkCameraKeys& camera, std::string* error)
{
    auto refuse = [error](const char* text) {
        if (error)
            *error = text;
        return false;
    };
    if (!validSlot(camera.slot))
        return refuse("There is no such network camera slot");
    if (camera.url.empty())
        return refuse("A network camera needs a URL");
    if (!PasswordFitsSettingsFile(camera.password))
        return refuse("The password is too long to be stored");
    const int s = camera.slot;
    // The URL last: a slot counts as a camera once its URL is there.
    return IniWriteString(section::kNetworkCameras, key(s, "Name"), camera.name, error) &&
           IniWriteString(section::kNetworkCameras, key(s, "Username"), camera.username, error) &&
           IniWritePassword(section::kNetworkCameras, key(s, "Password"), camera.password, error) &&
           IniWriteString(section::kNetworkCameras, key(s, "URL"), camera.url, error);
}

bool RemoveNetworkCamera(int slot, std::string* error)
{
    if (!validSlot(slot)) {
        if (error)
            *error = "There is no such network camera slot";
        return false;
    }
    // The URL first: a slot stops being a camera before its other keys go.
    bool ok = IniWriteString(section::kNetworkCameras, key(slot, "URL"), "", error);
    for (const char* field :
         {"Name", "Username", "Password", "VerifyCertificate", "CertificateFingerprint", "TimeOut"})
        ok = ok && IniWriteString(section::kNetworkCameras, key(slot, field), "", error);
    return ok;
}

int FreeNetworkCameraSlot()
{
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot)
        if (IniReadString(section::kNetworkCameras, key(slot, "URL"), "").empty())
            return slot;
    return 0;
}

} // namespace vistrel
