#include "ui/HelpWindow.h"

#include "ui/WindowUtils.h"

#include <QFile>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

namespace vistrel {

namespace {

QString TopicText(int context)
{
    InitUiResources();
    QFile file(QStringLiteral(":/help/%1.html").arg(context));
    if (file.open(QIODevice::ReadOnly))
        return QString::fromUtf8(file.readAll());
    return QStringLiteral("<h2>Vistrel Help</h2><p>There is no help topic %1.</p>").arg(context);
}

class CHelpWindow : public QWidget {
  public:
    CHelpWindow() : QWidget(nullptr, Qt::Window)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(QStringLiteral("Vistrel Help"));
        resize(560, 480);
        m_pBrowser = new QTextBrowser(this);
        m_pBrowser->setOpenLinks(false);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_pBrowser);
        connect(m_pBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
            if (url.scheme() == QLatin1String("topic"))
                ShowTopic(url.path().toInt());
        });
        new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });
    }

    void ShowTopic(int context)
    {
        m_nTopic = context;
        m_pBrowser->setHtml(TopicText(context));
    }
    int Topic() const { return m_nTopic; }

  private:
    QTextBrowser* m_pBrowser = nullptr;
    int m_nTopic = 0;
};

QPointer<CHelpWindow>& Window()
{
    static QPointer<CHelpWindow> window;
    return window;
}

} // namespace

void ShowHelpTopic(int context, QWidget* parent)
{
    QPointer<CHelpWindow>& window = Window();
    if (!window) {
        window = new CHelpWindow;
        if (parent)
            window->setWindowIcon(parent->window()->windowIcon());
    }
    window->ShowTopic(context);
    window->show();
    window->raise();
    window->activateWindow();
}

void CloseHelpWindow()
{
    if (CHelpWindow* window = Window().data())
        delete window;
}

int CurrentHelpTopic()
{
    const QPointer<CHelpWindow>& window = Window();
    return window ? window->Topic() : 0;
}

void AddHelpShortcut(QWidget* widget, int context)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), widget);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, widget,
                     [widget, context] { ShowHelpTopic(context, widget); });
}

} // namespace vistrel
