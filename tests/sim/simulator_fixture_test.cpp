// The fixture that other tests rely on: it starts the simulator, and its
// request log reads back exactly what crossed the wire.
#include "support/simulator.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* sink)
{
    static_cast<std::string*>(sink)->append(data, size * count);
    return size * count;
}

std::string fetch(const std::string& url, CURLcode* result = nullptr)
{
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    std::string body;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_TFTP_BLKSIZE, 128L);
    const CURLcode code = curl_easy_perform(curl.get());
    if (result != nullptr)
        *result = code;
    return body;
}

std::string sha256_hex(const std::string& data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

} // namespace

TEST(SimulatorFixture, LogsEachRequestWithWhatWasSent)
{
    Simulator sim({"--model", "ZANTOR-4", "--flash-size", "1000"});
    const std::string status = fetch("http://" + sim.address() + "/api/v100/status.ssi");
    const std::string flash = fetch("tftp://" + sim.address() + "/flashfs.bin");
    EXPECT_NE(status.find("\"model_name\": \"ZANTOR-4\""), std::string::npos);
    EXPECT_EQ(flash.size(), 1000u);

    const std::vector<SimRequest> log = sim.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, "GET");
    EXPECT_EQ(log[0].path, "/api/v100/status.ssi");
    EXPECT_EQ(log[0].query, "");
    EXPECT_EQ(log[0].outcome, "ok");
    EXPECT_EQ(log[0].bytes, status.size());
    EXPECT_EQ(log[0].sha256, sha256_hex(status));

    EXPECT_EQ(log[1].kind, "RRQ");
    EXPECT_EQ(log[1].path, "flashfs.bin");
    EXPECT_EQ(log[1].options.at("blksize"), "128");
    EXPECT_EQ(log[1].bytes, 1000u);
    EXPECT_EQ(log[1].sha256, sha256_hex(flash));
    EXPECT_NE(log[1].raw.find("\"kind\": \"RRQ\""), std::string::npos);
}

TEST(SimulatorFixture, SimulatorsRunSideBySideOnTheirOwnPorts)
{
    Simulator a;
    Simulator b({"--http-404"});
    EXPECT_NE(a.port(), b.port());
    fetch("http://" + a.address() + "/api/v100/status.ssi");
    EXPECT_EQ(a.requests().at(0).outcome, "ok");
    EXPECT_EQ(b.requests().size(), 0u);
}

TEST(SimulatorFixture, RefusedArgumentsAreReportedAtStart)
{
    EXPECT_THROW(Simulator({"--no-such-flag"}), std::runtime_error);
}

TEST(SimulatorFixture, StoppedSimulatorNoLongerAnswers)
{
    std::string address;
    {
        Simulator sim;
        address = sim.address();
    }
    CURLcode code = CURLE_OK;
    fetch("http://" + address + "/api/v100/status.ssi", &code);
    EXPECT_EQ(code, CURLE_COULDNT_CONNECT);
}

TEST(SimulatorRequestLine, NestedMembersArePassedOver)
{
    const SimRequest r = parse_sim_request(
        R"({"kind": "GET", "stored": ["/a", {"x": 1}], "rejected": {"p": "bad"}, "bytes": 76, "outcome": "ok"})");
    EXPECT_EQ(r.kind, "GET");
    EXPECT_EQ(r.bytes, 76u);
    EXPECT_EQ(r.outcome, "ok");
}

TEST(SimulatorRequestLine, BrokenLinesAreRefused)
{
    EXPECT_THROW(parse_sim_request(R"({"kind": "GET", "bytes": )"), std::runtime_error);
    EXPECT_THROW(parse_sim_request(R"(["kind", "GET"])"), std::runtime_error);
}
