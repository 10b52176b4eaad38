#include "dialup/CDialUpManager.h"
#include "fake/FakeRasScript.h"

#include "RecordingPrompter.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using vistrel::CDialUpManager;
using vistrel::PromptIcon;
using vistrel::test::FakeRas;
using vistrel::test::RecordingPrompter;

namespace {

const char kMissing[] = "/nonexistent/librasapi32.so";
const char kIncomplete[] = "Incomplete Dial-Up information!\nPlease check your setup.";

class DialUp : public ::testing::Test {
  protected:
    FakeRas fake;
    RecordingPrompter prompter;
    CDialUpManager manager{prompter, FAKE_RAS_FULL, kMissing};

    void SetUp() override
    {
        ASSERT_TRUE(manager.IsRasAvailable());
        fake("entry|Office|555-0100|alice|s3cret");
        fake("entry|Home ISP|555-0199|bob|hunter2");
        fake("entry|Backup|555-0142|carol|pw");
        fake("text|623|The phone-book entry was not found.");
        fake("text|691|Access denied because the user name or password is invalid.");
    }
};

} // namespace

TEST(DialUpWithoutRas, EveryOperationDoesNothing)
{
    const char* saved = std::getenv(CDialUpManager::kRasLibraryVariable);
    const std::string restore = saved ? saved : "";
    setenv(CDialUpManager::kRasLibraryVariable, kMissing, 1);
    RecordingPrompter prompter;
    CDialUpManager manager(prompter);
    if (saved)
        setenv(CDialUpManager::kRasLibraryVariable, restore.c_str(), 1);
    else
        unsetenv(CDialUpManager::kRasLibraryVariable);

    EXPECT_FALSE(manager.IsRasAvailable());
    EXPECT_FALSE(manager.FindConnected());
    EXPECT_FALSE(manager.Dial("Office", "alice", "pw", "")); // no "Incomplete" text either
    EXPECT_EQ(manager.GetErrorText(), "");
    EXPECT_FALSE(manager.HangUp(false));
    EXPECT_EQ(manager.GetEntryCount(), 0);
    EXPECT_EQ(manager.GetEntryName(0), "");
    std::string user = "u", password = "p", phone = "n";
    EXPECT_FALSE(manager.GetEntryDialInfo("Office", user, password, phone));
    EXPECT_EQ(user + password + phone, "");
    EXPECT_FALSE(manager.GetEntryPhoneNumber("Office", phone));
    EXPECT_TRUE(prompter.shown().empty());
}

TEST(DialUpBinding, EnvironmentNamesTheProvider)
{
    FakeRas fake;
    fake("entry|Office|555-0100|alice|s3cret");
    setenv(CDialUpManager::kRasLibraryVariable, FAKE_RAS_FULL, 1);
    RecordingPrompter prompter;
    CDialUpManager manager(prompter);
    unsetenv(CDialUpManager::kRasLibraryVariable);
    ASSERT_TRUE(manager.IsRasAvailable());
    EXPECT_EQ(manager.GetEntryName(0), "Office");
}

TEST(DialUpBinding, EntryPropertiesFromTheSecondSource)
{
    FakeRas fake(FAKE_RAS_SEVEN);
    fake("entry|Office|555-0100|alice|s3cret");
    RecordingPrompter prompter;

    CDialUpManager manager(prompter, FAKE_RAS_SEVEN, FAKE_RAS_SECOND);
    ASSERT_TRUE(manager.IsRasAvailable());
    std::string user, password, phone;
    EXPECT_TRUE(manager.GetEntryDialInfo("Office", user, password, phone));
    EXPECT_EQ(phone, "555-0100");
    EXPECT_EQ(fake.calls("RasGetEntryPropertiesA"), 2); // sizing call, then the real one
    EXPECT_EQ(user, "alice");                           // the rest still from the first library
    EXPECT_TRUE(prompter.shown().empty());

    // Without a second source, or with one that lacks the function, there is no RAS.
    EXPECT_FALSE(CDialUpManager(prompter, FAKE_RAS_SEVEN, kMissing).IsRasAvailable());
    EXPECT_FALSE(CDialUpManager(prompter, FAKE_RAS_SEVEN, FAKE_RAS_SEVEN).IsRasAvailable());
    // The first library must not be skipped when it is the second that could be loaded.
    EXPECT_FALSE(CDialUpManager(prompter, kMissing, FAKE_RAS_FULL).IsRasAvailable());
    EXPECT_FALSE(CDialUpManager(prompter, "", FAKE_RAS_FULL).IsRasAvailable());
}

