#include "ui/dialogs/StampFontDialog.h"

#include "imaging/StampRenderer.h"
#include "imaging/codec/ImgLib.h"
#include "imaging/codec/ImgLibQt.h"
#include "ui/dialogs/DialogWidgets.h"
#include "ui/dialogs/SampleSizeNotice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>

namespace vistrel {

namespace {

constexpr int kMaxFaceName = 31;
// Sizes the size list offers, in points.
constexpr int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};
// The largest size the size edit takes: 960 pixels, within what a stamp font can be drawn at.
constexpr int kMaxPoints = 720;
const char* const kStyles[] = {"Regular", "Italic", "Bold", "Bold Italic"};

int styleIndex(const FontRecord& font)
{
    return (font.weight >= 600 ? 2 : 0) + (font.italic ? 1 : 0);
}

QIcon swatch(std::uint32_t colorref)
{
    QPixmap pixmap(24, 12);
    pixmap.fill(ColorFromColorRef(colorref));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 23, 11);
    return QIcon(pixmap);
}

} // namespace

const StampFontDialog::NamedColor StampFontDialog::kStandardColors[16] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

int StampFontDialog::PointsForHeight(int height)
{
    if (height == 0)
        return 12; // the default size of a stamp font, 16 pixels
    const long long pixels = height < 0 ? -static_cast<long long>(height) : height;
    return static_cast<int>((pixels * 72 + 48) / 96);
}

int StampFontDialog::HeightForPoints(int points)
{
    return -((points * 96 + 36) / 72);
}

StampFontDialog::StampFontDialog(const QString& title, int helpContext, const CommonValues& values,
                                 DialogServices services, QWidget* parent)
    : QDialog(parent), m_support(std::move(services), this), m_values(values)
{
    setWindowTitle(title);

    m_pFace = new EditList(this);
    m_pFace->setObjectName(QStringLiteral("font"));
    m_pFace->edit()->setMaxLength(kMaxFaceName);
    QStringList families;
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isPrivateFamily(family))
            families << family;
    }
    m_pFace->setItems(families);
    m_pFace->setText(QString::fromStdString(values.font.face).left(kMaxFaceName));

    m_pStyle = new EditList(this);
    m_pStyle->setObjectName(QStringLiteral("style"));
    m_pStyle->setEditReadOnly(true);
    QStringList styles;
    for (const char* style : kStyles)
        styles << QString::fromLatin1(style);
    m_pStyle->setItems(styles);
    m_pStyle->setText(styles[styleIndex(values.font)]);

    m_pSize = new EditList(this);
    m_pSize->setObjectName(QStringLiteral("size"));
    m_pSize->edit()->setValidator(new QIntValidator(1, kMaxPoints, m_pSize));
    QStringList sizes;
    for (int size : kSizes)
        sizes << QString::number(size);
    m_pSize->setItems(sizes);
    m_pSize->setText(QString::number(PointsForHeight(values.font.height)));

    m_pColor = new QComboBox(this);
    m_pColor->setObjectName(QStringLiteral("color"));
    for (const NamedColor& c : kStandardColors)
        m_pColor->addItem(swatch(c.colorref), QString::fromLatin1(c.name), c.colorref);
    int colorIndex = m_pColor->findData(values.color);
    if (colorIndex < 0) {
        // A stored colour outside the sixteen stays available, so it survives the dialog.
        m_pColor->addItem(swatch(values.color), QStringLiteral("Custom"), values.color);
        colorIndex = m_pColor->count() - 1;
    }
    m_pColor->setCurrentIndex(colorIndex);

    m_pAlignment = MakeCodeList(
        this, "alignment",
        {"Top/Left", "Top/Center", "Top/Right", "Bottom/Left", "Bottom/Center", "Bottom/Right"},
        values.alignment);

    m_pShadow = new QCheckBox(QStringLiteral("Shado&w"), this);
    m_pShadow->setObjectName(QStringLiteral("shadow"));
    m_pShadow->setChecked(values.shadow);

    m_pSample = new SampleView(this);
    m_pSample->setObjectName(QStringLiteral("sample"));

    auto* fontLabel = new QLabel(QStringLiteral("&Font:"), this);
    fontLabel->setBuddy(m_pFace->edit());
    auto* styleLabel = new QLabel(QStringLiteral("Font st&yle:"), this);
    styleLabel->setBuddy(m_pStyle->list());
    auto* sizeLabel = new QLabel(QStringLiteral("&Size:"), this);
    sizeLabel->setBuddy(m_pSize->edit());

    auto* effects = new QGroupBox(QStringLiteral("Effects"), this);
    auto* colorLabel = new QLabel(QStringLiteral("&Color:"), effects);
    colorLabel->setBuddy(m_pColor);
    auto* alignmentLabel = new QLabel(QStringLiteral("&Alignment:"), effects);
    alignmentLabel->setBuddy(m_pAlignment);
    auto* effectsLayout = new QHBoxLayout(effects);
    effectsLayout->addWidget(colorLabel);
    effectsLayout->addWidget(m_pColor);
    effectsLayout->addSpacing(12);
    effectsLayout->addWidget(alignmentLabel);
    effectsLayout->addWidget(m_pAlignment);
    effectsLayout->addSpacing(12);
    effectsLayout->addWidget(m_pShadow);
    effectsLayout->addStretch(1);

    auto* sampleGroup = new QGroupBox(QStringLiteral("Sample"), this);
    auto* sampleLayout = new QHBoxLayout(sampleGroup);
    sampleLayout->addWidget(m_pSample);

    auto* buttons =
        MakeOkCancelHelpButtons(this, [this, helpContext] { Support().ShowHelp(helpContext); });

    m_pOwnRow = new QGridLayout;
    m_pOwnRow->setColumnStretch(1, 1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(fontLabel, 0, 0);
    grid->addWidget(styleLabel, 0, 1);
    grid->addWidget(sizeLabel, 0, 2);
    grid->addWidget(m_pFace, 1, 0);
    grid->addWidget(m_pStyle, 1, 1);
    grid->addWidget(m_pSize, 1, 2);
    grid->addWidget(effects, 2, 0, 1, 3);
    grid->addLayout(m_pOwnRow, 3, 0, 1, 3);
    grid->addWidget(sampleGroup, 4, 0, 1, 3, Qt::AlignLeft);
    grid->addWidget(buttons, 0, 3, 5, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 1);
    m_pFace->setMinimumWidth(200);
    m_pStyle->setFixedWidth(120);
    m_pSize->setFixedWidth(64);
    for (EditList* list : {m_pFace, m_pStyle, m_pSize})
        list->list()->setFixedHeight(110);
    sampleGroup->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(m_pFace, &EditList::changed, this, &StampFontDialog::OnFaceChanged);
    connect(m_pStyle, &EditList::changed, this, &StampFontDialog::OnStyleChanged);
    connect(m_pSize, &EditList::changed, this, &StampFontDialog::OnSizeChanged);
    connect(m_pColor, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0)
            return;
        m_values.color = m_pColor->itemData(index).toUInt();
        RedrawSample();
    });
    connect(m_pAlignment, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0)
            return;
        m_values.alignment = index;
        RedrawSample();
    });
    connect(m_pShadow, &QCheckBox::toggled, this, [this](bool on) {
        m_values.shadow = on;
        RedrawSample();
    });
}

