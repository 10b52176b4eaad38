#include "ftp/LogOnTable.h"
#include "ftp/FtpSession.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(LogOnTable, ServerTextCarriesThePortOnlyWhenItIsNot21)
{
    EXPECT_EQ(LogOnServerText("ftphost", 21), "ftphost");
    EXPECT_EQ(LogOnServerText("ftphost", 2121), "ftphost:2121");

    LogOnValues v{"ftphost", 2121, "cam", "pw", "", "pu", "ppw"};
    EXPECT_EQ(LogOnCommand(6, v), "USER cam@ftphost:2121");
    EXPECT_EQ(LogOnCommand(5, v), "SITE ftphost:2121");
    EXPECT_EQ(LogOnCommand(7, v), "OPEN ftphost:2121");
    EXPECT_EQ(LogOnCommand(8, v), "USER pu@ftphost:2121");
    EXPECT_EQ(LogOnCommand(9, v), "USER cam@ftphost:2121 pu");
    EXPECT_EQ(LogOnCommand(10, v), "USER cam@pu@ftphost:2121");
    EXPECT_EQ(LogOnCommand(11, v), "PASS pw@ppw");
    EXPECT_EQ(LogOnCommand(2, v), "ACCT ");
    EXPECT_EQ(LogOnCommand(12, v), "");
}

TEST(LogOnTable, EveryRowEndsAndOnlyKnownTypesHaveRows)
{
    for (int type = -1; type <= 10; ++type) {
        const auto row = LogOnSequence(type);
        const bool known = type >= 0 && type <= 8 && type != 4;
        EXPECT_EQ(!row.empty(), known) << type;
        ASSERT_EQ(row.size() % 3, 0u);
        for (size_t i = 0; i < row.size(); i += 3) {
            EXPECT_GE(row[i], 0);
            EXPECT_LE(row[i], 11);
            for (int next : {row[i + 1], row[i + 2]}) {
                // A next step points forward to a step of the row, or is an end mark.
                EXPECT_TRUE(next == kLogOnDone || next == kLogOnFail ||
                            (next > static_cast<int>(i) && next % 3 == 0 &&
                             next < static_cast<int>(row.size())))
                    << type << " step " << i;
            }
        }
    }
}

TEST(LogOnTable, ProxyTypeIndexMapsToLogOnTypes)
{
    EXPECT_EQ(LogonTypeForProxy(false, 3), 0);
    EXPECT_EQ(LogonTypeForProxy(false, 99), 0);
    const int expected[] = {1, 3, 2, 5, 6, 7, 8};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(LogonTypeForProxy(true, i), expected[i]);
    EXPECT_EQ(LogonTypeForProxy(true, 7), -1);
    EXPECT_EQ(LogonTypeForProxy(true, -1), -1);
    EXPECT_TRUE(LogOnSequence(LogonTypeForProxy(true, 7)).empty());
}

TEST(PasvReply, AddressAndPortComeFromBetweenTheParentheses)
{
    std::string address;
    int port = 0;
    ASSERT_TRUE(ParsePasvReply("227 Entering Passive Mode (192,168,1,2,19,137).\n", address, port));
    EXPECT_EQ(address, "192.168.1.2");
    EXPECT_EQ(port, 5001);
    ASSERT_TRUE(ParsePasvReply("227 =(10,0,0,1,0,21)", address, port));
    EXPECT_EQ(port, 21);

    EXPECT_FALSE(ParsePasvReply("227 Entering Passive Mode 192,168,1,2,19,137\n", address, port));
    EXPECT_FALSE(ParsePasvReply("227 (192,168,1,2,19,137\n", address, port));
    EXPECT_FALSE(ParsePasvReply("227 )192,168,1,2,19,137(\n", address, port));
    // Numbers a PASV reply cannot mean are refused, never handed to a name lookup.
    EXPECT_FALSE(ParsePasvReply("227 (1216,256,2,127,127,127).\n", address, port));
    EXPECT_FALSE(ParsePasvReply("227 (a,b,c,d,1,2).\n", address, port));
    EXPECT_FALSE(ParsePasvReply("227 (1,2,3,4,5,300).\n", address, port));
    EXPECT_FALSE(ParsePasvReply("227 (1,2).\n", address, port));
}
