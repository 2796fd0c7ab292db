#include <crypt.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "exporter/basic_auth.h"
#include "exporter/basic_credentials.h"

namespace orbenix::exporter {
namespace {

using namespace std::chrono_literals;

std::string Base64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string Basic(const std::string& user, const std::string& password) {
    return "Basic " + Base64(user + ":" + password);
}

// A real bcrypt hash of cost 4 (the lowest, for speed) with the given prefix.
std::string Bcrypt(const std::string& password, const char* prefix = "$2b$") {
    std::array<char, CRYPT_GENSALT_OUTPUT_SIZE> setting{};
    EXPECT_NE(crypt_gensalt_rn(prefix, 4, nullptr, 0, setting.data(), static_cast<int>(setting.size())), nullptr);
    crypt_data data{};
    const char* hash = crypt_rn(password.c_str(), setting.data(), &data, sizeof data);
    EXPECT_NE(hash, nullptr);
    return hash ? hash : "";
}

TEST(BasicAuthHeader, TakesOnlyWellFormedBasicCredentials) {
    const std::string long_password(756, 'p');  // "Basic " and the base64 of "alice:" and it: 1022 bytes
    const struct { std::string header; bool taken; std::string user, password; } cases[] = {
        {Basic("alice", "s3cret"), true, "alice", "s3cret"},
        {"basic " + Base64("alice:s3cret"), true, "alice", "s3cret"},
        {"BASIC   " + Base64("alice:s3cret") + " ", true, "alice", "s3cret"},
        {Basic("alice", "pa:ss"), true, "alice", "pa:ss"},  // the first colon ends the user name
        {Basic("", ""), true, "", ""},
        {Basic("al\xc3\xaf" "ce", "\xe2\x82\xac"), true, "al\xc3\xaf" "ce", "\xe2\x82\xac"},
        {"Basic " + Base64("alice:" + long_password), true, "alice", long_password},
        {"Basic " + Base64("alice"), false, "", ""},  // no colon
        {"Basic", false, "", ""},
        {"Basic ", false, "", ""},
        {"Basicx " + Base64("alice:s"), false, "", ""},
        {"Basic\t" + Base64("alice:s"), false, "", ""},
        {"Bearer " + Base64("alice:s"), false, "", ""},
        {"Digest username=\"alice\"", false, "", ""},
        {"Basic YWxp*2U6cw==", false, "", ""},        // not base64
        {"Basic YWxpY2U6cw", false, "", ""},          // padding missing
        {"Basic YQ==YWxpY2U6cw==", false, "", ""},    // padding inside
        {"Basic YWxpY2U6c===", false, "", ""},
        {"Basic " + Base64(std::string("alice:s\0x", 9)), false, "", ""},  // bcrypt would stop at the zero
        {"Basic " + Base64("alice:" + std::string(800, 'p')), false, "", ""},  // above 1 KiB
    };
    for (const auto& c : cases) {
        const auto credentials = ParseBasicCredentials(c.header);
        ASSERT_EQ(credentials.has_value(), c.taken) << c.header.size() << " " << c.header.substr(0, 40);
        if (!c.taken) continue;
        EXPECT_EQ(credentials->user, c.user);
        EXPECT_EQ(credentials->password, c.password);
    }
    EXPECT_LE(("Basic " + Base64("alice:" + long_password)).size(), kMaxAuthorizationBytes);
}

// What `done` was called with, and whether it was called before Check returned.
struct Answer {
    std::promise<AuthVerdict> verdict;
    std::future<AuthVerdict> future = verdict.get_future();
    std::atomic<bool> called{false};
    std::thread::id thread;

