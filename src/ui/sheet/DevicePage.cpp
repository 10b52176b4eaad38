#include "ui/sheet/DevicePage.h"

#include "capture/CaptureDevice.h"
#include "capture/NetworkCameraLoader.h"
#include "config/KeyCatalogue.h"
#include "config/NetworkCameraSettings.h"
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
    // Alt+A is the sheet's Apply.
    m_pAddCamera = MakeButton("addCamera", "A&dd...");
    m_pEditCamera = MakeButton("editCamera", "&Edit...");
    m_pRemoveCamera = MakeButton("removeCamera", "Re&move");
    m_pFormat = MakeButton("format", "&Format");
    m_pSource = MakeButton("source", "&Source");
    m_pDisplay = MakeButton("display", "D&isplay");
    m_pRate = new CUpDownEdit(this);
    m_pRate->setObjectName(QStringLiteral("previewRate"));
    m_pRate->setUpDownRange(1, 5000);
    m_pDisablePreview = MakeCheck("disablePreview", "Disable &preview");
    m_pLeadTime = new CUpDownEdit(this);
    m_pLeadTime->setObjectName(QStringLiteral("previewLeadTime"));
    m_pLeadTime->setUpDownRange(keys::DeviceOptions::PreviewLeadTime.minimum,
                                keys::DeviceOptions::PreviewLeadTime.maximum);
    m_pLeadLabels[0] = new QLabel(QStringLiteral("Allo&w "), this);
    m_pLeadLabels[1] = new QLabel(QStringLiteral("seconds for image adjustment"), this);
    m_pLeadLabels[0]->setBuddy(m_pLeadTime);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pFormat);
    buttons->addWidget(m_pSource);
    buttons->addWidget(m_pDisplay);
    buttons->addStretch(1);
    auto* rate = new QHBoxLayout;
    auto* rateLabel = new QLabel(QStringLiteral("Preview frame &rate (fps)"), this);
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
    m_entries = m_hub.DriversWith(m_cameras);
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
    std::string error;
    const bool ok = m_hub.StoreNetworkCameras(m_cameras, &error);
    if (!ok)
        m_prompter.message("Unable to save the network camera.\n" + error);
    m_bCamerasChanged = false;
    return ok;
}

void CMyPropertyPage7::opened()
{
    // Cancel puts back the format the connected device has now.
    m_hub.KeepCaptureFormat();
    UpdateButtons();
    UpdateLeadTime();
}

void CMyPropertyPage7::UpdateButtons()
{
    const CaptureCapabilities caps = m_hub.ShownCapture().capabilities;
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

void CMyPropertyPage7::OnFormat()
{
    const std::shared_ptr<CaptureDevice> device = m_hub.ShownCapture().device;
    if (!device)
        return;
    CVideoFormatDialog dialog(device, m_hub.CaptureFormatOffer(), m_prompter, this,
                              [this](const ImageFormat& f) { return m_hub.SetCaptureFormat(f); });
    if (dialog.exec() == QDialog::Accepted) {
        m_hub.CaptureFormatChanged();
        markModified();
    }
}

void CMyPropertyPage7::OnSource()
{
    if (!m_hub.ShownCapture().device)
        return;
    CVideoSourceDialog dialog(
        m_hub.CaptureControls(),
        [this](const auto& values) { return m_hub.SetCaptureControls(values); }, this);
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
    // The format in use becomes the stored one (and the one Cancel goes back to); the driver
    // choice is stored even without a connected camera.
    bool stored = m_hub.StoreCaptureFormat();
    stored = StoreCameras() && stored;
    stored = saveSettings() && stored;
    // Switches the preview, reconnects when another driver was chosen, sets the rate.
    m_hub.ApplySettingsPage(reloadGroup());
    m_hub.KeepCaptureFormat(); // another driver now: Cancel concerns its format
    UpdateButtons();
    return stored;
}

void CMyPropertyPage7::cancel()
{
    m_hub.RestoreCaptureFormat();
}

} // namespace vistrel
