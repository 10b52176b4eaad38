#include "ui/sheet/DevicePage.h"

#include "capture/CaptureDevice.h"
#include "capture/NetworkCameraLoader.h"
#include "config/KeyCatalogue.h"
#include "config/NetworkCameraSettings.h"
#include "config/SettingsFile.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/NetworkCameraDialog.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"
#include "ui/sheet/VideoFormatDialog.h"
#include "ui/sheet/VideoSourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

namespace {

VideoFormatSettings ToSettings(const ImageFormat& format)
{
    const auto v = ImageFormatValues(format);
    auto at = [&v](std::size_t i) { return static_cast<int>(v[i]); };
    return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8), at(9), at(10)};
}

} // namespace

CMyPropertyPage7::CMyPropertyPage7(Hub& hub, Prompter& prompter, QWidget* parent)
    : CSettingsPage(hub, prompter, parent)
{
    m_pDriver = new QComboBox(this);
    m_pDriver->setObjectName(QStringLiteral("captureDriver"));
    m_pDriverVersion = new QLabel(this);
    m_pDriverVersion->setObjectName(QStringLiteral("driverVersion"));
    m_pDriverVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pModuleNote = new QLabel(this);
    m_pModuleNote->setObjectName(QStringLiteral("netcamModule"));
    m_pModuleNote->setWordWrap(true);
    m_pModuleNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pModuleNote->hide();
    // Alt+A is the sheet's Apply; Alt+D reaches Add since Display is never enabled.
    m_pAddCamera = MakeButton("addCamera", "A&dd...");
    m_pEditCamera = MakeButton("editCamera", "&Edit...");
    m_pRemoveCamera = MakeButton("removeCamera", "Re&move");
    m_pFormat = MakeButton("format", "&Format");
    m_pSource = MakeButton("source", "&Source");
    m_pDisplay = MakeButton("display", "&Display");
    m_pRate = new CUpDownEdit(this);
    m_pRate->setObjectName(QStringLiteral("previewRate"));
    m_pRate->setUpDownRange(1, 5000);
    m_pDisablePreview = MakeCheck("disablePreview", "Disable preview");
    m_pLeadTime = new CUpDownEdit(this);
    m_pLeadTime->setObjectName(QStringLiteral("previewLeadTime"));
    m_pLeadTime->setUpDownRange(keys::DeviceOptions::PreviewLeadTime.minimum,
                                keys::DeviceOptions::PreviewLeadTime.maximum);
    m_pLeadLabels[0] = new QLabel(QStringLiteral("Allow "), this);
    m_pLeadLabels[1] = new QLabel(QStringLiteral("seconds for image adjustment"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pFormat);
    buttons->addWidget(m_pSource);
    buttons->addWidget(m_pDisplay);
    buttons->addStretch(1);
    auto* rate = new QHBoxLayout;
    auto* rateLabel = new QLabel(QStringLiteral("Preview frame rate (fps)"), this);
    rateLabel->setBuddy(m_pRate);
    rate->addWidget(rateLabel);
    rate->addWidget(m_pRate);
    rate->addStretch(1);
    auto* lead = new QHBoxLayout;
    lead->setContentsMargins(20, 0, 0, 0);
    lead->addWidget(m_pLeadLabels[0]);
    lead->addWidget(m_pLeadTime);
    lead->addWidget(m_pLeadLabels[1]);
    lead->addStretch(1);
    auto* network = new QHBoxLayout;
    network->addWidget(new QLabel(QStringLiteral("Network camera:"), this));
    network->addWidget(m_pAddCamera);
    network->addWidget(m_pEditCamera);
    network->addWidget(m_pRemoveCamera);
    network->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pDriver);
    layout->addWidget(m_pDriverVersion);
    layout->addLayout(buttons);
    layout->addLayout(network);
    layout->addWidget(m_pModuleNote);
    layout->addSpacing(8);
    layout->addLayout(rate);
    layout->addWidget(m_pDisablePreview);
    layout->addLayout(lead);
    layout->addStretch(1);

    m_keys.add(keys::ImageFormat::CaptureDevice, m_pDriver);
    m_keys.add(keys::DeviceOptions::PreviewLeadTime, m_pLeadTime);
    m_keys.add(keys::DeviceOptions::DisablePreview, m_pDisablePreview);
    m_keys.add(keys::DeviceOptions::PreviewRate, m_pRate);

    watch({m_pDriver, m_pRate, m_pDisablePreview, m_pLeadTime});
    connect(m_pDisablePreview, &QCheckBox::toggled, this, &CMyPropertyPage7::UpdateLeadTime);
    connect(m_pFormat, &QPushButton::clicked, this, &CMyPropertyPage7::OnFormat);
    connect(m_pSource, &QPushButton::clicked, this, &CMyPropertyPage7::OnSource);
    connect(m_pDriver, &QComboBox::currentIndexChanged, this,
            &CMyPropertyPage7::UpdateDriverVersion);
    connect(m_pAddCamera, &QPushButton::clicked, this, &CMyPropertyPage7::OnAddCamera);
    connect(m_pEditCamera, &QPushButton::clicked, this, &CMyPropertyPage7::OnEditCamera);
    connect(m_pRemoveCamera, &QPushButton::clicked, this, &CMyPropertyPage7::OnRemoveCamera);
    // No Linux driver has a display dialog: frames are always shown as they come.
    m_pDisplay->setEnabled(false);
    // Tab goes down the page as it reads: the driver, its buttons, the network cameras, the rate.
    QWidget* const order[] = {m_pDriver,         m_pFormat,     m_pSource,       m_pDisplay,
                              m_pAddCamera,      m_pEditCamera, m_pRemoveCamera, m_pRate,
                              m_pDisablePreview, m_pLeadTime};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    AddHelpShortcut(this, helpContext());
}

