#include "discovery/addresses.h"
#include "discovery/cardidentity.h"
#include "discovery/cardrequests.h"
#include "discovery/inforeply.h"
#include "discovery/macgeneration.h"
#include "discovery/protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <string>
#include <vector>

using namespace kavro::discovery;
using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

const std::string kMac = "02:DE:12:34:56:78";

CardIdentity startIdentity()
{
    return {kMac, "192.168.1.100", "255.255.255.0", "192.168.1.1", 23456};
}

std::string info(const CardIdentity &id)
{
    return "RESP:INFO;" + id.mac + ";" + id.ip + ";" + id.subnetMask + ";" + id.gateway + ";" +
           std::to_string(id.port);
}

struct RequestCase
{
    const char *name;
    std::string request;
    bool recognised;
    std::optional<std::string> reply;
    CardIdentity after;
    bool changed;
};

CardIdentity with(std::string CardIdentity::*field, std::string value)
{
    CardIdentity id = startIdentity();
    id.*field = std::move(value);
    return id;
}

} // namespace

TEST(DiscoveryRequests, EachRequestGetsItsReplyAndChange)
{
    const CardIdentity start = startIdentity();
    const std::string m = kMac;
    const std::vector<RequestCase> cases = {
        {"discovery", "CMD:GET_INFO;", true,
         "RESP:INFO;02:DE:12:34:56:78;192.168.1.100;255.255.255.0;192.168.1.1;23456", start, false},
        {"discovery without semicolon", "CMD:GET_INFO", true, info(start), start, false},
        {"discovery with more fields", "CMD:GET_INFO;x;y", true, info(start), start, false},
        {"discovery in lower case", "cmd:get_info;", false, std::nullopt, start, false},
        {"command with a tail", "CMD:GET_INFOX;", false, std::nullopt, start, false},
        {"command behind a space", " CMD:GET_INFO", false, std::nullopt, start, false},
        {"command with a NUL", "CMD:GET_INFO\0;"s, false, std::nullopt, start, false},
        {"unknown command", "CMD:REBOOT;" + m, false, std::nullopt, start, false},
        {"empty datagram", "", false, std::nullopt, start, false},
        {"set ip", "CMD:SET_IP;" + m + ";10.1.2.3", true, "RESP:SET_IP;" + m + ";10.1.2.3;SUCCESS",
         with(&CardIdentity::ip, "10.1.2.3"), true},
        {"set ip takes any text", "CMD:SET_IP;" + m + ";not an ip", true,
         "RESP:SET_IP;" + m + ";not an ip;SUCCESS", with(&CardIdentity::ip, "not an ip"), true},
        {"set ip without value", "CMD:SET_IP;" + m, true, "RESP:SET_IP;" + m + ";;SUCCESS",
         with(&CardIdentity::ip, ""), true},
        {"set ip, later fields ignored", "CMD:SET_IP;" + m + ";1.2.3.4;5.6.7.8", true,
         "RESP:SET_IP;" + m + ";1.2.3.4;SUCCESS", with(&CardIdentity::ip, "1.2.3.4"), true},
        {"set ip, same value", "CMD:SET_IP;" + m + ";192.168.1.100", true,
         "RESP:SET_IP;" + m + ";192.168.1.100;SUCCESS", start, true},
        {"set mac, lower case kept", "CMD:SET_MAC;" + m + ";02:de:00:00:00:01", true,
         "RESP:SET_MAC;" + m + ";02:de:00:00:00:01;SUCCESS",
         with(&CardIdentity::mac, "02:de:00:00:00:01"), true},
        {"set mac, dashes", "CMD:SET_MAC;" + m + ";02-DE-00-00-00-01", true,
         "RESP:SET_MAC;" + m + ";02-DE-00-00-00-01;INVALID_FORMAT", start, false},
        {"set mac, missing value", "CMD:SET_MAC;" + m, true,
         "RESP:SET_MAC;" + m + ";;INVALID_FORMAT", start, false},
        {"set mask", "CMD:SET_SUBNETMASK;" + m + ";255.255.0.0", true,
         "RESP:SET_SUBNETMASK;" + m + ";255.255.0.0;SUCCESS",
         with(&CardIdentity::subnetMask, "255.255.0.0"), true},
        {"set mask, bits not checked", "CMD:SET_SUBNETMASK;" + m + ";255.0.255.0", true,
         "RESP:SET_SUBNETMASK;" + m + ";255.0.255.0;SUCCESS",
         with(&CardIdentity::subnetMask, "255.0.255.0"), true},
        {"set mask, ipv6", "CMD:SET_SUBNETMASK;" + m + ";::1", true,
         "RESP:SET_SUBNETMASK;" + m + ";::1;INVALID_FORMAT", start, false},
        {"set gateway", "CMD:SET_GATEWAY;" + m + ";10.0.0.1", true,
         "RESP:SET_GATEWAY;" + m + ";10.0.0.1;SUCCESS", with(&CardIdentity::gateway, "10.0.0.1"),
         true},
        {"set gateway, out of range", "CMD:SET_GATEWAY;" + m + ";300.1.1.1", true,
         "RESP:SET_GATEWAY;" + m + ";300.1.1.1;INVALID_FORMAT", start, false},
        {"set gateway, empty", "CMD:SET_GATEWAY;" + m + ";", true,
         "RESP:SET_GATEWAY;" + m + ";;INVALID_FORMAT", start, false},
        {"set gateway, stored as written", "CMD:SET_GATEWAY;" + m + "; 0x0a.1", true,
         "RESP:SET_GATEWAY;" + m + "; 0x0a.1;SUCCESS", with(&CardIdentity::gateway, " 0x0a.1"),
         true},
        // Judged up to the NUL, stored and echoed whole.
        {"set gateway, NUL in value", "CMD:SET_GATEWAY;" + m + ";10.0.0.1 \0\xE9"s, true,
         "RESP:SET_GATEWAY;" + m + ";10.0.0.1 \0\xE9;SUCCESS"s,
         with(&CardIdentity::gateway, "10.0.0.1 \0\xE9"s), true},
        {"mac in other case", "CMD:SET_IP;02:de:12:34:56:78;1.2.3.4", true, std::nullopt, start,
         false},
        {"empty mac field", "CMD:SET_IP;;1.2.3.4", true, std::nullopt, start, false},
        {"no mac field", "CMD:SET_GATEWAY", true, std::nullopt, start, false},
        {"mac with a NUL after it", "CMD:SET_IP;" + m + "\0;1.2.3.4"s, true, std::nullopt, start,
         false},
    };
    for (const RequestCase &c : cases) {
        SCOPED_TRACE(c.name);
        CardIdentity id = start;
        const RequestOutcome outcome = handleRequest(id, c.request);
        EXPECT_EQ(outcome.recognised, c.recognised);
        EXPECT_EQ(outcome.reply, c.reply);
        EXPECT_EQ(outcome.changed, c.changed);
        EXPECT_EQ(id, c.after);
    }
}

