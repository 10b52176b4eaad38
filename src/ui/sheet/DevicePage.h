#pragma once

#include "capture/ImageFormat.h"
#include "ui/sheet/SettingsPage.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vistrel {

class CaptureDevice;
class CUpDownEdit;

// The Device page: which capture driver, the preview rate, and whether the preview runs all the
// time or only for a lead time before each grab. Its Format and Source buttons open the camera's
// dialogs; what they change takes effect at once and Cancel puts the format back.
class CMyPropertyPage7 : public CSettingsPage {
    Q_OBJECT
  public:
    static constexpr int kPreviewRateMin = 1;
    static constexpr int kPreviewRateMax = 45;

    CMyPropertyPage7(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Device"); }
    int helpContext() const override;
    SettingsSection section() const override { return SettingsSection::Device; }
    std::optional<PageRefusal> validate() override;
    bool apply() override;
    void cancel() override;

  protected:
    void loadSettings() override;
    void opened() override;

  private:
    void KeepFormat();
    void UpdateButtons();
    void UpdateLeadTime();
    void RePlacePreview();
    void OnFormat();
    void OnSource();

    // The format the device had when the page opened (or was last applied), for Cancel.
    std::shared_ptr<CaptureDevice> m_keptDevice;
    ImageFormat m_keptFormat;
    QComboBox* m_pDriver;
    QPushButton* m_pFormat;
    QPushButton* m_pSource;
    QPushButton* m_pDisplay;
    CUpDownEdit* m_pRate;
    QCheckBox* m_pDisablePreview;
    QLabel* m_pLeadLabels[2];
    CUpDownEdit* m_pLeadTime;
};

} // namespace vistrel
