#include "updater/UpdaterAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>

namespace vistrel {

namespace {

QLabel* TextLine(const std::string& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

CUpdaterAboutDlg::CUpdaterAboutDlg(const AboutTexts& texts, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromStdString(texts.strTitle));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(TextLine(texts.strProduct, "product", this), 0, 1);
    layout->addWidget(TextLine(texts.strVersion, "version", this), 1, 1);
    layout->addWidget(TextLine(texts.strCopyright, "copyright", this), 2, 1);
    layout->addWidget(buttons, 0, 2, 3, 1, Qt::AlignTop);
}

} // namespace vistrel