TEST_F(DialUp, EntriesAreListedCompletelyAfterOneGrowth)
{
    EXPECT_EQ(manager.GetEntryCount(), 3);
    EXPECT_EQ(fake.calls("RasEnumEntriesA"), 2);
    EXPECT_EQ(manager.GetEntryName(0), "Office");
    EXPECT_EQ(manager.GetEntryName(1), "Home ISP");
    EXPECT_EQ(manager.GetEntryName(2), "Backup");
    EXPECT_EQ(manager.GetEntryName(3), ""); // index == count
    EXPECT_EQ(manager.GetEntryName(-1), "");
    EXPECT_EQ(manager.GetErrorText(), "");

    fake("reset");
    fake("entry|Only|1|u|p");
    EXPECT_EQ(manager.GetEntryCount(), 1);
    EXPECT_EQ(fake.calls("RasEnumEntriesA"), 1); // fits the first one-record buffer
    fake("reset");
    EXPECT_EQ(manager.GetEntryCount(), 0);
}

TEST_F(DialUp, FailedEnumerationCountsZero)
{
    fake("text|600|Phone book is locked.");
    fake("fail|RasEnumEntriesA|600");
    EXPECT_EQ(manager.GetEntryCount(), 0);
    EXPECT_EQ(manager.GetErrorText(), "Phone book is locked.");
    EXPECT_EQ(manager.GetEntryName(0), "");

    // A failure after the growth leaves no text; the next call empties the old one.
    fake("fail|RasEnumEntriesA|600|1");
    EXPECT_EQ(manager.GetEntryCount(), 0);
    EXPECT_EQ(manager.GetErrorText(), "");

    fake("fail|RasEnumEntriesA|0");
    EXPECT_EQ(manager.GetEntryCount(), 3);
}

TEST_F(DialUp, ConnectionUpBeforehandIsSomebodyElses)
{
    EXPECT_FALSE(manager.FindConnected());
    fake("connection|Other|5"); // still dialling: not connected
    fake("connection|Other2|5");
    EXPECT_FALSE(manager.FindConnected());
    fake("connection|Office|0x2000");
    EXPECT_TRUE(manager.FindConnected());
    EXPECT_EQ(fake.calls("RasEnumConnectionsA"), 5); // 1 for no lines, then 2 each (one growth)

    EXPECT_FALSE(manager.HangUp(true));
    EXPECT_EQ(fake.calls("RasHangUpA"), 0);
    EXPECT_EQ(fake("lines"), 3);
}

TEST_F(DialUp, FindConnectedReportsFailedQueriesAndGoesOn)
{
    fake("text|668|The connection was dropped.");
    fake("connection|Office|0x2000|668");
    EXPECT_FALSE(manager.FindConnected());
    EXPECT_EQ(manager.GetErrorText(), "The connection was dropped.");
    fake("connection|Backup|0x2000");
    EXPECT_TRUE(manager.FindConnected());
    EXPECT_EQ(manager.GetErrorText(), "The connection was dropped.");

    // Enumeration failures: the first call's code has a text, a failure after growth has none,
    // and a code the provider has no text for reads "Undefined RAS Dial Error.".
    fake("fail|RasEnumConnectionsA|668");
    EXPECT_FALSE(manager.FindConnected());
    EXPECT_EQ(manager.GetErrorText(), "The connection was dropped.");
    fake("fail|RasEnumConnectionsA|668|1");
    EXPECT_FALSE(manager.FindConnected());
    EXPECT_EQ(manager.GetErrorText(), "");
    fake("fail|RasEnumConnectionsA|4711");
    EXPECT_FALSE(manager.FindConnected());
    EXPECT_EQ(manager.GetErrorText(), "Undefined RAS Dial Error.");
}

