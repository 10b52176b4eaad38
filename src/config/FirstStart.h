#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// One key with the value a settings page shows for it when the file does not have it (and
// writes back when the user accepts the page).
struct PageValue {
    std::string_view section;
    std::string_view key;
    std::string value;
};

// Every key the settings sheet's pages write, with the value each page shows when the key is
// missing, in the order of the key catalogue (which holds these values as its page defaults).
std::vector<PageValue> PageValuesForMissingKeys();

// The first start of a program that has nobody to answer the settings sheet: each key the pages
// write that the file lacks gets the value its page shows, so the result is what a user who
// accepts the sheet gets (a white banner and date/time stamp with a shadow, for one). Keys the
// file has are left alone. One exception: when the file names no FTP server, FTP upload stays off
// and the local copy on (the pages' values would publish nowhere).
struct FirstStartWrites {
    std::vector<PageValue> written;
    // The written values that differ from what the program assumes for a missing key: the ones
    // that change what the program does.
    std::vector<PageValue> changed;
    bool uploadKeptOff = false; // no FTP server: FTPUpload written 0, SaveAsFile 1
    std::string error;          // the first write that failed (the others are still tried)
};
FirstStartWrites WriteFirstStartValues();

} // namespace vistrel