// A conversation with one card: each step sees what the ones before it stored.
TEST(DiscoveryRequests, ChangesLastForLaterRequests)
{
    struct Step
    {
        std::string request;
        std::optional<std::string> reply;
    };
    const std::vector<Step> steps = {
        {"CMD:SET_MAC;02:DE:12:34:56:78;02:de:00:00:00:01",
         "RESP:SET_MAC;02:DE:12:34:56:78;02:de:00:00:00:01;SUCCESS"},
        {"CMD:SET_GATEWAY;02:DE:12:34:56:78;10.0.0.1", std::nullopt}, // the old MAC
        {"CMD:SET_GATEWAY;02:DE:00:00:00:01;10.0.0.1", std::nullopt}, // upper case
        {"CMD:SET_GATEWAY;02:de:00:00:00:01;10.0.0.1",
         "RESP:SET_GATEWAY;02:de:00:00:00:01;10.0.0.1;SUCCESS"},
        {"CMD:SET_IP;02:de:00:00:00:01", "RESP:SET_IP;02:de:00:00:00:01;;SUCCESS"},
        {"CMD:SET_SUBNETMASK;02:de:00:00:00:01;255.0.0.0",
         "RESP:SET_SUBNETMASK;02:de:00:00:00:01;255.0.0.0;SUCCESS"},
        {"CMD:GET_INFO;", "RESP:INFO;02:de:00:00:00:01;;255.0.0.0;10.0.0.1;23456"},
    };
    CardIdentity id = startIdentity();
    for (const Step &step : steps) {
        SCOPED_TRACE(step.request);
        EXPECT_EQ(handleRequest(id, step.request).reply, step.reply);
    }
}

