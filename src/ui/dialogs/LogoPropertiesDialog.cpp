#include "ui/dialogs/LogoPropertiesDialog.h"

#include "imaging/ComposeAndSave.h"
#include "imaging/LogoFile.h"
#include "imaging/PixelView.h"
#include "imaging/Stamp.h"
#include "imaging/codec/ImgLib.h"
#include "ui/HelpWindow.h"
#include "ui/dialogs/DialogWidgets.h"
#include "ui/dialogs/SampleSizeNotice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vistrel {

namespace {

const char* const kTooLarge = "Overlay image is larger than capture image!";
const char* const kDrawFailed = "Failed to draw image";

} // namespace

const QString& LogoPropertiesDialog::BrowseFilter()
{
    // File names on Linux keep their letter case, and native file dialogs may match patterns
    // with it: each pattern comes in both cases.
    static const QString filter = QStringLiteral(
        "Supported Picture Files (*.BMP *.GIF *.JPG *.PCX *.PNG *.TIF *.bmp *.gif *.jpg *.pcx "
        "*.png *.tif);;GIF Files (*.GIF *.gif);;JPG Files (*.JPG *.jpg);;PNG Files (*.PNG *.png);;"
        "TIFF Files (*.TIF *.tif);;BMP Files (*.BMP *.bmp);;PCX Files (*.PCX *.pcx);;"
        "All files (*)");
    return filter;
}

