#include <gtest/gtest.h>

#include "ScriptName.h"

// What the day view, the editor, the trigger, `upcoming` and `check` all count as no script.
TEST(ScriptName, BlanksAndControlCharactersAloneAreNoScript) {
    for (const char* blank : {"", " ", "\t\r\n", " \x7F ", "\x01"}) {
        EXPECT_TRUE(IsBlankScript(blank)) << blank;
    }
    for (const char* script : {"a", " lights.sh ", "\xC2\xA0", "mqtt/x"}) {
        EXPECT_FALSE(IsBlankScript(script)) << script;
    }
}
