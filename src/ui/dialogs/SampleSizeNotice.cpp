#include "ui/dialogs/SampleSizeNotice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace vistrel {

SampleSizeNotice::SampleSizeNotice(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Vistrel"));
    auto* group = new QGroupBox(QStringLiteral("Notice"), this);
    auto* first = new QLabel(QStringLiteral("The sample displays for the Banner, Time Stamp and "
                                            "Overlay are designed for a 320x240 image."),
                             group);
    auto* second = new QLabel(QStringLiteral("Since your camera/capture device is set to a "
                                             "different image size the sample may not properly "
                                             "represent the uploaded image."),
                              group);
    for (QLabel* label : {first, second})
        label->setWordWrap(true);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(first);
    groupLayout->addWidget(second);

    auto* dontShow = new QCheckBox(QStringLiteral("Don't show this next time"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(dontShow);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

} // namespace vistrel
