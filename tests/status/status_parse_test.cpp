#include "status/status.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Field = std::optional<std::string> StatusRecord::*;

// Every field by the member name the controller sends it under.
const std::vector<std::pair<std::string, Field>> all_fields = {
    {"model_name", &StatusRecord::model_name},
    {"firmware_version", &StatusRecord::firmware_version},
    {"build_date", &StatusRecord::build_date},
    {"hostname", &StatusRecord::hostname},
    {"serial_number", &StatusRecord::serial_number},
    {"mac", &StatusRecord::mac},
    {"rtc_temperature", &StatusRecord::rtc_temperature},
    {"ram_memory", &StatusRecord::ram_memory},
    {"flash_memory", &StatusRecord::flash_memory},
    {"boot_count", &StatusRecord::boot_count},
    {"time", &StatusRecord::time},
    {"uptime", &StatusRecord::uptime},
    {"dali_channel_1", &StatusRecord::dali_channel_1},
    {"dali_channel_2", &StatusRecord::dali_channel_2},
    {"dali_channel_3", &StatusRecord::dali_channel_3},
    {"dali_channel_4", &StatusRecord::dali_channel_4},
    {"ip", &StatusRecord::ip},
    {"bacnet_ip", &StatusRecord::bacnet_ip},
    {"session_id", &StatusRecord::session_id},
    {"username", &StatusRecord::username},
};

void expect_empty(const StatusRecord& record)
{
    for (const auto& [name, field] : all_fields)
        EXPECT_FALSE(record.*field) << name;
}

TEST(StatusParse, StoresKnownStringMembersAndDropsOthers)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"({"model_name":"ZANTOR-2","firmware_version":"2.2.4","other":"x"})", record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-2");
    EXPECT_EQ(record.firmware_version, "2.2.4");
    record.model_name.reset();
    record.firmware_version.reset();
    expect_empty(record);
}

TEST(StatusParse, EveryMemberReachesItsOwnField)
{
    std::string body = "{";
    for (const auto& [name, field] : all_fields)
        body += "\"" + name + "\":\"value of " + name + "\",";
    body.back() = '}';
    StatusRecord record;
    ASSERT_EQ(status_parse(body, record), 0);
    for (const auto& [name, field] : all_fields)
        EXPECT_EQ(record.*field, "value of " + name);
}

TEST(StatusParse, WithoutModelNameFails)
{
    StatusRecord record;
    EXPECT_EQ(status_parse("{}", record), 1);
    expect_empty(record);
    EXPECT_EQ(status_parse(R"({"firmware_version":"2.2.4"})", record), 1);
    EXPECT_EQ(record.firmware_version, "2.2.4");
    EXPECT_EQ(status_parse(R"(["model_name","ZANTOR-2"])", record), 1);
    expect_empty(record);
}

TEST(StatusParse, LaterValueOfAMemberWins)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"({"model_name":"ZANTOR-1","model_name":"ZANTOR-4"})", record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-4");
}

TEST(StatusParse, ParsingAgainStartsFromAnEmptyRecord)
{
    StatusRecord record;
    ASSERT_EQ(status_parse(R"({"model_name":"ZANTOR-1","mac":"00:11:22:33:44:55"})", record), 0);
    EXPECT_EQ(status_parse(R"({"model_name":"ZANTOR-3"})", record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-3");
    EXPECT_FALSE(record.mac);
}

TEST(StatusParse, ScalarValuesArePassedOverAndLaterMembersStillPair)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"({"boot_count":12,"model_name":"ZANTOR-1","uptime":null,"hostname":"hall",)"
                           R"("ip":true,"mac":"00:11","bacnet_ip":false,"username":-1.5e3,"time":"12:00"})",
                           record),
              0);
    EXPECT_EQ(record.model_name, "ZANTOR-1");
    EXPECT_EQ(record.hostname, "hall");
    EXPECT_EQ(record.mac, "00:11");
    EXPECT_EQ(record.time, "12:00");
    EXPECT_FALSE(record.boot_count);
    EXPECT_FALSE(record.uptime);
    EXPECT_FALSE(record.ip);
    EXPECT_FALSE(record.bacnet_ip);
    EXPECT_FALSE(record.username);
}

TEST(StatusParse, NestedValuesArePassedOverWhole)
{
    StatusRecord record;
    EXPECT_EQ(status_parse(R"({"network":{"model_name":"inner","ip":["a",{"b":"c"}],"hostname":"inner"},)"
                           R"("dali_channel_1":["on",["model_name","x"],{"k":"v"}],)"
                           R"("model_name":"ZANTOR-3","firmware_version":"3.0.1","dali_channel_2":{}})",
                           record),
              0);
    EXPECT_EQ(record.model_name, "ZANTOR-3");
    EXPECT_EQ(record.firmware_version, "3.0.1");
    EXPECT_FALSE(record.ip);
    EXPECT_FALSE(record.hostname);
    EXPECT_FALSE(record.dali_channel_1);
    EXPECT_FALSE(record.dali_channel_2);
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
    const char* broken[] = {
        R"({"model_name":"ZANTOR-2",)",
        R"({"model_name":"ZANTOR-2","nested":{"a":)",
        R"({"model_name":"ZANTOR-2","firmware_version":2.2.4})",
        "<html><body>404 Not Found</body></html>",
        "",
    };
    for (const char* body : broken) {
        StatusRecord record;
        EXPECT_EQ(status_parse(body, record), 1) << body;
        expect_empty(record);
    }
}

TEST(StatusParse, BodyNeedNotBeTerminated)
{
    const std::string text = R"({"model_name":"ZANTOR-2"}garbage)";
    StatusRecord record;
    EXPECT_EQ(status_parse(std::string_view(text).substr(0, 25), record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-2");
}

} // namespace