TEST_F(DialUp, IncompleteInformationIsRefusedBeforeThePhoneBook)
{
    EXPECT_FALSE(manager.Dial("Office", "alice", "s3cret", "")); // the entry has a number
    EXPECT_EQ(manager.GetErrorText(), kIncomplete);
    EXPECT_FALSE(manager.Dial("Office", "", "s3cret", "555"));
    EXPECT_FALSE(manager.Dial("Office", "alice", "", "555"));
    EXPECT_EQ(manager.GetErrorText(), kIncomplete);
    EXPECT_EQ(fake.calls("RasGetEntryDialParamsA"), 0);
    EXPECT_EQ(fake.calls("RasDialA"), 0);
}

TEST_F(DialUp, UnknownEntryFailsWithTheProvidersText)
{
    EXPECT_FALSE(manager.Dial("Nowhere", "alice", "pw", "555"));
    EXPECT_EQ(manager.GetErrorText(), "The phone-book entry was not found.");
    fake("empty-name|1");
    EXPECT_FALSE(manager.Dial("Nowhere", "alice", "pw", "555"));
    EXPECT_EQ(manager.GetErrorText(), "Invalid Dial-Up Entry");
    EXPECT_EQ(fake.calls("RasDialA"), 0);
}

TEST_F(DialUp, DialledLineIsOursUntilHungUp)
{
    ASSERT_TRUE(manager.Dial("Home ISP", "settings-user", "settings-pw", "0800-123"));
    EXPECT_EQ(fake.lastDial("entry"), "Home ISP");
    EXPECT_EQ(fake.lastDial("phone"), "0800-123"); // the given number, not the phone book's
    EXPECT_EQ(fake.lastDial("user"), "settings-user");
    EXPECT_EQ(fake.lastDial("password"), "settings-pw");

    fake("hangup-polls|3");
    EXPECT_TRUE(manager.HangUp(true));
    EXPECT_EQ(fake.calls("RasHangUpA"), 1);
    EXPECT_EQ(fake("lines"), 0); // polled until the handle was gone
    EXPECT_FALSE(manager.HangUp(true));

    // FindConnected on our own line clears the flag, but HangUp(false) still ends it.
    ASSERT_TRUE(manager.Dial("Home ISP", "u", "p", "1"));
    EXPECT_TRUE(manager.FindConnected());
    EXPECT_FALSE(manager.HangUp(true));
    EXPECT_EQ(fake("lines"), 1);
    EXPECT_TRUE(manager.HangUp(false));
    EXPECT_EQ(fake("lines"), 0);
}

TEST_F(DialUp, FailedDialIsHungUpAndPolledUntilGone)
{
    fake("dial|691");
    fake("hangup-polls|5");
    EXPECT_FALSE(manager.Dial("Office", "alice", "wrong", "555"));
    EXPECT_EQ(manager.GetErrorText(),
              "Access denied because the user name or password is invalid.");
    EXPECT_EQ(fake.calls("RasHangUpA"), 1);
    EXPECT_EQ(fake.calls("RasGetConnectStatusA"), 6); // five answers, then the handle is gone
    EXPECT_EQ(fake("lines"), 0);

    // A line that ends in another state is not ours and adds no text; a failed status query
    // after dialling reports its text.
    fake("dial|0|0x2001");
    EXPECT_FALSE(manager.Dial("Office", "alice", "pw", "555"));
    EXPECT_EQ(manager.GetErrorText(),
              "Access denied because the user name or password is invalid.");
    EXPECT_FALSE(manager.HangUp(true));
    fake("dial|0");
    fake("fail|RasGetConnectStatusA|623");
    EXPECT_FALSE(manager.Dial("Office", "alice", "pw", "555"));
    EXPECT_EQ(manager.GetErrorText(), "The phone-book entry was not found.");
}