    std::function<void(AuthVerdict)> Done() {
        return [this](AuthVerdict v) {
            EXPECT_FALSE(called.exchange(true)) << "done was called twice";
            thread = std::this_thread::get_id();
            verdict.set_value(v);
        };
    }
    // Bounded, so that a lost call fails the test instead of hanging it.
    AuthVerdict Wait() {
        if (future.wait_for(60s) != std::future_status::ready) {
            ADD_FAILURE() << "done was never called";
            return AuthVerdict::Busy;
        }
        return future.get();
    }
};

AuthVerdict Verdict(const BasicAuth& auth, std::optional<std::string> header) {
    Answer answer;
    auth.Check(header ? std::optional<std::string_view>(*header) : std::nullopt, answer.Done());
    return answer.Wait();
}

// Holds the pool's only thread until released, so the test sees what reached the queue.
class PoolBlocker {
public:
    explicit PoolBlocker(PasswordPool& pool) {
        auto started = std::make_shared<std::promise<void>>();
        std::future<void> running = started->get_future();
        EXPECT_TRUE(pool.Post([started, release = release_.get_future().share()] {
            started->set_value();
            release.wait_for(60s);
        }));
        running.wait_for(60s);
    }
    ~PoolBlocker() { Release(); }
    void Release() {
        if (!released_) release_.set_value();
        released_ = true;
    }

private:
    std::promise<void> release_;
    bool released_ = false;
};

class BasicAuthCheck : public ::testing::Test {
protected:
    std::vector<BasicAuthUser> Users() {
        return {{"alice", Bcrypt("wonderland")}, {"bob", Bcrypt("builder", "$2y$")}, {"carol", Bcrypt("c", "$2a$")}};
    }
};

TEST_F(BasicAuthCheck, AllowsOnlyAKnownUserWithTheRightPassword) {
    const BasicAuth auth(Users(), std::make_shared<PasswordPool>(2, 16));
    ASSERT_TRUE(auth.enabled());
    const struct { std::optional<std::string> header; AuthVerdict verdict; } cases[] = {
        {Basic("alice", "wonderland"), AuthVerdict::Allowed},
        {Basic("bob", "builder"), AuthVerdict::Allowed},  // $2y$
        {Basic("carol", "c"), AuthVerdict::Allowed},      // $2a$
        {Basic("alice", "Wonderland"), AuthVerdict::Denied},
        {Basic("alice", "wonderland "), AuthVerdict::Denied},
        {Basic("alice", ""), AuthVerdict::Denied},
        {Basic("Alice", "wonderland"), AuthVerdict::Denied},
        {Basic("bob", "wonderland"), AuthVerdict::Denied},      // another user's password
        {Basic("mallory", "wonderland"), AuthVerdict::Denied},  // unknown user
        {std::nullopt, AuthVerdict::Denied},
        {"Basic !!!", AuthVerdict::Denied},
        {Basic("alice", "wonderland"), AuthVerdict::Allowed},  // now from memory
        {Basic("alice", "wonderlan"), AuthVerdict::Denied},    // ... which holds only that pair
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Verdict(auth, c.header), c.verdict) << c.header.value_or("(no header)");
    }
}

// With the pool held, a verdict that needs no bcrypt comes at once; one that
// does waits in the queue, an unknown user included, and a full queue is Busy.
TEST_F(BasicAuthCheck, OnlyTheVerdictsThatNeedNoBcryptComeAtOnce) {
    auto pool = std::make_shared<PasswordPool>(1, 3);
    const BasicAuth auth(Users(), pool);
    ASSERT_EQ(Verdict(auth, Basic("alice", "wonderland")), AuthVerdict::Allowed);

    PoolBlocker blocker(*pool);
    const struct { std::optional<std::string> header; bool at_once; AuthVerdict verdict; } cases[] = {
        {std::nullopt, true, AuthVerdict::Denied},
        {"Basic " + Base64("alice"), true, AuthVerdict::Denied},
        {"Basic " + Base64("alice:" + std::string(1100, 'x')), true, AuthVerdict::Denied},
        {Basic("alice", "wonderland"), true, AuthVerdict::Allowed},  // remembered
        {Basic("alice", "wrong"), false, AuthVerdict::Denied},       // wrong passwords are never remembered
        {Basic("mallory", "wonderland"), false, AuthVerdict::Denied},  // costs one bcrypt, like a known user
        {Basic("bob", "builder"), false, AuthVerdict::Allowed},
        {Basic("bob", "builder"), true, AuthVerdict::Busy},  // the queue holds 3
    };
    std::vector<std::unique_ptr<Answer>> waiting;
    for (const auto& c : cases) {
        auto answer = std::make_unique<Answer>();
        auth.Check(c.header ? std::optional<std::string_view>(*c.header) : std::nullopt, answer->Done());
        EXPECT_EQ(answer->called.load(), c.at_once) << c.header.value_or("(no header)");
        if (c.at_once) {
            EXPECT_EQ(answer->Wait(), c.verdict) << c.header.value_or("(no header)");
        } else {
            waiting.push_back(std::move(answer));
        }
    }
    blocker.Release();
    const AuthVerdict queued[] = {AuthVerdict::Denied, AuthVerdict::Denied, AuthVerdict::Allowed};
    ASSERT_EQ(waiting.size(), std::size(queued));
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        EXPECT_EQ(waiting[i]->Wait(), queued[i]) << i;
        EXPECT_NE(waiting[i]->thread, std::this_thread::get_id()) << "bcrypt ran on a pool thread";
    }
}

TEST(BasicAuthPool, ThreadsRunNicerThanTheProcess) {
    errno = 0;
    const int process_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    ASSERT_EQ(errno, 0);
    if (process_nice >= 19) GTEST_SKIP() << "the process already runs at the lowest priority";
    PasswordPool pool(2, 4);
    std::promise<int> nice;
    ASSERT_TRUE(pool.Post([&] { nice.set_value(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))); }));
    auto future = nice.get_future();
    ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
    EXPECT_GT(future.get(), process_nice);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), process_nice) << "only the pool's threads";
}

TEST(BasicAuthPool, DestructorRunsTheQueuedJobsAndRefusesBeyondTheBound) {
    std::atomic<int> ran{0};
    {
        PasswordPool pool(1, 3);
        PoolBlocker blocker(pool);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(pool.Post([&] { ++ran; }));
        EXPECT_FALSE(pool.Post([&] { ran += 100; }));
        blocker.Release();
    }
    EXPECT_EQ(ran.load(), 3);
}

}  // namespace
}  // namespace orbenix::exporter
