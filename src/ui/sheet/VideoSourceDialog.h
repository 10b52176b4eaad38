#pragma once

#include "capture/CaptureBackend.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QLabel;

namespace vistrel {

class CaptureDevice;

// The Device page's Source dialog: the camera's own controls (brightness, contrast, white
// balance …) as sliders, check boxes, lists and buttons, each applied to the camera as it moves
// so the preview shows the effect. "Reset to defaults" puts every control to the camera's
// default; Cancel puts back the values the dialog found.
class CVideoSourceDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CVideoSourceDialog(std::shared_ptr<CaptureDevice> device, QWidget* parent = nullptr);

    const std::vector<CaptureControl>& controls() const { return m_controls; }
    // The control's widget (QSlider, QCheckBox, QComboBox or QPushButton), or nullptr.
    QWidget* widgetFor(std::uint32_t id) const;
    void resetToDefaults();

    void reject() override;

  private:
    QWidget* MakeWidget(const CaptureControl& control);
    void Set(const CaptureControl& control, std::int32_t value);

    std::shared_ptr<CaptureDevice> m_device;
    std::vector<CaptureControl> m_controls;
    std::map<std::uint32_t, QWidget*> m_widgets;
    std::map<std::uint32_t, std::function<void(std::int32_t)>> m_show; // sets a widget
    std::map<std::uint32_t, std::int32_t> m_changed; // id -> value found, for Cancel
    QLabel* m_pError;
};

} // namespace vistrel