LogoPropertiesDialog::LogoPropertiesDialog(const LogoProperties& values, DialogServices services,
                                           QWidget* parent)
    : QDialog(parent), m_support(std::move(services), this), m_nAlignment(values.alignment)
{
    setWindowTitle(QStringLiteral("Logo Properties"));

    m_pPath = new QLineEdit(QString::fromStdString(values.path), this);
    m_pPath->setObjectName(QStringLiteral("path"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    browse->setAutoDefault(false);
    browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);

    m_pAlignment = MakeCodeList(this, "alignment",
                                {"Top/Left", "Top/Center", "Top/Right", "Left/Center", "Center",
                                 "Right/Center", "Bottom/Left", "Bottom/Center", "Bottom/Right"},
                                values.alignment);

    m_pTransparency = new QCheckBox(QStringLiteral("Enable transparency"), this);
    m_pTransparency->setObjectName(QStringLiteral("transparency"));
    m_pTransparency->setChecked(values.transparency);
    m_pTransparency->setEnabled(false);
    m_pColor = new QLabel(this);
    m_pColor->setObjectName(QStringLiteral("transparentColor"));

    m_pSample = new SampleView(this);
    m_pSample->setObjectName(QStringLiteral("sample"));

    auto* pathLabel = new QLabel(QStringLiteral("&Image file:"), this);
    pathLabel->setBuddy(m_pPath);
    auto* alignmentLabel = new QLabel(QStringLiteral("&Alignment:"), this);
    alignmentLabel->setBuddy(m_pAlignment);

    auto* sampleGroup = new QGroupBox(QStringLiteral("Sample"), this);
    auto* sampleLayout = new QHBoxLayout(sampleGroup);
    sampleLayout->addWidget(m_pSample);

    auto* buttons = MakeOkCancelHelpButtons(this, [this] { m_support.ShowHelp(kHelpLogoDialog); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(pathLabel, 0, 0);
    grid->addWidget(m_pPath, 0, 1, 1, 3);
    grid->addWidget(browse, 0, 4);
    grid->addWidget(alignmentLabel, 1, 0);
    grid->addWidget(m_pAlignment, 1, 1);
    grid->addWidget(m_pTransparency, 1, 2);
    grid->addWidget(m_pColor, 1, 3, 1, 2);
    grid->addWidget(sampleGroup, 2, 0, 1, 5);
    grid->addWidget(buttons, 0, 5, 3, 1, Qt::AlignTop);
    grid->setColumnStretch(3, 1);

    connect(browse, &QPushButton::clicked, this, &LogoPropertiesDialog::OnBrowse);
    connect(m_pPath, &QLineEdit::editingFinished, this, &LogoPropertiesDialog::OnPathEdited);
    m_pPath->installEventFilter(this);
    connect(m_pAlignment, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0)
            return;
        m_nAlignment = index;
        RedrawSample();
    });
    connect(m_pTransparency, &QCheckBox::toggled, this, [this] { RedrawSample(); });

    // Opening: the sample frame and its size, then the stored logo.
    const std::string grabbed = m_support.GrabSample();
    if (!grabbed.empty())
        m_frame = ImgLibReadRGBFromBMP(grabbed, m_nFrameWidth, m_nFrameHeight);
    if (m_frame.empty())
        m_nFrameWidth = m_nFrameHeight = 0;
    if (SampleSizeNotice::Needed(static_cast<int>(m_nFrameWidth), static_cast<int>(m_nFrameHeight)))
        m_support.ShowSizeNotice();
    m_strShownPath = m_pPath->text();
    if (!values.path.empty())
        LoadLogo(m_pPath->text());
    ShowTransparency();
    RedrawSample();
}

LogoPropertiesDialog::~LogoPropertiesDialog() = default;

LogoProperties LogoPropertiesDialog::Values() const
{
    return {m_pPath->text().toStdString(), m_nAlignment, m_pTransparency->isChecked()};
}

QImage LogoPropertiesDialog::SampleImage() const
{
    return m_pSample->image();
}

bool LogoPropertiesDialog::LoadLogo(const QString& path)
{
    unsigned width = 0, height = 0;
    ColorRef transparent = kNoColor;
    bool isGif = false;
    // The pipeline's bound for the frame: a logo it would refuse is refused here too.
    RgbImage logo = ReadLogoFile(
        path.toStdString(), width, height, transparent, isGif,
        LogoPixelLimit(static_cast<int>(m_nFrameWidth), static_cast<int>(m_nFrameHeight)));
    // A refused file leaves the path of the logo shown, so the value and the sample agree.
    auto refuse = [this](const std::string& text) {
        m_pPath->setText(m_strShownPath);
        m_pPath->setModified(false);
        m_support.Message(text);
        return false;
    };
    if (logo.empty())
        return refuse(ImageLibraryErrorText(ImgLibGetLastError()));
    // Without a frame there is nothing to compare with: the logo is placed on the empty sample.
    if (!m_frame.empty() && m_nFrameWidth < width && m_nFrameHeight < height)
        return refuse(kTooLarge);
    m_alpha =
        isGif ? std::vector<std::uint8_t>() : ReadLogoAlpha(path.toStdString(), width, height);
    m_logo = std::move(logo);
    m_nLogoWidth = width;
    m_nLogoHeight = height;
    m_transparent = transparent;
    m_pPath->setText(path);
    m_pPath->setModified(false);
    m_strShownPath = path;
    ShowTransparency();
    RedrawSample();
    return true;
}

bool LogoPropertiesDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pPath && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnPathEdited();
            return true; // the typed file is loaded; OK is not pressed
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LogoPropertiesDialog::OnBrowse()
{
    FileDialogRequest request;
    request.title = QString::fromLatin1(kBrowseTitle);
    request.filter = BrowseFilter();
    request.start = m_pPath->text();
    const QString name = m_support.ChooseOpenFile(request);
    if (!name.isEmpty())
        LoadLogo(name);
}

void LogoPropertiesDialog::OnPathEdited()
{
    if (!m_pPath->isModified())
        return;
    m_pPath->setModified(false);
    const QString path = m_pPath->text();
    if (!path.isEmpty()) {
        LoadLogo(path);
        return;
    }
    // An emptied path means no logo.
    m_strShownPath.clear();
    m_logo = RgbImage();
    m_alpha.clear();
    m_nLogoWidth = m_nLogoHeight = 0;
    m_transparent = kNoColor;
    ShowTransparency();
    RedrawSample();
}

void LogoPropertiesDialog::ShowTransparency()
{
    const bool has = !m_logo.empty() && m_transparent != kNoColor;
    m_pTransparency->setEnabled(has);
    if (!has) {
        // A logo without a key colour has no transparency to enable: the box says so.
        m_pTransparency->setChecked(false);
        m_pColor->clear();
        return;
    }
    const auto c = static_cast<std::uint32_t>(m_transparent);
    m_pColor->setText(QString::asprintf("(%03d,%03d,%03d)", static_cast<int>(c & 0xFF),
                                        static_cast<int>((c >> 8) & 0xFF),
                                        static_cast<int>((c >> 16) & 0xFF)));
}

void LogoPropertiesDialog::RedrawSample()
{
    if (m_bFailed)
        return;
    QImage image(SampleView::kWidth, SampleView::kHeight, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    // Drawn as the pipeline draws the logo on the picture.
    const PixelView view{image.bits(), image.width(), image.height(), image.bytesPerLine(),
                         PixelOrder::Xrgb32};
    bool drawn = true;
    if (!m_frame.empty())
        drawn = DrawRgb(view, m_frame, m_nFrameWidth, m_nFrameHeight, 0, 0);
    if (drawn && !m_logo.empty()) {
        const int frameWidth =
            m_frame.empty() ? SampleView::kWidth : static_cast<int>(m_nFrameWidth);
        const int frameHeight =
            m_frame.empty() ? SampleView::kHeight : static_cast<int>(m_nFrameHeight);
        const OverlayPoint at =
            OverlayPosition(m_nAlignment, static_cast<int>(m_nLogoWidth),
                            static_cast<int>(m_nLogoHeight), frameWidth, frameHeight);
        if (m_transparent != kNoColor && m_pTransparency->isChecked())
            drawn =
                DrawRgbKeyed(view, m_logo, m_nLogoWidth, m_nLogoHeight, at.x, at.y, m_transparent);
        else if (!m_alpha.empty())
            drawn =
                DrawRgbWithAlpha(view, m_logo, m_alpha, m_nLogoWidth, m_nLogoHeight, at.x, at.y);
        else
            drawn = DrawRgb(view, m_logo, m_nLogoWidth, m_nLogoHeight, at.x, at.y);
    }
    m_pSample->setImage(image);
    if (!drawn) {
        // The dialog ends as if cancelled, once it is running.
        m_bFailed = true;
        m_support.Message(kDrawFailed);
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

} // namespace vistrel
