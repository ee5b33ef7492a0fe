#include "ui/logic/UntrustedText.h"

#include <gtest/gtest.h>

using namespace palaverly;

TEST(UntrustedTextTest, OneLineWithoutControlsCutAtWholeCharactersAndNeverMarkup)
{
    EXPECT_EQ(untrusted::oneLine("  first\r\n\tsecond\x01\x7f third  "), "first second third");
    // Reordering controls would show the rest of the line backwards.
    EXPECT_EQ(untrusted::oneLine(QStringLiteral("file\u202Egpj.exe\u2066x\u2069")), "filegpj.exex");
    EXPECT_EQ(untrusted::oneLine("<b>bold</b> & more"), "<b>bold</b> & more");

    EXPECT_EQ(untrusted::oneLine(QString(80, 'a')), QString(80, 'a'));
    EXPECT_EQ(untrusted::oneLine(QString(81, 'a')), QString(79, 'a') + QChar(0x2026));
    // An accented letter is one character, and is never split from its accent.
    QString accented;
    for (int i = 0; i < 10; ++i)
        accented += QStringLiteral("e\u0301");
    EXPECT_EQ(untrusted::oneLine(accented, 4), accented.left(6) + QChar(0x2026));

    EXPECT_EQ(untrusted::asWritten("<a href=\"x\">link</a>\nline\x07 two"),
        "<qt>&lt;a href=&quot;x&quot;&gt;link&lt;/a&gt;<br>line  two</qt>");
    EXPECT_EQ(untrusted::menuText("Tom & Jerry"), "Tom && Jerry");
}
