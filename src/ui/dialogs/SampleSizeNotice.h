#pragma once

#include <QDialog>

namespace vistrel {

// The notice the stamp and logo dialogs show when the camera's frame is not the 320 × 240 their
// samples are laid out for (a failed grab counts as 0 × 0). "Don't show this next time" is
// offered but, as before, not kept anywhere: the notice shows on every such opening.
class SampleSizeNotice : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kSampleWidth = 320;
    static constexpr int kSampleHeight = 240;

    explicit SampleSizeNotice(QWidget* parent = nullptr);

    // Whether a frame of this size calls for the notice.
    static bool Needed(int frameWidth, int frameHeight)
    {
        return frameWidth != kSampleWidth || frameHeight != kSampleHeight;
    }
};

} // namespace vistrel
