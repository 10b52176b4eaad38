#include "ui/dialogs/DialogWidgets.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace vistrel {

EditList::EditList(QWidget* parent) : QWidget(parent)
{
    m_pEdit = new QLineEdit(this);
    m_pList = new QListWidget(this);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_pEdit);
    layout->addWidget(m_pList);

    connect(m_pList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_bSetting || row < 0)
            return;
        m_bSetting = true;
        m_pEdit->setText(m_pList->item(row)->text());
        m_bSetting = false;
        emit changed();
    });
    connect(m_pEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        selectMatching(text, false);
        emit changed();
    });
}

void EditList::setItems(const QStringList& items)
{
    m_bSetting = true;
    m_pList->clear();
    m_pList->addItems(items);
    m_bSetting = false;
}

void EditList::setText(const QString& text)
{
    m_bSetting = true;
    m_pEdit->setText(text);
    m_bSetting = false;
    selectMatching(text, true);
}

QString EditList::text() const
{
    return m_pEdit->text();
}

void EditList::setEditReadOnly(bool readOnly)
{
    m_pEdit->setReadOnly(readOnly);
}

void EditList::selectMatching(const QString& text, bool exactOnly)
{
    int found = -1;
    for (int i = 0; i < m_pList->count() && found < 0; ++i) {
        const QString item = m_pList->item(i)->text();
        if (item.compare(text, Qt::CaseInsensitive) == 0)
            found = i;
    }
    for (int i = 0; i < m_pList->count() && found < 0 && !exactOnly && !text.isEmpty(); ++i) {
        if (m_pList->item(i)->text().startsWith(text, Qt::CaseInsensitive))
            found = i;
    }
    m_bSetting = true;
    m_pList->setCurrentRow(found);
    if (found < 0)
        m_pList->clearSelection();
    else
        m_pList->scrollToItem(m_pList->item(found));
    m_bSetting = false;
}

SampleView::SampleView(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kWidth, kHeight);
}

void SampleView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void SampleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

QComboBox* MakeCodeList(QWidget* parent, const char* objectName,
                        std::initializer_list<const char*> entries, int code)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(objectName));
    for (const char* entry : entries)
        list->addItem(QString::fromUtf8(entry));
    list->setCurrentIndex(code >= 0 && code < list->count() ? code : -1);
    return list;
}

QDialogButtonBox* MakeOkCancelHelpButtons(QDialog* dialog, std::function<void()> help)
{
    auto* buttons = new QDialogButtonBox(Qt::Vertical, dialog);
    buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QDialogButtonBox::Cancel);
    QPushButton* helpButton = buttons->addButton(QDialogButtonBox::Help);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(helpButton, &QPushButton::clicked, dialog, help);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(f1, &QShortcut::activated, dialog, help);
    return buttons;
}

} // namespace vistrel
