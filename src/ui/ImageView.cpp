#include "ui/ImageView.h"

#include "imaging/codec/ImgLib.h"
#include "imaging/codec/ImgLibQt.h"
#include "platform/Prompter.h"
#include "ui/AboutBox.h"
#include "ui/HelpWindow.h"
#include "ui/WindowUtils.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <cstring>

namespace vistrel {

namespace {

// Draws the viewer's picture at its natural size.
class PictureCanvas : public QWidget {
  public:
    PictureCanvas(const RgbImage& image, int width, int height, QWidget* parent)
        : QWidget(parent), m_image(image), m_nWidth(width), m_nHeight(height)
    {
        setFixedSize(width, height);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ImgLibDrawRGB(painter, m_image, static_cast<unsigned>(m_nWidth),
                      static_cast<unsigned>(m_nHeight), 0, 0, m_nWidth, m_nHeight);
    }

  private:
    const RgbImage& m_image;
    int m_nWidth;
    int m_nHeight;
};

const QStringList& SaveFilters()
{
    static const QStringList filters = {QStringLiteral("JPG File (*.jpg)"),
                                        QStringLiteral("PNG File (*.png)"),
                                        QStringLiteral("BMP File (*.bmp)")};
    return filters;
}

} // namespace

bool ChooseImageSaveFile(QWidget* parent, QString* path, int* type)
{
    QFileDialog dialog(parent, QStringLiteral("Save Image"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(SaveFilters());
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    // A name typed without an extension gets the chosen type's.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f.section(QStringLiteral("*."), 1).section(QLatin1Char(')'), 0, 0));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *path = dialog.selectedFiles().constFirst();
    *type = static_cast<int>(SaveFilters().indexOf(dialog.selectedNameFilter()));
    return true;
}

CImageView::CImageView(QString picturePath, Prompter& prompter, QWidget* mainWindow)
    : QDialog(mainWindow), m_strPath(std::move(picturePath)), m_prompter(prompter),
      m_pMainWindow(mainWindow), m_chooser(ChooseImageSaveFile)
{
    setWindowTitle(QLatin1String(kImageViewTitle));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save as..."), this, &CImageView::OnSaveAs);
    file->addAction(QStringLiteral("&Close"), this, &QDialog::accept);
    layout->setMenuBar(menuBar);
    m_pArea = new QScrollArea(this);
    m_pArea->setFrameShape(QFrame::NoFrame);
    m_pArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_pArea);
    AddHelpShortcut(this, kHelpMainWindow);
    PrepareDialogOfMainWindow(this, mainWindow);
}

CImageView::~CImageView()
{
    // The canvas draws from m_image: it goes first.
    delete m_pArea->takeWidget();
}

bool CImageView::LoadPicture()
{
    m_strLoadError.clear();
    if (m_strPath.isEmpty())
        return true;
    unsigned width = 0, height = 0;
    RgbImage read = ImgLibReadRGBFromJPG(m_strPath.toStdString(), width, height);
    if (!read) {
        m_strLoadError = QString::fromStdString(ImageViewerErrorText(ImgLibGetLastError()));
        return false;
    }
    // The viewer keeps a copy of its own; without memory for it the viewer stays empty.
    m_image = RgbImage::allocate(read.size());
    if (!m_image)
        return true;
    std::memcpy(m_image.data(), read.data(), read.size());
    m_nWidth = static_cast<int>(width);
    m_nHeight = static_cast<int>(height);
    m_pCanvas = new PictureCanvas(m_image, m_nWidth, m_nHeight, nullptr);
    m_pArea->setWidget(m_pCanvas);
    return true;
}

void CImageView::FitToPicture()
{
    QSize client(m_nWidth, m_nHeight);
    if (client.isEmpty())
        client = QSize(200, 150);
    const int menu = layout()->menuBar() ? layout()->menuBar()->sizeHint().height() : 0;
    QSize wanted(client.width(), client.height() + menu);
    // A picture larger than the screen scrolls inside a window that fits the screen (the
    // window's frame and caption taken off, and room for the scroll bars).
    if (const QScreen* screen = (m_pMainWindow ? m_pMainWindow : this)->screen()) {
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize decoration = frame.isEmpty() ? QSize(16, 48) : frame;
        const QSize room = screen->availableGeometry().size() - decoration;
        if (wanted.width() > room.width() || wanted.height() > room.height()) {
            const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
            wanted = QSize(std::min(wanted.width() + bar, room.width()),
                           std::min(wanted.height() + bar, room.height()));
        }
    }
    setFixedSize(wanted);
    CentreOverMainWindow(this, m_pMainWindow);
}

void CImageView::OnSaveAs()
{
    QString path;
    int type = -1;
    if (!m_chooser || !m_chooser(this, &path, &type))
        return;
    SavePicture(path, type);
}

bool CImageView::SavePicture(const QString& path, int type)
{
    const std::string file = path.toStdString();
    const unsigned w = static_cast<unsigned>(m_nWidth), h = static_cast<unsigned>(m_nHeight);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool saved = false, known = true;
    switch (type) {
    case kSaveJpg:
        saved = ImgLibSaveRGBToJPG(file, m_image, w, h, 75, 1, 0);
        break;
    case kSavePng:
        saved = ImgLibSaveRGBToPNG(file, m_image, w, h, 0, 0);
        break;
    case kSaveBmp:
        saved = ImgLibSaveRGBToBMP(file, m_image, w, h);
        break;
    default:
        known = false;
        break;
    }
    const int error = ImgLibGetLastError();
    QApplication::restoreOverrideCursor();
    if (!known) {
        m_prompter.message("Invalid Filename");
        return false;
    }
    if (!saved)
        m_prompter.message(ImageViewerErrorText(error));
    return saved;
}

} // namespace vistrel
