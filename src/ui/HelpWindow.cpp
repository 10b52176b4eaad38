#include "ui/HelpWindow.h"

#include "ui/WindowUtils.h"

#include <QFile>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

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
        m_pBack = new QPushButton(QStringLiteral("&Back"), this);
        m_pBack->setEnabled(false);
        m_pBack->setToolTip(QStringLiteral("The topic shown before (Alt+Left)"));
        connect(m_pBack, &QPushButton::clicked, this, [this] { Back(); });
        m_pBrowser = new QTextBrowser(this);
        m_pBrowser->setOpenLinks(false);
        auto* buttons = new QHBoxLayout;
        buttons->setContentsMargins(6, 6, 6, 0);
        buttons->addWidget(m_pBack);
        buttons->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addLayout(buttons);
        layout->addWidget(m_pBrowser);
        connect(m_pBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
            if (url.scheme() == QLatin1String("topic"))
                ShowTopic(url.path().toInt());
        });
        new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });
        new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), this, [this] { Back(); });
        new QShortcut(QKeySequence(Qt::Key_Backspace), this, [this] { Back(); });
        // F1 here shows the main window's topic, which lists every other.
        new QShortcut(QKeySequence(Qt::Key_F1), this, [this] { ShowTopic(kHelpMainWindow); });
    }

    // Shows context's topic; the one shown before can be gone back to.
    void ShowTopic(int context)
    {
        if (m_nTopic != 0 && context != m_nTopic)
            m_history.push_back(m_nTopic);
        Show(context);
    }
    void Back()
    {
        if (m_history.empty())
            return;
        const int previous = m_history.back();
        m_history.pop_back();
        Show(previous);
    }
    int Topic() const { return m_nTopic; }

  private:
    void Show(int context)
    {
        m_nTopic = context;
        m_pBrowser->setHtml(TopicText(context));
        m_pBack->setEnabled(!m_history.empty());
    }

    QPushButton* m_pBack = nullptr;
    QTextBrowser* m_pBrowser = nullptr;
    std::vector<int> m_history;
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

void HelpBack()
{
    if (CHelpWindow* window = Window().data())
        window->Back();
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
