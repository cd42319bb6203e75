#include <gtest/gtest.h>

#include "Common/local/Transfer.h"

namespace {

using Common::Transfer;
using Platform::ArchiveError;

// An archive of one "Transfer" object with the given values.
std::string transferArchive(const std::string& values) {
    return R"({"$archiver":"QuilloKeyedArchive","$version":1,"$root":{"$class":"Transfer","$values":{)" + values + "}}}";
}

TEST(Transfer, RoundTripKeepsEveryString) {
    const Transfer sent("t-1", "p-9", "report.pdf", Common::TarnEventActionType::trash);
    const auto archive = Platform::KeyedArchiver::archivedData(sent, true);
    EXPECT_NE(archive.find(R"("$class":"Transfer")"), std::string::npos);
    const auto received = Platform::KeyedUnarchiver::unarchivedObject<Transfer>(archive);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->transferID(), "t-1");
    EXPECT_EQ(received->parentID(), "p-9");
    EXPECT_EQ(received->name(), "report.pdf");
    EXPECT_EQ(received->action(), "trash");
}

TEST(Transfer, DecodingStopsAtTheFirstBadKey) {
    const struct {
        const char* name;
        std::string values;
        const char* message;  // null: decodes; empty: no object and no message
        const char* action;
    } cases[] = {
        {"unknown action kept", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"name":{"string":"n"},"action":{"string":"teleport"})",
         nullptr, "teleport"},
        {"missing parent", R"("transfer_id":{"string":"t"},"name":{"string":"n"},"action":{"string":"move"})",
         "Could not deseralise parent_id!", nullptr},
        {"numeric transfer id", R"("transfer_id":{"integer":5},"parent_id":{"string":"p"},"name":{"string":"n"},"action":{"string":"move"})",
         "Could not deserialise transfer_id!", nullptr},
        {"missing name", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"action":{"string":"move"})",
         "Could not deseralise name!", nullptr},
        {"missing action", R"("transfer_id":{"string":"t"},"parent_id":{"string":"p"},"name":{"string":"n"})", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const auto transfer = Platform::KeyedUnarchiver::unarchivedObject<Transfer>(transferArchive(c.values));
            if (c.message) {
                EXPECT_STREQ(c.message, "") << "a failure without a message";
                EXPECT_FALSE(transfer);
            } else {
                ASSERT_TRUE(transfer);
                EXPECT_EQ(transfer->action(), c.action);
            }
        } catch (const ArchiveError& error) {
            ASSERT_TRUE(c.message && *c.message) << error.debugDescription();
            EXPECT_NE(error.debugDescription().find(c.message), std::string::npos) << error.debugDescription();
        }
    }
}

}  // namespace