TEST(DiscoveryFields, SplitAtEverySemicolonKeepingEmptyOnes)
{
    using Fields = std::vector<std::string_view>;
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"", {""}},
        {"a", {"a"}},
        {";", {"", ""}},
        {"a;;b;", {"a", "", "b", ""}},
        {"a\0b;c"s, {"a\0b"sv, "c"}},
    };
    for (const auto &[message, fields] : cases) {
        EXPECT_EQ(splitFields(message), fields) << message;
        EXPECT_EQ(fieldAt(splitFields(message), fields.size()), "") << message;
    }
}

TEST(DiscoveryInfoReply, ClientAcceptsFiveFieldsOrMore)
{
    const std::vector<std::pair<std::string, std::optional<InfoReply>>> cases = {
        {"RESP:INFO;02:DE:00:00:00:01;1.1.1.1;255.0.0.0;1.1.1.9;23456",
         InfoReply{"02:DE:00:00:00:01", "1.1.1.1", "255.0.0.0", "1.1.1.9"}},
        {"RESP:INFO;m;i;s;g", InfoReply{"m", "i", "s", "g"}}, // no port
        {"RESP:INFO;m;i;s;g;not a port;more", InfoReply{"m", "i", "s", "g"}},
        {"RESP:INFO;;;;", InfoReply{}},
        {"RESP:INFO;m;i;s", std::nullopt}, // four fields
        {"resp:info;m;i;s;g;23456", std::nullopt},
        {"RESP:INFO ;m;i;s;g", std::nullopt},
        {"RESP:SET_IP;m;i;s;g", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[datagram, expected] : cases) {
        SCOPED_TRACE(datagram);
        const std::optional<InfoReply> parsed = parseInfoReply(datagram);
        ASSERT_EQ(parsed.has_value(), expected.has_value());
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->mac, expected->mac);
        EXPECT_EQ(parsed->ip, expected->ip);
        EXPECT_EQ(parsed->subnetMask, expected->subnetMask);
        EXPECT_EQ(parsed->gateway, expected->gateway);
    }
}

TEST(DiscoveryInfoReply, ClientReadsWhatTheCardSends)
{
    for (const CardIdentity &id :
         {startIdentity(), CardIdentity{"02:de:00:00:00:01", "", "", "", kDiscoveryPort}}) {
        CardIdentity card = id;
        const std::optional<std::string> reply = handleRequest(card, kDiscoveryRequest).reply;
        ASSERT_TRUE(reply);
        const std::optional<InfoReply> parsed = parseInfoReply(*reply);
        ASSERT_TRUE(parsed) << *reply;
        EXPECT_EQ(parsed->mac, id.mac);
        EXPECT_EQ(parsed->ip, id.ip);
        EXPECT_EQ(parsed->subnetMask, id.subnetMask);
        EXPECT_EQ(parsed->gateway, id.gateway);
    }
}

