#pragma once

#include "capture/CaptureBackend.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QLabel;

namespace vistrel {

// The Device page's Source dialog: the camera's own controls (brightness, contrast, white
// balance …) as sliders, check boxes, lists and buttons, each applied to the camera as it moves
// so the preview shows the effect. "Reset to defaults" puts every control to the camera's
// default; Cancel puts back the values the dialog found.
//
// The dialog never talks to the camera itself: it shows the controls it is given and sets them
// through setControls, which the Device page runs beside the window's thread (a camera that
// stops answering must not freeze the window).
class CVideoSourceDialog : public QDialog {
    Q_OBJECT
  public:
    // Sets each (control id, value) in order and returns for each why it failed (empty: set).
    using ControlSetter = std::function<std::vector<std::string>(
        const std::vector<std::pair<std::uint32_t, std::int32_t>>&)>;

    CVideoSourceDialog(std::vector<CaptureControl> controls, ControlSetter setControls,
                       QWidget* parent = nullptr);

    const std::vector<CaptureControl>& controls() const { return m_controls; }
    // The control's widget (QSlider, QCheckBox, QComboBox or QPushButton), or nullptr.
    QWidget* widgetFor(std::uint32_t id) const;
    void resetToDefaults();

    void reject() override;

  private:
    QWidget* MakeWidget(const CaptureControl& control);
    void Set(const CaptureControl& control, std::int32_t value);
    // Sets the values and shows the first failure under the controls (or hides the last one).
    void SetAll(const std::vector<std::pair<std::uint32_t, std::int32_t>>& values);

    ControlSetter m_setControls;
    std::vector<CaptureControl> m_controls;
    std::map<std::uint32_t, QWidget*> m_widgets;
    std::map<std::uint32_t, std::function<void(std::int32_t)>> m_show; // sets a widget
    std::map<std::uint32_t, std::int32_t> m_changed; // id -> value found, for Cancel
    QLabel* m_pError;
};

} // namespace vistrel