int CMyPropertyPage7::helpContext() const
{
    return kHelpDevicePage;
}

void CMyPropertyPage7::FillDriverList()
{
    const QSignalBlocker quiet(m_pDriver);
    m_pDriver->clear();
    std::vector<NetworkCameraSlot> cameras;
    for (const NetworkCameraKeys& k : m_cameras)
        cameras.push_back({k.slot, {k.name, k.url, k.username, k.password}});
    m_entries = m_hub.Drivers().entriesWith(cameras);
    if (m_entries.size() > static_cast<std::size_t>(kMaxCaptureDrivers))
        m_entries.resize(kMaxCaptureDrivers);
    bool network = false;
    for (const CaptureDriverEntry& e : m_entries) {
        m_pDriver->addItem(FromStd(e.description));
        network = network || e.kind == CaptureDriverKind::Network;
    }
    // Network cameras that cannot work here: what to install. The module is only looked for:
    // a camera that is merely listed does not load it.
    const std::string problem = network ? NetworkCameraModuleProblem(false) : std::string();
    m_pModuleNote->setText(FromStd(problem));
    m_pModuleNote->setVisible(!problem.empty());
}

void CMyPropertyPage7::loadSettings()
{
    m_cameras = ReadNetworkCameras();
    m_bCamerasChanged = false;
    m_bChosenCameraEdited = false;
    FillDriverList();
    CSettingsPage::loadSettings();
    UpdateDriverVersion();
}

// The second line of the chosen driver (its device node, a network camera's address with the
// password hidden), and which network camera buttons apply.
void CMyPropertyPage7::UpdateDriverVersion()
{
    const int index = m_pDriver->currentIndex();
    const bool valid = index >= 0 && index < static_cast<int>(m_entries.size());
    m_pDriverVersion->setText(valid ? FromStd(m_entries[static_cast<std::size_t>(index)].version)
                                    : QString());
    const bool network = SelectedNetworkSlot() != 0;
    m_pEditCamera->setEnabled(network);
    m_pRemoveCamera->setEnabled(network);
    m_pAddCamera->setEnabled(FreeSlot() != 0);
}

