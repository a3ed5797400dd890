// Authentication challenges and HTTPS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "HttpFetch.h"
#include "camsim/Simulator.h"

namespace darvik::camsim {
namespace {

using brevane::test::Fetch;
using brevane::test::FetchOptions;

std::unique_ptr<Simulator> StartWith(AuthMode mode) {
    Config config;
    config.auth = mode;
    config.user = "operator";
    config.password = "s3cret";
    config.realm = "Darvik TC-830NX";
    auto sim = std::make_unique<Simulator>(config);
    std::string error;
    EXPECT_TRUE(sim->Start(&error)) << error;
    return sim;
}

FetchOptions Credentials(long auth, const std::string& password = "s3cret") {
    FetchOptions options;
    options.auth = auth;
    options.user = "operator";
    options.password = password;
    return options;
}

TEST(SimulatorAuthTest, BasicChallengeAndCheck) {
    auto sim = StartWith(AuthMode::Basic);
    const std::string url = sim->Url() + "/cgi-bin/get?sys";
    auto anonymous = Fetch(url);
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_TRUE(anonymous.HasHeader("WWW-Authenticate: Basic realm=\"Darvik TC-830NX\""));
    EXPECT_FALSE(anonymous.HasHeader("WWW-Authenticate: Digest"));

    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_BASIC)).status, 200);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_BASIC, "wrong")).status, 401);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_DIGEST)).status, 401);  // Basic only: Digest is not offered

    const auto log = sim->RequestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].auth, AuthScheme::None);
    EXPECT_EQ(log[0].status, 401u);
    EXPECT_EQ(log[1].auth, AuthScheme::Basic);
    EXPECT_EQ(log[1].status, 200u);
    EXPECT_EQ(log[2].auth, AuthScheme::Basic);
    EXPECT_EQ(log[2].status, 401u);
}

TEST(SimulatorAuthTest, DigestChallengeAndCheck) {
    auto sim = StartWith(AuthMode::Digest);
    const std::string url = sim->Url() + "/cgi-bin/set?p_panl=7&p_tilu=7";
    auto anonymous = Fetch(url);
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_TRUE(anonymous.HasHeader("WWW-Authenticate: Digest"));
    EXPECT_FALSE(anonymous.HasHeader("WWW-Authenticate: Basic"));

    sim->ClearRequestLog();
    auto ok = Fetch(url, Credentials(CURLAUTH_DIGEST));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "OK\r\n");
    EXPECT_EQ(sim->Head().pan.direction, -1);
    auto log = sim->RequestLog();
    ASSERT_EQ(log.size(), 2u);  // the probe without credentials, then the answer
    EXPECT_EQ(log[0].auth, AuthScheme::None);
    EXPECT_EQ(log[1].auth, AuthScheme::Digest);
    EXPECT_EQ(log[1].target, "/cgi-bin/set?p_panl=7&p_tilu=7");
    EXPECT_EQ(log[1].status, 200u);

    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_DIGEST, "wrong")).status, 401);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_BASIC)).status, 401);  // Basic is not accepted
}

TEST(SimulatorAuthTest, BasicAndDigestOfferBothInOneChallenge) {
    auto sim = StartWith(AuthMode::BasicAndDigest);
    const std::string url = sim->Url() + "/cgi-bin/get?mpg";
    auto anonymous = Fetch(url);
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_EQ(anonymous.CountHeaders("WWW-Authenticate:"), 2);
    EXPECT_TRUE(anonymous.HasHeader("WWW-Authenticate: Basic"));
    EXPECT_TRUE(anonymous.HasHeader("WWW-Authenticate: Digest"));

    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_BASIC)).status, 200);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_DIGEST)).status, 200);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_ANY)).status, 200);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_BASIC, "wrong")).status, 401);
    EXPECT_EQ(Fetch(url, Credentials(CURLAUTH_DIGEST, "wrong")).status, 401);
}

class SimulatorHttpsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("camsim-tls-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(dir);
        const std::string command =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=camera "
            "-keyout '" + (dir / "key.pem").string() + "' -out '" + (dir / "cert.pem").string() +
            "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "openssl could not make a certificate";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
};

TEST_F(SimulatorHttpsTest, ServesOverTlsWithSelfSignedCertificate) {
    Config config;
    config.httpsCertFile = (dir / "cert.pem").string();
    config.httpsKeyFile = (dir / "key.pem").string();
    config.auth = AuthMode::Digest;
    config.user = "u";
    config.password = "p";
    Simulator sim(config);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    ASSERT_EQ(sim.Url().rfind("https://127.0.0.1:", 0), 0u) << sim.Url();

    FetchOptions options;
    options.auth = CURLAUTH_DIGEST;
    options.user = "u";
    options.password = "p";
    auto reply = Fetch(sim.Url() + "/cgi-bin/get?net", options);
    ASSERT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("n_madr:00-11-22-33-44-AA\r\n"), std::string::npos);

    // Plain HTTP on the TLS port gets no answer.
    std::string plain = "http://127.0.0.1:" + std::to_string(sim.Port()) + "/cgi-bin/get?net";
    FetchOptions quick;
    quick.timeoutMs = 2000;
    EXPECT_NE(Fetch(plain, quick).status, 200);
}

TEST_F(SimulatorHttpsTest, MissingOrBadKeyFilesFailToStart) {
    Config config;
    config.httpsCertFile = (dir / "cert.pem").string();
    std::string error;
    EXPECT_FALSE(Simulator(config).Start(&error));
    EXPECT_NE(error.find("key"), std::string::npos) << error;

    config.httpsKeyFile = (dir / "absent.pem").string();
    EXPECT_FALSE(Simulator(config).Start(&error));
    EXPECT_NE(error.find("absent.pem"), std::string::npos) << error;

    std::ofstream(dir / "junk.pem") << "not a key\n";
    config.httpsKeyFile = (dir / "junk.pem").string();
    EXPECT_FALSE(Simulator(config).Start(&error));
}

}  // namespace
}  // namespace darvik::camsim
