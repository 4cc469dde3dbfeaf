// The content columns: fields, values and the default view.
#include "ContentColumns.h"

#include "StoreFixture.h"

namespace {

TEST(ContentColumnsText, TextIsCutToTheBufferAndTerminated) {
    struct Row {
        const char* text;
        int maxlen;
        const char* expected;
    };
    const Row rows[] = {{"Comment", 15, "Comment"}, {"Comment", 8, "Comment"}, {"Comment", 7, "Commen"},
                        {"Comment", 1, ""}, {"", 5, ""}};
    for (const Row& row : rows) {
        char buffer[16];
        std::memset(buffer, 'X', sizeof buffer);
        copyToHost(buffer, row.text, row.maxlen);
        EXPECT_STREQ(buffer, row.expected) << row.text << " in " << row.maxlen;
        EXPECT_EQ(buffer[row.maxlen], 'X') << "nothing written past the buffer";
    }
}

TEST(ContentColumnsFields, TheThreeFieldsAndNoMore) {
    struct Row {
        int index;
        int type;
        const char* name;
        const char* units;
    };
    const Row rows[] = {{0, wfx::ft_boolean, "Encrypted", "Boolean"},
                        {1, wfx::ft_date, "Expired Date", ""},
                        {2, wfx::ft_string, "Comment", ""},
                        {3, wfx::ft_nomorefields, nullptr, nullptr},
                        {-1, wfx::ft_nomorefields, nullptr, nullptr}};
    for (const Row& row : rows) {
        char name[32] = "untouched";
        char units[32] = "untouched";
        EXPECT_EQ(GetSupportedField(row.index, name, units, sizeof name), row.type) << row.index;
        EXPECT_STREQ(name, row.name ? row.name : "untouched") << row.index;
        EXPECT_STREQ(units, row.units ? row.units : "untouched") << row.index;
    }
    char name[4], units[4];
    EXPECT_EQ(GetSupportedField(1, name, units, sizeof name), wfx::ft_date);
    EXPECT_STREQ(name, "Exp");
}

TEST(ContentColumnsView, DefaultViewShowsTheEncryptedField) {
    char contents[64], headers[64], widths[64], options[64];
    EXPECT_EQ(GetDefaultView(contents, headers, widths, options, 64), 1);
    EXPECT_STREQ(contents, "[=<fs>.Encrypted.Boolean]");
    EXPECT_STREQ(headers, "Encrypted");
    EXPECT_STREQ(widths, "80,30,80");
    EXPECT_STREQ(options, "-1|0");
    EXPECT_EQ(GetDefaultView(contents, headers, widths, options, 5), 1);
    EXPECT_STREQ(contents, "[=<f");
    EXPECT_STREQ(widths, "80,3");
}

struct DateRow {
    const char* text;
    const char* format;
    int year, month, day;
};

const DateRow kDates[] = {
    {"2010-12-31", "yyyy-mm-dd", 2010, 12, 31},
    {"2010-12-31", "yyyy/mm/dd", 2010, 12, 31},
    {"31-12-2010", "dd-mm-yyyy", 2010, 12, 31},
    {"31-12-2010", "dd/mm/yyyy", 2010, 12, 31},
    {"2010/12/31", "yyyy/mm/dd", 2010, 0, 0},
    {"31/12/2010", "dd/mm/yyyy", 0, 0, 31},
    {"2010-12", "yyyy-mm-dd", 2010, 12, 0},
    {"2010-12-31", "mm-dd-yyyy", 0, 0, 0},
    {"2010-12-31", "YYYY-MM-DD", 0, 0, 0},
    {"2010-13-45", "yyyy-mm-dd", 2010, 13, 45},
    {"70000-1-1", "yyyy-mm-dd", 70000 - 65536, 1, 1},
};

TEST(ContentColumnsDates, ExpiryTextsAreReadInTheSettingsOrder) {
    for (const DateRow& row : kDates) {
        tFieldDate d = parseExpiryDate(row.text, row.format);
        EXPECT_EQ(d.year, row.year) << row.text << " as " << row.format;
        EXPECT_EQ(d.month, row.month) << row.text << " as " << row.format;
        EXPECT_EQ(d.day, row.day) << row.text << " as " << row.format;
    }
}

class ContentColumnsTest : public StoreFixture {
protected:
    void open(const std::string& settingsText, const std::string& expiry = "2010-12-31") {
        auto pw = encryptedUnder("pw", "secret");
        auto notes = encryptedUnder("pw", "Secret note\r\nComment: hidden");
        auto exp = encryptedUnder("pw", expiry);
        files.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
            "\"><folder name=\"Mail\" id=\"2\">"
            "<file name=\"Plain\" id=\"3\"><notes>&#x0D;&#x0A;Auto-Type:{USERNAME}&#x0D;&#x0A; &#x0D;&#x0A;"
            "Fourth line&#x0D;&#x0A;Comment: explicit</notes><expiretime expires=\"true\">" + expiry + "</expiretime></file>"
            "<file name=\"Secret\" id=\"4\"><password salt=\"" + pw.second + "\">" + pw.first +
            "</password><notes salt=\"" + notes.second + "\">" + notes.first +
            "</notes><expiretime expires=\"true\" salt=\"" + exp.second + "\">" + exp.first +
            "</expiretime></file>"
            "<file name=\"NoExpiry\" id=\"5\"><expiretime expires=\"false\">2010-12-31</expiretime></file>"
            "<file name=\"Bare\" id=\"6\"/>"
            "</folder><folder name=\"Empty\" id=\"7\"/></pswd>";
        start(settingsText);
        willType("pw");
        ASSERT_FALSE(list("\\").empty());
    }
    int value(const std::string& path, int field, unsigned char* out, int maxlen = 64) {
        std::memset(out, 0xEE, 64);
        return GetFieldValue(path.c_str(), field, out, maxlen);
    }
    static int asInt(const unsigned char* v) {
        std::int32_t i;
        std::memcpy(&i, v, sizeof i);
        return i;
    }
    static std::string asDate(const unsigned char* v) {
        std::uint16_t w[3];
        std::memcpy(w, v, sizeof w);
        return std::to_string(w[0]) + "-" + std::to_string(w[1]) + "-" + std::to_string(w[2]);
    }
};

TEST_F(ContentColumnsTest, NothingBeforeTheStoreIsOpen) {
    unsigned char v[64];
    for (int field = 0; field < 3; ++field) EXPECT_EQ(value("\\Mail\\Plain", field, v), wfx::ft_fieldempty);
}

TEST_F(ContentColumnsTest, EncryptedFlagOfEntriesOnly) {
    open("[MAIN]\nNewEntryFolder=1\n");
    unsigned char v[64];
    ASSERT_EQ(value("\\Mail\\Secret", 0, v), wfx::ft_boolean);
    EXPECT_EQ(asInt(v), 1);
    ASSERT_EQ(value("\\Mail\\Plain", 0, v), wfx::ft_boolean);
    EXPECT_EQ(asInt(v), 0);
    EXPECT_EQ(value("\\Mail\\", 0, v), wfx::ft_fieldempty);
    EXPECT_EQ(value("\\Empty", 0, v), wfx::ft_fieldempty);
    EXPECT_EQ(value("\\New Entry", 0, v), wfx::ft_fieldempty);
    EXPECT_EQ(value("\\Mail\\[New Entry]", 0, v), wfx::ft_fieldempty);
    EXPECT_EQ(value("\\Lock Keyhold", 0, v), wfx::ft_fieldempty);
    EXPECT_EQ(value("\\Mail\\Plain", 7, v), wfx::ft_nosuchfield);
    EXPECT_EQ(value("\\Lock Keyhold", 7, v), wfx::ft_fieldempty) << "command nodes answer before the field";
    // The root answers the type without a value.
    EXPECT_EQ(value("\\", 0, v), wfx::ft_boolean);
    EXPECT_EQ(v[0], 0xEE);
    EXPECT_EQ(value("\\", 2, v), wfx::ft_string);
    EXPECT_EQ(v[0], 0xEE);
}

TEST_F(ContentColumnsTest, AMissingNameAnswersForTheNodeLastReached) {
    open("[MAIN]\nNewEntryFolder=1\n");
    unsigned char v[64];
    EXPECT_EQ(value("\\Mail\\Gone", 0, v), wfx::ft_fieldempty) << "the folder Mail";
    EXPECT_EQ(value("\\Gone", 0, v), wfx::ft_boolean) << "the root";
    ASSERT_EQ(value("\\Mail\\Secret\\deeper", 0, v), wfx::ft_boolean) << "the entry Secret";
    EXPECT_EQ(asInt(v), 1);
}

struct ExpiryRow {
    const char* settings;
    const char* expiry;
    const char* path;
    int result;
    const char* date;
};

const ExpiryRow kExpiries[] = {
    {"[MAIN]\nDateFormat=yyyy-mm-dd\n", "2010-12-31", "\\Mail\\Plain", wfx::ft_date, "2010-12-31"},
    {"[MAIN]\nDateFormat=yyyy-mm-dd\n", "2010-12-31", "\\Mail\\Secret", wfx::ft_date, "2010-12-31"},
    {"[MAIN]\nDateFormat=dd-mm-yyyy\n", "31-12-2010", "\\Mail\\Plain", wfx::ft_date, "2010-12-31"},
    {"[MAIN]\nDateFormat=dd-mm-yyyy\n", "31-12-2010", "\\Mail\\Secret", wfx::ft_date, "2010-12-31"},
    {"[MAIN]\nDateFormat=yyyy/mm/dd\n", "2010/12/31", "\\Mail\\Plain", wfx::ft_fieldempty, nullptr},
    {"[MAIN]\nDateFormat=yyyy-mm-dd\n", "2010-12", "\\Mail\\Plain", wfx::ft_fieldempty, nullptr},
    {"[MAIN]\nDateFormat=mm/dd/yyyy\n", "12-31-2010", "\\Mail\\Plain", wfx::ft_fieldempty, nullptr},
    {"", "2010-12-31", "\\Mail\\Plain", wfx::ft_date, "2010-12-31"},
    {"", "2010-12-31", "\\Mail\\NoExpiry", wfx::ft_fieldempty, nullptr},
    {"", "2010-12-31", "\\Mail\\Bare", wfx::ft_fieldempty, nullptr},
    {"", "2010-12-31", "\\Mail\\", wfx::ft_fieldempty, nullptr},
    {"", "2010-12-31", "\\", wfx::ft_fieldempty, nullptr},
};

TEST_F(ContentColumnsTest, ExpiryDateByTheDateFormat) {
    for (const ExpiryRow& row : kExpiries) {
        TearDown();
        SetUp();
        open(row.settings, row.expiry);
        unsigned char v[64];
        EXPECT_EQ(value(row.path, 1, v), row.result) << row.settings << row.path;
        if (row.date) EXPECT_EQ(asDate(v), row.date) << row.settings << row.path;
        else EXPECT_EQ(v[0], 0xEE) << row.settings << row.path;
    }
}

TEST_F(ContentColumnsTest, CommentFollowsExplicitComment) {
    struct Row {
        const char* settings;
        const char* path;
        const char* comment;
    };
    const Row rows[] = {
        {"", "\\Mail\\Plain", "Fourth line"},
        {"", "\\Mail\\Secret", "Secret note"},
        {"", "\\Mail\\Bare", ""},
        {"[CustomColumn]\nExplicitComment=1\n", "\\Mail\\Plain", " explicit"},
        {"[CustomColumn]\nExplicitComment=1\n", "\\Mail\\Secret", " hidden"},
        {"[CustomColumn]\nExplicitComment=1\n", "\\Mail\\Bare", ""},
    };
    for (const Row& row : rows) {
        TearDown();
        SetUp();
        open(row.settings);
        unsigned char v[64];
        ASSERT_EQ(value(row.path, 2, v), wfx::ft_string) << row.settings << row.path;
        EXPECT_STREQ(reinterpret_cast<char*>(v), row.comment) << row.settings << row.path;
    }
}

TEST_F(ContentColumnsTest, ALockedStoreShowsNoValues) {
    open("");
    lock();
    unsigned char v[64];
    for (const char* path : {"\\Mail\\Plain", "\\Mail\\Secret", "\\Mail"}) {
        for (int field = 0; field < 3; ++field) EXPECT_EQ(value(path, field, v), wfx::ft_fieldempty) << path << field;
    }
    EXPECT_EQ(v[0], 0xEE) << "nothing written";
}

TEST_F(ContentColumnsTest, CommentIsCutToTheBuffer) {
    open("");
    unsigned char v[64];
    ASSERT_EQ(value("\\Mail\\Plain", 2, v, 5), wfx::ft_string);
    EXPECT_STREQ(reinterpret_cast<char*>(v), "Four");
    EXPECT_EQ(v[5], 0xEE);
    EXPECT_EQ(value("\\Mail\\", 2, v), wfx::ft_fieldempty);
}

}  // namespace