TEST_F(DialUp, HangUpWaitIsBoundedWhenTheHandleNeverGoes)
{
    using namespace std::chrono;
    manager.SetHangUpWait(milliseconds(300));
    ASSERT_TRUE(manager.Dial("Office", "alice", "pw", "555"));
    fake("hangup-polls|-1");
    const auto t0 = steady_clock::now();
    EXPECT_TRUE(manager.HangUp(false));
    const auto took = steady_clock::now() - t0;
    EXPECT_GE(took, milliseconds(290));
    EXPECT_LT(took, seconds(3));
    // It waited without spinning: a few dozen polls, not hundreds of thousands.
    EXPECT_LT(fake.calls("RasGetConnectStatusA"), 200);

    fake("dial|691");
    const auto t1 = steady_clock::now();
    EXPECT_FALSE(manager.Dial("Office", "alice", "pw", "555"));
    EXPECT_LT(steady_clock::now() - t1, seconds(3));
}

TEST_F(DialUp, EntryDialInfoComesFromThePhoneBook)
{
    std::string user = "x", password = "x", phone = "x";
    EXPECT_TRUE(manager.GetEntryDialInfo("", user, password, phone));
    EXPECT_EQ(user + password + phone, "");
    EXPECT_EQ(fake.calls("RasGetEntryDialParamsA"), 0);

    fake("entry-size|500|64"); // a provider with larger records and device information
    EXPECT_TRUE(manager.GetEntryDialInfo("Home ISP", user, password, phone));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(password, "hunter2");
    EXPECT_EQ(phone, "555-0199");
    EXPECT_TRUE(prompter.shown().empty());
}

TEST_F(DialUp, EntryDialInfoFailuresAreShownWithTheStopIcon)
{
    std::string user = "x", password = "x", phone = "x";
    EXPECT_FALSE(manager.GetEntryDialInfo("Nowhere", user, password, phone));
    EXPECT_EQ(user + password + phone, "");
    fake("fail|RasGetEntryDialParamsA|4711");
    EXPECT_FALSE(manager.GetEntryDialInfo("Office", user, password, phone));
    fake("fail|RasGetEntryDialParamsA|0");
    fake("empty-name|1");
    EXPECT_FALSE(manager.GetEntryDialInfo("Nowhere", user, password, phone));

    const auto shown = prompter.shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "The phone-book entry was not found.");
    EXPECT_EQ(shown[1].text, "Undefined RAS Dial Error (4711).");
    EXPECT_EQ(shown[2].text, "Invalid Dial-Up Entry");
    for (const auto& box : shown)
        EXPECT_EQ(box.icon, PromptIcon::Stop);
    EXPECT_EQ(manager.GetErrorText(), ""); // boxes only, never the worker's error text
}

TEST_F(DialUp, PhoneNumberFailuresAreShownAndLeaveTheNumber)
{
    std::string phone = "kept";
    fake("fail|RasGetEntryPropertiesA|31");
    EXPECT_TRUE(manager.GetEntryPhoneNumber("Office", phone));
    fake("fail|RasGetEntryPropertiesA|31|1");
    EXPECT_TRUE(manager.GetEntryPhoneNumber("Office", phone));
    EXPECT_EQ(phone, "kept");
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{"Sizing call to RasGetEntryProperties failed!",
                                        "Call to RasGetEntryProperties failed!"}));
    fake("fail|RasGetEntryPropertiesA|0");
    EXPECT_TRUE(manager.GetEntryPhoneNumber("Backup", phone));
    EXPECT_EQ(phone, "555-0142");
}

// The worker and the settings sheet write the last error text at the same time. Run under
// ThreadSanitizer, this test also proves the writes are serialised.
TEST_F(DialUp, TwoThreadsWriteTheLastErrorSafely)
{
    fake("text|600|worker side");
    fake("text|601|settings side");
    fake("fail|RasEnumConnectionsA|600");
    fake("fail|RasEnumEntriesA|601");
    auto seen = [&] {
        const std::string text = manager.GetErrorText();
        return text.empty() || text == "worker side" || text == "settings side";
    };
    bool workerOk = true, sheetOk = true;
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i)
            workerOk = !manager.FindConnected() && seen() && workerOk;
    });
    std::thread sheet([&] {
        for (int i = 0; i < 2000; ++i)
            sheetOk = manager.GetEntryCount() == 0 && seen() && sheetOk;
    });
    worker.join();
    sheet.join();
    EXPECT_TRUE(workerOk);
    EXPECT_TRUE(sheetOk);
}