int CMyPropertyPage7::FreeSlot() const
{
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot)
        if (std::none_of(m_cameras.begin(), m_cameras.end(),
                         [slot](const NetworkCameraKeys& k) { return k.slot == slot; }))
            return slot;
    return 0;
}

int CMyPropertyPage7::SelectedNetworkSlot() const
{
    const int index = m_pDriver->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return 0;
    const CaptureDriverEntry& e = m_entries[static_cast<std::size_t>(index)];
    return e.kind == CaptureDriverKind::Network ? e.networkSlot : 0;
}

void CMyPropertyPage7::CamerasChanged(int select)
{
    const std::vector<CaptureDriverEntry> before = m_entries;
    const int selected = m_pDriver->currentIndex();
    std::sort(
        m_cameras.begin(), m_cameras.end(),
        [](const NetworkCameraKeys& a, const NetworkCameraKeys& b) { return a.slot < b.slot; });
    m_bCamerasChanged = true;
    FillDriverList();
    m_pDriver->setCurrentIndex(FollowDriver(before, m_entries, selected, select));
    UpdateDriverVersion();
    markModified();
}

void CMyPropertyPage7::OnAddCamera()
{
    const int slot = FreeSlot();
    if (slot == 0)
        return;
    CNetworkCameraDialog dialog({slot, {}, {}, {}, {}}, m_prompter, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_cameras.push_back(dialog.camera());
    CamerasChanged(slot);
}

void CMyPropertyPage7::OnEditCamera()
{
    const int slot = SelectedNetworkSlot();
    const auto it = std::find_if(m_cameras.begin(), m_cameras.end(),
                                 [slot](const NetworkCameraKeys& k) { return k.slot == slot; });
    if (slot == 0 || it == m_cameras.end())
        return;
    CNetworkCameraDialog dialog(*it, m_prompter, this);
    if (dialog.exec() != QDialog::Accepted || dialog.camera() == *it)
        return;
    // The camera in use has another address or password now: storing connects it again.
    if (m_hub.Settings().m_nCaptureDevice == m_pDriver->currentIndex())
        m_bChosenCameraEdited = true;
    *it = dialog.camera();
    CamerasChanged(slot);
}

void CMyPropertyPage7::OnRemoveCamera()
{
    const int slot = SelectedNetworkSlot();
    const auto it = std::find_if(m_cameras.begin(), m_cameras.end(),
                                 [slot](const NetworkCameraKeys& k) { return k.slot == slot; });
    if (slot == 0 || it == m_cameras.end())
        return;
    if (!m_prompter.askYesNo("Remove the network camera \"" + it->name + "\"?"))
        return;
    m_cameras.erase(it);
    CamerasChanged(0);
}

bool CMyPropertyPage7::StoreCameras()
{
    if (!m_bCamerasChanged)
        return true;
    const std::vector<NetworkCameraKeys> stored = ReadNetworkCameras();
    bool ok = true;
    std::string error;
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot) {
        const auto find = [slot](const std::vector<NetworkCameraKeys>& list) {
            return std::find_if(list.begin(), list.end(),
                                [slot](const NetworkCameraKeys& k) { return k.slot == slot; });
        };
        const auto shown = find(m_cameras);
        const auto was = find(stored);
        if (shown != m_cameras.end()) {
            if (was == stored.end() || !(*was == *shown))
                ok = WriteNetworkCamera(*shown, &error) && ok;
        } else if (was != stored.end()) {
            ok = RemoveNetworkCamera(slot, &error) && ok;
        }
    }
    if (!ok)
        m_prompter.message("Unable to save the network camera.\n" + error);
    m_bCamerasChanged = false;
    return ok;
}

void CMyPropertyPage7::opened()
{
    KeepFormat();
    UpdateButtons();
    UpdateLeadTime();
}

