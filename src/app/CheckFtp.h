#pragma once

#include "config/LiveSettings.h"

#include <string>
#include <vector>

namespace vistrel {

// The FTP check proves that a cycle's upload will work: with the settings it does on the server
// what a cycle does, on a probe file of its own ("vistrel-check-<random>"): connect (to the server
// or the proxy), log on, change to the upload directory, store the probe under a temporary name,
// rename it into place (a cycle's NoTempFile stores it directly), rename it once more when an
// archive is configured (the permission the archive rotation needs), and delete it. The steps stop
// at the first failure; what the probe left on the server is deleted all the same.
struct FtpCheckStep {
    std::string name; // "connect", "log on", "directory", "store", "rename", "archive", "delete"
    bool ok = false;
    std::string detail; // what the step did, or why it failed (the server's reply)
};

struct FtpCheckReport {
    std::vector<FtpCheckStep> steps;
    std::string conversation; // the session's log, passwords hidden
    std::vector<std::string> notes;
    bool ok = false; // every step passed
};

FtpCheckReport RunFtpCheck(const LiveSettings& settings);

// The report as text: the conversation, one verdict line per step, then the outcome
// ("FTP check passed: …" or "FTP check failed at the <step> step: …") and the notes.
std::string FormatFtpCheck(const FtpCheckReport& report);

// RunFtpCheck and FormatFtpCheck in one: out receives the text; true when every step passed.
// (The settings sheet's Location page runs this for its Test button.)
bool CheckFtp(const LiveSettings& settings, std::string& out);

// The conversation with the argument of each PASS command hidden.
std::string HidePasswords(const std::string& conversation);

} // namespace vistrel
