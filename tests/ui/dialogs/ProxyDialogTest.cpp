// The proxy dialog: the type list and its -1 and out-of-list indexes, and the integer port.
#include "DialogTestSupport.h"

#include "ui/dialogs/CFtpProxyDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vistrel;
using namespace vistrel::test;

namespace {

template <typename T> T* child(QWidget& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

void press(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(which), Qt::LeftButton);
}

} // namespace

TEST(ProxyDialog, TypesInTheirOrderAndIndexesOutsideTheListKept)
{
    RecordedServices recorded;
    struct Case {
        int type;
        int shown; // the list's selection
    };
    for (const Case c : {Case{0, 0}, Case{3, 3}, Case{-1, -1}, Case{4, -1}, Case{6, -1}}) {
        SCOPED_TRACE(c.type);
        const ProxySettings in{c.type, "proxy.example.org", 2121, "me", "secret"};
        for (const auto button : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
            CFtpProxyDialog dialog(in, recorded.services());
            auto* type = child<QComboBox>(dialog, "type");
            ASSERT_EQ(type->count(), 4);
            EXPECT_EQ(type->itemText(0), "SITE server");
            EXPECT_EQ(type->itemText(1), "OPEN server");
            EXPECT_EQ(type->itemText(2), "USER after logon");
            EXPECT_EQ(type->itemText(3), "USER no logon");
            EXPECT_EQ(type->currentIndex(), c.shown);
            EXPECT_EQ(child<QLineEdit>(dialog, "password")->echoMode(), QLineEdit::Password);
            press(dialog, button);
            EXPECT_EQ(dialog.result(),
                      button == QDialogButtonBox::Ok ? QDialog::Accepted : QDialog::Rejected);
            EXPECT_EQ(dialog.Values(), in);
        }
    }

    // Choosing a type replaces the stored one, and the edits reach the values.
    CFtpProxyDialog dialog(ProxySettings{5, "", 21, "", ""}, recorded.services());
    child<QComboBox>(dialog, "type")->setCurrentIndex(1);
    child<QLineEdit>(dialog, "server")->setText("gate");
    child<QLineEdit>(dialog, "port")->setText(" -1 ");
    child<QLineEdit>(dialog, "user")->setText("u");
    child<QLineEdit>(dialog, "password")->setText("p w");
    press(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.Values(), (ProxySettings{1, "gate", -1, "u", "p w"}));
    EXPECT_TRUE(recorded.prompter.texts().empty());
}

TEST(ProxyDialog, APortThatIsNotAnIntegerKeepsTheDialogOpen)
{
    for (const char* text : {"", "abc", "21x", "2 1", "1.5", "99999999999", "+"}) {
        SCOPED_TRACE(text);
        RecordedServices recorded;
        const ProxySettings in{2, "gate", 21, "u", "p"};
        CFtpProxyDialog dialog(in, recorded.services());
        dialog.show();
        auto* port = child<QLineEdit>(dialog, "port");
        port->setText(QString::fromLatin1(text));
        child<QLineEdit>(dialog, "server")->setText("changed");
        press(dialog, QDialogButtonBox::Ok);
        EXPECT_EQ(recorded.prompter.texts(), std::vector<std::string>{"Please enter an integer."});
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Values(), in);
        // Mended, OK takes everything.
        port->setText("+8021");
        press(dialog, QDialogButtonBox::Ok);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.Values(), (ProxySettings{2, "changed", 8021, "u", "p"}));
    }
}