void StampFontDialog::AddOwnRow(const QString& label, QWidget* control)
{
    auto* text = new QLabel(label, this);
    text->setBuddy(control);
    m_pOwnRow->addWidget(text, 0, 0);
    m_pOwnRow->addWidget(control, 0, 1);
}

void StampFontDialog::Open()
{
    const std::string path = Support().GrabSample();
    unsigned width = 0, height = 0;
    if (path.empty() || !ImgLibGetBMPSize(path, width, height))
        width = height = 0;
    m_frameSize = QSize(static_cast<int>(width), static_cast<int>(height));
    if (width > 0 && height > 0)
        m_frame = ImgLibReadHBITMAPFromBMP(path);
    if (SampleSizeNotice::Needed(m_frameSize.width(), m_frameSize.height()))
        Support().ShowSizeNotice();
    RedrawSample();
}

QImage StampFontDialog::SampleImage() const
{
    return m_pSample->image();
}

void StampFontDialog::RedrawSample()
{
    QImage image(SampleView::kWidth, SampleView::kHeight, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    if (!m_frame.isNull()) {
        QPainter painter(&image);
        painter.drawImage(0, 0, m_frame);
    }
    // The text as the pipeline draws it on the picture.
    const PixelView view{image.bits(), image.width(), image.height(), image.bytesPerLine(),
                         PixelOrder::Xrgb32};
    DrawStamp(view, m_values.font, SampleText(), m_values.alignment, m_values.shadow,
              m_values.color, SampleLines());
    m_pSample->setImage(image);
}

StampFontDialog::CommonValues StampFontDialog::Common() const
{
    return m_values;
}

void StampFontDialog::OnFaceChanged()
{
    m_values.font.face = m_pFace->text().left(kMaxFaceName).toStdString();
    m_values.font.width = 0; // a newly chosen font takes its natural width
    RedrawSample();
}

void StampFontDialog::OnStyleChanged()
{
    const int index = m_pStyle->list()->currentRow();
    if (index < 0)
        return;
    m_values.font.weight = index >= 2 ? 700 : 400;
    m_values.font.italic = index % 2 == 1;
    m_values.font.width = 0;
    RedrawSample();
}

void StampFontDialog::OnSizeChanged()
{
    bool ok = false;
    const int points = m_pSize->text().toInt(&ok);
    if (!ok || points < 1 || points > kMaxPoints)
        return; // keep the last size until the edit holds a size again
    m_values.font.height = HeightForPoints(points);
    m_values.font.width = 0;
    RedrawSample();
}

} // namespace vistrel
