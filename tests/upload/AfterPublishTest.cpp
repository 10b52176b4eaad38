#include "upload/AfterPublish.h"

#include <gtest/gtest.h>

using namespace vistrel;

// Words as a shell splits them, without expansion; what a shell would refuse is refused.
TEST(AfterPublish, SplitsCommandWordsAsAShellDoes)
{
    using V = std::vector<std::string>;
    const struct {
        const char* line;
        V words;
        const char* error; // nullptr: accepted
    } cases[] = {
        {"  rsync -a  /srv/cam.jpg\thost:www/ ", V{"rsync", "-a", "/srv/cam.jpg", "host:www/"},
         nullptr},
        {"notify 'two words' \"and $HOME \\\"quoted\\\"\"",
         V{"notify", "two words", "and $HOME \"quoted\""}, nullptr},
        {"a\\ b c\\\\d 'it'\\''s' \"\\n\"", V{"a b", "c\\d", "it's", "\\n"}, nullptr},
        {"x'' \"\" ''", V{"x", "", ""}, nullptr},
        {"", V{}, nullptr},
        {"echo 'open", V{}, "the command has a ' without its closing '"},
        {"echo \"open", V{}, "the command has a \" without its closing \""},
        {"echo \\", V{}, "the command ends in a backslash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        V words;
        std::string error;
        EXPECT_EQ(SplitCommandWords(c.line, &words, &error), c.error == nullptr);
        if (c.error)
            EXPECT_EQ(error, c.error);
        else
            EXPECT_EQ(words, c.words);
    }
    // A program that cannot be run says why; nothing is left running.
    const CommandResult r = RunCommand({"/nonexistent/hook"}, {}, 5, {});
    EXPECT_FALSE(r.started);
    EXPECT_EQ(DescribeCommandEnd("/nonexistent/hook", r, 5),
              "/nonexistent/hook: cannot run it (No such file or directory)");
}
