#pragma once

#include "capture/CaptureDrivers.h"
#include "config/KeyCatalogue.h"
#include "config/NetworkCameraSettings.h"
#include "ui/sheet/SettingsPage.h"

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vistrel {

class CaptureDevice;
class CUpDownEdit;

// The Device page: which capture driver, the preview rate, and whether the preview runs all the
// time or only for a lead time before each grab. Its Format and Source buttons open the camera's
// dialogs; what they change takes effect at once and Cancel puts the format back. Its Add…,
// Edit… and Remove buttons change the network cameras in the driver list at once, but they are
// stored with the page's other values, on OK or Apply: Cancel leaves the stored cameras and
// choice as they were. Remove asks first.
class CMyPropertyPage7 : public CSettingsPage {
    Q_OBJECT
  public:
    static constexpr int kPreviewRateMin = keys::DeviceOptions::PreviewRate.minimum;
    static constexpr int kPreviewRateMax = keys::DeviceOptions::PreviewRate.maximum;

    CMyPropertyPage7(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Device"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::Device; }
    std::optional<PageRefusal> validate() override;
    bool apply() override;
    void cancel() override;

  protected:
    void loadSettings() override;
    void opened() override;

  private:
    void UpdateButtons();
    void UpdateLeadTime();
    void OnFormat();
    void OnSource();
    void FillDriverList();
    void UpdateDriverVersion();
    void OnAddCamera();
    void OnEditCamera();
    void OnRemoveCamera();
    // The settings slot of the chosen network camera; 0 when another driver is chosen.
    int SelectedNetworkSlot() const;
    // The first slot the page's cameras leave free, or 0.
    int FreeSlot() const;
    // Lists the drivers afresh with the page's cameras: the selection follows its driver (a
    // removed one becomes nothing chosen) unless select names the network camera slot to select.
    void CamerasChanged(int select);
    // Stores the page's cameras (every slot that changed); false when one could not be written.
    bool StoreCameras();

    // The network cameras as the page shows them, stored on OK or Apply.
    std::vector<NetworkCameraKeys> m_cameras;
    bool m_bCamerasChanged = false;

    QComboBox* m_pDriver;
    QLabel* m_pDriverVersion;
    QLabel* m_pModuleNote;                     // shown when network cameras lack their module
    std::vector<CaptureDriverEntry> m_entries; // what the list shows, by index
    QPushButton* m_pAddCamera;
    QPushButton* m_pEditCamera;
    QPushButton* m_pRemoveCamera;
    QPushButton* m_pFormat;
    QPushButton* m_pSource;
    QPushButton* m_pDisplay;
    CUpDownEdit* m_pRate;
    QCheckBox* m_pDisablePreview;
    QLabel* m_pLeadLabels[2];
    CUpDownEdit* m_pLeadTime;
};

} // namespace vistrel
