#include "status/status.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusParse, StoresKnownStringMembers)
{
    StatusRecord record;
    record.mac = "left over from before";
    EXPECT_EQ(status_parse(R"({"model_name":"ZANTOR-2","firmware_version":"2.2.4","other":"x",)"
                           R"("dali_channel_4":"idle","username":"a","username":"b"})",
                           record),
              0);
    EXPECT_EQ(record.model_name, "ZANTOR-2");
    EXPECT_EQ(record.firmware_version, "2.2.4");
    EXPECT_EQ(record.dali_channel_4, "idle");
    EXPECT_EQ(record.username, "b");
    EXPECT_FALSE(record.mac);
    EXPECT_FALSE(record.hostname);
}

TEST(StatusParse, WithoutModelNameFails)
{
    StatusRecord record;
    EXPECT_EQ(status_parse("{}", record), 1);
    EXPECT_EQ(status_parse(R"({"firmware_version":"2.2.4"})", record), 1);
    EXPECT_EQ(record.firmware_version, "2.2.4");
    EXPECT_EQ(status_parse(R"(["model_name","ZANTOR-2"])", record), 1);
    EXPECT_FALSE(record.model_name);
}

// Values that are not strings are passed over as a whole, so the members
// after them still pair name with value.
TEST(StatusParse, NonStringValuesDoNotShiftLaterMembers)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"({"boot_count":12,"hostname":"hall","uptime":null,"ip":true,"time":"12:00",)"
                           R"("network":{"model_name":"inner","ip":["a",{"b":"c"}],"mac":"inner"},)"
                           R"("dali_channel_1":["on",["model_name","x"],{"k":"v"}],"bacnet_ip":-1.5e3,)"
                           R"("model_name":"ZANTOR-3","dali_channel_2":{},"mac":"00:11"})",
                           record),
              0);
    EXPECT_EQ(record.model_name, "ZANTOR-3");
    EXPECT_EQ(record.hostname, "hall");
    EXPECT_EQ(record.time, "12:00");
    EXPECT_EQ(record.mac, "00:11");
    for (const auto& value : {record.boot_count, record.uptime, record.ip, record.dali_channel_1,
                              record.dali_channel_2, record.bacnet_ip})
        EXPECT_FALSE(value);
}

TEST(StatusParse, ObjectsListedInAnArrayAreRead)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"(["x",{"model_name":"ZANTOR-4"},{"mac":"aa"}])", record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-4");
    EXPECT_EQ(record.mac, "aa");
}

TEST(StatusParse, SyntaxErrorFailsAndKeepsNothing)
{
    for (const char* body : {R"({"model_name":"ZANTOR-2",)", R"({"model_name":"ZANTOR-2","n":{"a":)",
                             R"({"model_name":"ZANTOR-2","firmware_version":2.2.4})",
                             "<html><body>404 Not Found</body></html>"}) {
        StatusRecord record;
        EXPECT_EQ(status_parse(body, record), 1) << body;
        EXPECT_FALSE(record.model_name) << body;
    }
}

TEST(StatusParse, BodyNeedNotBeTerminated)
{
    const std::string_view text = R"({"model_name":"ZANTOR-2"}{garbage)";
    StatusRecord record;
    EXPECT_EQ(status_parse(text.substr(0, text.find('}') + 1), record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-2");
}

} // namespace