TEST(DiscoveryAddresses, WellFormedMac)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"02:DE:12:34:56:78", true},  {"02:de:ab:cd:ef:09", true},    {"02-DE-12-34-56-78", false},
        {"02:DE:12:34:56:7", false},  {"02:DE:12:34:56:789", false},  {"02:DE:12:34:56:7G", false},
        {"02:DE:12:34:5:678", false}, {"02:DE:12:34:56:7\0"s, false}, {"", false},
        {" 2:DE:12:34:56:78", false},
    };
    for (const auto &[text, wellFormed] : cases)
        EXPECT_EQ(isWellFormedMac(text), wellFormed) << text;
}

TEST(DiscoveryMacs, FormatsBytesInUpperCase)
{
    EXPECT_EQ(formatMac({0x0A, 0xBC, 0x00, 0x01, 0xFF, 0x10}), "0A:BC:00:01:FF:10");
    // Time bits 8 to 15 go fourth, bits 0 to 7 last; higher bits are dropped.
    EXPECT_EQ(formatGeneratedMac(0xAB, 0x01, 0x1234), "02:DE:AB:12:01:34");
    EXPECT_EQ(formatGeneratedMac(0x00, 0xFF, 1700000000123), "02:DE:00:68:FF:7B");
    EXPECT_EQ(formatGeneratedMac(0x5A, 0xA5, 0), "02:DE:5A:00:A5:00");
}

TEST(DiscoveryMacs, GeneratedMacCarriesTheTimeAndRandomBytes)
{
    const std::regex form("02:DE:([0-9A-F]{2}):([0-9A-F]{2}):([0-9A-F]{2}):([0-9A-F]{2})");
    const auto msNow = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    std::vector<std::string> randomParts;
    for (int i = 0; i < 64; ++i) {
        const auto before = msNow();
        const std::string mac = generateMac();
        const auto after = msNow();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(mac, m, form)) << mac;
        bool timeFits = false;
        for (auto ms = before; ms <= after; ++ms)
            timeFits = timeFits ||
                       mac == formatGeneratedMac(std::uint8_t(std::stoi(m[1], nullptr, 16)),
                                                 std::uint8_t(std::stoi(m[3], nullptr, 16)), ms);
        EXPECT_TRUE(timeFits) << mac;
        randomParts.push_back(m[1].str() + m[3].str());
    }
    EXPECT_NE(std::count(randomParts.begin(), randomParts.end(), randomParts.front()), 64);
}

TEST(DiscoveryIdentity, StartGatewayEndsInOne)
{
    const std::pair<const char *, const char *> cases[] = {
        {"192.168.1.100", "192.168.1.1"},
        {"127.0.0.5", "127.0.0.1"},
        {"10.0.0.1", "10.0.0.1"},
        {"1.2.3", "1.2.3"},
        {"", ""},
        {"1.2.3.4.5", "1.2.3.4.5"},
    };
    for (const auto &[ip, gateway] : cases)
        EXPECT_EQ(startGateway(ip), gateway) << ip;
}

TEST(DiscoveryIdentity, EmptyValuesTakeTheDefaults)
{
    const CardIdentity given =
        CardIdentity::withDefaults("02:de:00:00:00:01", "10.0.0.2", "255.0.0.0", "10.0.0.1", 1234);
    EXPECT_EQ(given,
              (CardIdentity{"02:de:00:00:00:01", "10.0.0.2", "255.0.0.0", "10.0.0.1", 1234}));

    const CardIdentity empty = CardIdentity::withDefaults("", "", "", "", kDiscoveryPort);
    EXPECT_TRUE(std::regex_match(empty.mac, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}")))
        << empty.mac;
    EXPECT_EQ(empty.ip, "192.168.1.100");
    EXPECT_EQ(empty.subnetMask, "255.255.255.0");
    EXPECT_EQ(empty.gateway, "");
    EXPECT_EQ(empty.port, 23456);
}
