#include "updater/PadFile.h"

#include "updater/UpdateCheck.h"
#include "updater/XmlReader.h"

#include <filesystem>
#include <fstream>

namespace vistrel {

bool ReadPadFile(const std::string& path, std::string& xml)
{
    xml.clear();
    // Only a regular file of a sane size (the size test also keeps a FIFO from blocking the open).
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > static_cast<std::uintmax_t>(kMaxPadFileSize))
        return false;
    std::ifstream in(path);
    if (!in.is_open())
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        xml += line;
    }
    return true;
}

namespace {

// Reads the text of the next child called name into text; false (text untouched) when missing.
bool ReadChild(CXmlReader& reader, const char* name, std::string& text)
{
    if (!reader.FindChild(name))
        return false;
    text = reader.GetChildText();
    return true;
}

void ChooseDownloadAddress(CXmlReader& reader, std::string& address)
{
    static const char* const kNames[] = {"Primary_Download_URL", "Secondary_Download_URL",
                                         "Additional_Download_URL_1", "Additional_Download_URL_2"};
    for (const char* name : kNames) {
        if (!ReadChild(reader, name, address))
            return;
        if (IsAcceptableDownloadAddress(address))
            return;
    }
    address.clear();
}

} // namespace

bool ReadLocalPad(const std::string& xml, LocalPadInfo& info)
{
    info = LocalPadInfo{};
    CXmlReader reader;
    reader.Load(xml);
    if (reader.FindElement("XML_DIZ_INFO")) {
        if (reader.FindChild("Program_Info")) {
            reader.EnterChild();
            ReadChild(reader, "Program_Name", info.strProgramName);
            ReadChild(reader, "Program_Version", info.strVersion);
            reader.LeaveElement();
        }
        if (reader.FindChild("Web_Info")) {
            reader.EnterChild();
            if (reader.FindChild("Application_URLs")) {
                reader.EnterChild();
                ReadChild(reader, "Application_XML_File_URL", info.strPadAddress);
                reader.LeaveElement();
            }
            reader.LeaveElement();
        }
        reader.LeaveElement();
    }
    return !info.strProgramName.empty() && !info.strVersion.empty() && !info.strPadAddress.empty();
}

bool ReadRemotePad(const std::string& xml, const std::string& programName, RemotePadInfo& info)
{
    info = RemotePadInfo{};
    CXmlReader reader;
    reader.Load(xml);
    if (reader.FindElement("XML_DIZ_INFO")) {
        if (reader.FindChild("Program_Info")) {
            reader.EnterChild();
            std::string name;
            if (ReadChild(reader, "Program_Name", name) && name != programName)
                return false;
            ReadChild(reader, "Program_Version", info.strVersion);
            ReadChild(reader, "Program_Change_Info", info.strWhatsNew);
            reader.LeaveElement();
        }
        if (reader.FindChild("Web_Info")) {
            reader.EnterChild();
            if (reader.FindChild("Download_URLs")) {
                reader.EnterChild();
                ChooseDownloadAddress(reader, info.strDownloadAddress);
                reader.LeaveElement();
            }
            reader.LeaveElement();
        }
        reader.LeaveElement();
    }
    return !info.strVersion.empty() && !info.strDownloadAddress.empty();
}

} // namespace vistrel