// Keeps the connected device's current format, so that Cancel can put it back.
void CMyPropertyPage7::KeepFormat()
{
    m_keptDevice.reset();
    const std::shared_ptr<CaptureDevice> device = m_hub.Capture().device();
    if (device && device->getFormat(m_keptFormat))
        m_keptDevice = device;
}

void CMyPropertyPage7::UpdateButtons()
{
    const std::shared_ptr<CaptureDevice> device = m_hub.Capture().device();
    const CaptureCapabilities caps = device ? device->capabilities() : CaptureCapabilities{};
    m_pFormat->setEnabled(caps.hasDlgVideoFormat);
    m_pSource->setEnabled(caps.hasDlgVideoSource);
    m_pDisplay->setEnabled(caps.hasDlgVideoDisplay);
}

void CMyPropertyPage7::UpdateLeadTime()
{
    const bool on = m_pDisablePreview->isChecked();
    m_pLeadTime->setEnabled(on);
    m_pLeadLabels[0]->setEnabled(on);
    m_pLeadLabels[1]->setEnabled(on);
}

// The preview takes the device's (new) frame size and placement.
void CMyPropertyPage7::RePlacePreview()
{
    m_hub.Capture().PlacePreviewWindow();
    emit m_hub.captureDeviceChanged();
}

void CMyPropertyPage7::OnFormat()
{
    const std::shared_ptr<CaptureDevice> device = m_hub.Capture().device();
    if (!device)
        return;
    CVideoFormatDialog dialog(device, m_prompter, this);
    if (dialog.exec() == QDialog::Accepted) {
        RePlacePreview();
        markModified();
    }
}

void CMyPropertyPage7::OnSource()
{
    const std::shared_ptr<CaptureDevice> device = m_hub.Capture().device();
    if (!device)
        return;
    CVideoSourceDialog dialog(device, this);
    dialog.exec();
}

std::optional<PageRefusal> CMyPropertyPage7::validate()
{
    const auto rate = ParseNonNegativeInteger(m_pRate->edit()->text());
    if (!rate)
        return PageRefusal{m_pRate, QString::fromLatin1(kEnterPositiveIntegerText)};
    if (*rate < kPreviewRateMin || *rate > kPreviewRateMax)
        return PageRefusal{m_pRate, EnterIntegerBetweenText(kPreviewRateMin, kPreviewRateMax)};
    if (!ParseNonNegativeInteger(m_pLeadTime->edit()->text()))
        return PageRefusal{m_pLeadTime, QString::fromLatin1(kEnterPositiveIntegerText)};
    return std::nullopt;
}

bool CMyPropertyPage7::apply()
{
    bool stored = true;
    // The format in use becomes the stored one (and the one Cancel goes back to). Without a
    // connected camera there is no format to store; the driver choice is stored all the same.
    KeepFormat();
    if (m_keptDevice)
        stored = WriteVideoFormatSettings(ToSettings(m_keptFormat));
    stored = StoreCameras() && stored;
    stored = saveSettings() && stored;
    if (m_bChosenCameraEdited) {
        m_bChosenCameraEdited = false;
        m_hub.RequestCaptureReconnect();
    }
    // Switches the preview, reconnects when another driver was chosen, sets the rate.
    m_hub.ApplySettingsPage(reloadGroup());
    if (m_hub.Capture().device() != m_keptDevice)
        KeepFormat(); // another driver now: Cancel concerns its format
    UpdateButtons();
    return stored;
}

void CMyPropertyPage7::cancel()
{
    if (!m_keptDevice || m_keptDevice != m_hub.Capture().device())
        return;
    ImageFormat now;
    // Putting the same format back would only restart the camera's stream.
    if (m_keptDevice->getFormat(now) && now == m_keptFormat)
        return;
    m_keptDevice->setFormat(m_keptFormat);
    RePlacePreview();
}

} // namespace vistrel
