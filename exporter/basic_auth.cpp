#include "exporter/basic_auth.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "exporter/basic_credentials.h"

namespace orbenix::exporter {
namespace {

// Verified pairs remembered at most; past it the oldest is forgotten.
constexpr std::size_t kMaxRemembered = 1000;

using Digest = std::array<unsigned char, 32>;

// True when bcrypt of `password` with the salt and cost of `hash` gives `hash`.
bool Matches(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();  // zeroed, as crypt_rn wants it the first time
    const char* result = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    const bool same = result != nullptr && std::strlen(result) == hash.size() &&
                      CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
    OPENSSL_cleanse(data.get(), sizeof *data);
    return same;
}

// A bcrypt setting of the same scheme and cost as `like`, with a random salt:
// an unknown user's password is checked against it, so that an unknown user
// takes as long as a known one.
std::string DummySetting(const std::string& like) {
    std::array<char, CRYPT_GENSALT_OUTPUT_SIZE> setting{};
    const bool shaped = like.size() > 6 && std::isdigit(static_cast<unsigned char>(like[4])) &&
                        std::isdigit(static_cast<unsigned char>(like[5]));
    const std::string prefix = shaped ? like.substr(0, 4) : "$2b$";
    const unsigned long cost = shaped ? static_cast<unsigned long>((like[4] - '0') * 10 + (like[5] - '0')) : 10;
    if (crypt_gensalt_rn(prefix.c_str(), cost, nullptr, 0, setting.data(), static_cast<int>(setting.size())) ==
        nullptr) {
        return like;  // the same cost all the same; the answer is "denied" whatever bcrypt says
    }
    return setting.data();
}

// What the pool's jobs share with the BasicAuth that posted them.
class PasswordChecker {
public:
    explicit PasswordChecker(std::vector<BasicAuthUser> users) {
        for (BasicAuthUser& user : users) hashes_.emplace(std::move(user.name), std::move(user.bcrypt_hash));
        if (!hashes_.empty()) dummy_ = DummySetting(hashes_.begin()->second);
        keyed_ = RAND_bytes(key_.data(), static_cast<int>(key_.size())) == 1;
    }

    bool empty() const { return hashes_.empty(); }

    // The stored hash of `user`, or the dummy setting (and false) for an unknown one.
    std::pair<const std::string*, bool> HashOf(const std::string& user) const {
        const auto found = hashes_.find(user);
        return found == hashes_.end() ? std::pair{&dummy_, false} : std::pair{&found->second, true};
    }

    // A keyed hash of the pair and the hash it was checked against; the key
    // is random per process, so a remembered digest reveals nothing.
    Digest Mac(const std::string& user, const std::string& hash, const std::string& password) const {
        std::string message;
        for (const std::string* part : {&user, &hash, &password}) {
            const std::uint64_t size = part->size();
            message.append(reinterpret_cast<const char*>(&size), sizeof size);
            message += *part;
        }
        Digest digest{};
        unsigned int length = 0;
        HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
             reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(), &length);
        OPENSSL_cleanse(message.data(), message.size());
        return digest;
    }

    bool Remembers(const Digest& digest) const {
        const std::lock_guard lock(mutex_);
        return remembered_.contains(digest);
    }

    void Remember(const Digest& digest) {
        if (!keyed_) return;
        const std::lock_guard lock(mutex_);
        if (!remembered_.insert(digest).second) return;
        order_.push_back(digest);
        if (order_.size() > kMaxRemembered) {
            remembered_.erase(order_.front());
            order_.pop_front();
        }
    }

private:
    std::map<std::string, std::string, std::less<>> hashes_;
    std::string dummy_;
    std::array<unsigned char, 32> key_{};
    bool keyed_ = false;
    mutable std::mutex mutex_;
    std::set<Digest> remembered_;
    std::deque<Digest> order_;
};

}  // namespace

struct BasicAuth::State {
    std::shared_ptr<PasswordPool> pool;
    // The jobs hold only the checker, never the pool: a job must not be what keeps its own pool alive.
    std::shared_ptr<PasswordChecker> checker;
};

BasicAuth::BasicAuth(std::vector<BasicAuthUser> users, std::shared_ptr<PasswordPool> pool)
    : state_(std::make_shared<State>(State{std::move(pool), std::make_shared<PasswordChecker>(std::move(users))})) {}

BasicAuth::~BasicAuth() = default;

bool BasicAuth::enabled() const { return !state_->checker->empty(); }

void BasicAuth::Check(std::optional<std::string_view> authorization, std::function<void(AuthVerdict)> done) const {
    if (!enabled()) return done(AuthVerdict::Allowed);
    if (!authorization) return done(AuthVerdict::Denied);
    std::optional<BasicCredentials> credentials = ParseBasicCredentials(*authorization);
    if (!credentials) return done(AuthVerdict::Denied);

    const auto [hash, known] = state_->checker->HashOf(credentials->user);
    const Digest digest = state_->checker->Mac(credentials->user, *hash, credentials->password);
    if (known && state_->checker->Remembers(digest)) return done(AuthVerdict::Allowed);
    if (!state_->pool) return done(AuthVerdict::Busy);

    auto answer = std::make_shared<std::function<void(AuthVerdict)>>(std::move(done));
    auto job = [checker = state_->checker, hash = *hash, known = known, digest, password = credentials->password,
                answer]() mutable {
        const bool right = Matches(password, hash) && known;
        OPENSSL_cleanse(password.data(), password.size());
        if (right) checker->Remember(digest);
        (*answer)(right ? AuthVerdict::Allowed : AuthVerdict::Denied);
    };
    OPENSSL_cleanse(credentials->password.data(), credentials->password.size());
    if (!state_->pool->Post(std::move(job))) (*answer)(AuthVerdict::Busy);
}

}  // namespace orbenix::exporter
