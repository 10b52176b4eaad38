#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Milliseconds one call of fn takes, for `runs` calls.
std::vector<double> timeRuns(int runs, const std::function<bool()>& fn);
double median(std::vector<double> v);
// Runs a shell command; true when it exited 0.
bool sh(const std::string& command);
// A fresh temporary folder (removed by the caller with removeAll).
std::string tempDir();
void removeAll(const std::string& dir);
// Writes a settings file for a stamped picture of width × height from the test pattern, with
// banner, date/time stamp and a 100 × 50 logo, the picture and its copy in folder.
void writeStampSettings(const std::string& ini, const std::string& folder, int width, int height);
// Resident memory of a process in KiB.
long rssKiB(int pid);

} // namespace bench
