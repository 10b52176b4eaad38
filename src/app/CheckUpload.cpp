#include "app/CheckUpload.h"

#include "app/CheckFtp.h"
#include "app/SettingsBridge.h"
#include "platform/PrivateTempDir.h"
#include "upload/Archive.h"
#include "upload/TargetLoader.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

namespace vistrel {

namespace {

std::string ProbeName()
{
    std::random_device random;
    char name[40];
    std::snprintf(name, sizeof name, "vistrel-check-%08x.jpg", static_cast<unsigned>(random()));
    return name;
}

struct Steps {
    UploadCheckReport& report;
    bool step(const std::string& name, bool ok, const std::string& detail)
    {
        report.steps.push_back({name, ok, detail});
        return ok;
    }
};

} // namespace

UploadCheckReport RunTargetCheck(const LiveSettings& settings, TargetKind kind,
                                 const TargetSessionFactory& factory)
{
    UploadCheckReport report;
    report.kind = kind;
    Steps check{report};
    const UploadSettings u = ToUploadSettings(settings);
    TargetSettings t = u.target;
    t.kind = kind;

    std::string why;
    std::unique_ptr<TargetSession> session =
        factory ? factory(t, &why) : MakeTargetSession(t, &why);
    if (!session) {
        check.step("log on", false, why);
        return report;
    }
    // WebDAV and S3 reach the server with their first request: the store step logs on there.
    const std::string opened =
        kind == TargetKind::Sftp ? "logged on to " + t.server : "the settings can be used";
    const bool open = session->Open();
    if (!check.step("log on", open, open ? opened : session->Message()))
        return report;

    std::string error;
    const std::string local = CreatePrivateTempFile("uploadprobe", &error);
    if (local.empty()) {
        check.step("store", false, "no probe file could be made here: " + error);
        return report;
    }
    {
        std::ofstream probe(local, std::ios::binary);
        probe << "Vistrel upload check: this probe file is deleted at once.\n";
    }
    const std::string probe = ProbeName();
    const bool s3 = kind == TargetKind::S3;
    const bool direct = s3 || settings.m_bNoTempFile;
    const std::string stored = direct ? probe : RemoteTempName(probe);
    std::vector<std::string> left; // names the probe may have on the server
    bool ok = check.step("store", session->Store(local, stored),
                         "stored " + stored + (session->Message().empty() ? "" : ": ") +
                             session->Message());
    ::unlink(local.c_str());
    if (ok)
        left.push_back(stored);
    if (ok) {
        // S3 stores in place; its copy step proves the server-side copy the archive uses.
        const std::string to = s3 ? SplitRemoteName(probe).base + "-copy.jpg" : probe;
        if (stored != to || s3) {
            ok = check.step(s3 ? "copy" : "rename", session->Rename(stored, to),
                            (s3 ? "copied " : "renamed ") + stored + " to " + to +
                                (session->Message().empty() ? "" : ": ") + session->Message());
            if (ok)
                left = {to};
        }
    }
    const bool archive = settings.m_nArchiveInterval != 0 && settings.m_nNumberOfArchives != 0;
    if (ok && archive) {
        const std::string from = left.front();
        const std::string slot = RemoteSlotName(from, 1);
        ok = check.step("archive", session->RenameTolerant(from, slot),
                        (s3 ? "copied " : "moved ") + from + " to the archive's name " + slot +
                            (session->Message().empty() ? "" : ": ") + session->Message());
        if (ok)
            left.push_back(slot); // S3's archive step copies, and keeps the source
    }
    // Whatever the probe left is deleted, also after a failed step.
    bool deleted = true;
    std::string detail;
    for (const std::string& name : left) {
        if (!session->DeleteFile(name)) {
            deleted = false;
            detail = "could not delete " + name + ": " + session->Message();
        }
    }
    if (!left.empty() || ok)
        check.step("delete", deleted, deleted ? "deleted the probe" : detail);
    report.ok = ok && deleted;
    return report;
}

std::string FormatUploadCheck(const UploadCheckReport& report)
{
    const std::string label = TargetLabel(report.kind);
    std::string out;
    for (const UploadCheckStep& st : report.steps) {
        char head[32];
        std::snprintf(head, sizeof head, "%-10s %-7s ", st.name.c_str(), st.ok ? "ok" : "FAILED");
        out += head + st.detail + "\n";
    }
    if (report.ok)
        return out + label + " check passed: a cycle can upload with these settings\n";
    const auto failed = std::find_if(report.steps.begin(), report.steps.end(),
                                     [](const UploadCheckStep& st) { return !st.ok; });
    return out + (failed == report.steps.end() ? label + " check failed\n"
                                               : label + " check failed at the " + failed->name +
                                                     " step: " + failed->detail + "\n");
}

bool CheckUpload(const LiveSettings& settings, std::string& out)
{
    TargetKind kind = TargetKind::Ftp;
    std::string why;
    if (!ParseUploadTarget(settings.m_strUploadTarget, &kind, &why)) {
        out = "Upload check failed: " + why + "\n";
        return false;
    }
    if (kind == TargetKind::Ftp)
        return CheckFtp(settings, out);
    const UploadCheckReport report = RunTargetCheck(settings, kind);
    out = FormatUploadCheck(report);
    return report.ok;
}

} // namespace vistrel
