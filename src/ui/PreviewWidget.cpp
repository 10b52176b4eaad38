#include "ui/PreviewWidget.h"

#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace vistrel {

PreviewGeometry PlacePreviewGeometry(int imageWidth, int imageHeight)
{
    constexpr int kPreviewWidth = 320;
    constexpr int kPreviewHeight = 240;
    if (imageWidth > kPreviewWidth || imageHeight > kPreviewHeight)
        return {0, 0, kPreviewWidth, kPreviewHeight};
    return {kPreviewWidth / 2 - imageWidth / 2, kPreviewHeight / 2 - imageHeight / 2, imageWidth,
            imageHeight};
}

PreviewGeometry PreviewWindowRect(int frameLeft, int frameTop, const PreviewGeometry& geometry)
{
    return {frameLeft + 2 + geometry.x, frameTop + 2 + geometry.y, geometry.width, geometry.height};
}

// The newest frame, handed from the device's preview thread to the window's thread. One queued
// call at a time: frames that come faster than the window draws replace each other.
struct CPreviewWidget::Mailbox {
    std::mutex mutex;
    RgbFrame frame;
    bool pending = false;
};

CPreviewWidget::CPreviewWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_watchdog.setInterval(500);
    connect(&m_watchdog, &QTimer::timeout, this, &CPreviewWidget::CheckSilence);
}

CPreviewWidget::~CPreviewWidget()
{
    // Once this returns the device calls no listener of ours again.
    if (m_device)
        m_device->setPreviewListener({});
}

void CPreviewWidget::Attach(std::shared_ptr<CaptureDevice> device)
{
    if (m_device)
        m_device->setPreviewListener({});
    m_device = std::move(device);
    m_mailbox = std::make_shared<Mailbox>();
    m_picture = QImage();
    m_bLost = false;
    m_sinceFrame.start();
    update();
    if (!m_device) {
        m_watchdog.stop();
        return;
    }
    std::shared_ptr<Mailbox> mailbox = m_mailbox;
    m_device->setPreviewListener([this, mailbox](const RgbFrame& frame) {
        {
            std::lock_guard lock(mailbox->mutex);
            mailbox->frame = frame;
            if (mailbox->pending)
                return;
            mailbox->pending = true;
        }
        // The widget outlives every call of this listener (its destructor takes the listener
        // back first), and a queued call to a widget that is gone is dropped.
        QMetaObject::invokeMethod(
            this, [this, mailbox] { TakeFrame(mailbox); }, Qt::QueuedConnection);
    });
    m_watchdog.start();
}

void CPreviewWidget::TakeFrame(const std::shared_ptr<Mailbox>& mailbox)
{
    if (mailbox != m_mailbox)
        return; // from a device that was replaced since
    RgbFrame frame;
    {
        std::lock_guard lock(mailbox->mutex);
        frame = std::move(mailbox->frame);
        mailbox->pending = false;
    }
    if (frame.empty())
        return;
    m_picture =
        QImage(frame.rgb.data(), frame.width, frame.height, frame.width * 3, QImage::Format_RGB888)
            .copy();
    ++m_nFramesShown;
    m_sinceFrame.start();
    if (m_bLost) {
        m_bLost = false;
        emit pictureBack();
    }
    update();
}

void CPreviewWidget::CheckSilence()
{
    if (!m_device || m_bLost)
        return;
    if (!m_device->isPreviewing()) {
        m_sinceFrame.start(); // no frames are expected
        return;
    }
    const int limit = std::max(kMinSilenceMs, 3 * m_device->previewPeriod());
    if (m_sinceFrame.elapsed() < limit)
        return;
    m_bLost = true;
    m_picture = QImage();
    update();
    emit pictureLost(QString::fromStdString(m_device->lastError()));
}

void CPreviewWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_picture.isNull())
        painter.drawImage(0, 0, m_picture);
}

} // namespace vistrel
