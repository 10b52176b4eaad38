#include "ui/sheet/VideoFormatDialog.h"

#include "capture/CaptureDevice.h"
#include "platform/Prompter.h"
#include "ui/sheet/PageKeys.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace vistrel {

CVideoFormatDialog::CVideoFormatDialog(std::shared_ptr<CaptureDevice> device, FormatOffer offer,
                                       Prompter& prompter, QWidget* parent, FormatSetter setFormat)
    : QDialog(parent), m_device(std::move(device)), m_prompter(prompter),
      m_setFormat(std::move(setFormat)), m_sizes(std::move(offer.sizes))
{
    if (!m_setFormat)
        m_setFormat = [device = m_device](const ImageFormat& f) { return device->setFormat(f); };
    setWindowTitle(QStringLiteral("Video Format"));
    setObjectName(QStringLiteral("videoFormat"));
    FrameSize current;
    const bool haveCurrent = m_device->status(current);
    // A camera that cannot list its sizes still shows the one it uses.
    if (m_sizes.empty() && haveCurrent)
        m_sizes.push_back(current);

    m_pSizes = new QListWidget(this);
    m_pSizes->setObjectName(QStringLiteral("frameSizes"));
    for (const FrameSize& s : m_sizes)
        m_pSizes->addItem(QStringLiteral("%1 x %2").arg(s.width).arg(s.height));
    if (haveCurrent)
        selectSize(current);

    const std::vector<std::string>& formats = offer.pixelFormats;
    QString text = QStringLiteral("Every frame is converted to 24-bit RGB.");
    if (!formats.empty()) {
        QStringList names;
        for (const std::string& f : formats)
            names << FromStd(f);
        text = QStringLiteral("The camera sends %1; every frame is converted to 24-bit RGB.")
                   .arg(names.join(QStringLiteral(", ")));
    }
    m_pFormats = new QLabel(text, this);
    m_pFormats->setObjectName(QStringLiteral("pixelFormats"));
    m_pFormats->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CVideoFormatDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pSizes, &QListWidget::itemDoubleClicked, this, &CVideoFormatDialog::accept);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("&Image size"), this);
    label->setBuddy(m_pSizes);
    layout->addWidget(label);
    layout->addWidget(m_pSizes, 1);
    layout->addWidget(m_pFormats);
    layout->addWidget(buttons);
    resize(320, 300);
}

bool CVideoFormatDialog::selectSize(FrameSize size)
{
    for (std::size_t i = 0; i < m_sizes.size(); ++i) {
        if (m_sizes[i] == size) {
            m_pSizes->setCurrentRow(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

FrameSize CVideoFormatDialog::selectedSize() const
{
    const int row = m_pSizes->currentRow();
    return row >= 0 ? m_sizes[static_cast<std::size_t>(row)] : FrameSize{};
}

void CVideoFormatDialog::accept()
{
    const FrameSize chosen = selectedSize();
    FrameSize current;
    if (chosen.width > 0 && !(m_device->status(current) && current == chosen) &&
        !m_setFormat(Rgb24Format(chosen.width, chosen.height))) {
        m_prompter.message("Unable to set the video format.\n" + m_device->lastError());
        return;
    }
    QDialog::accept();
}

} // namespace vistrel
