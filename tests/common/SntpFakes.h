#pragma once
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/SntpTestServer.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/Udp.h"
#include "timesync/WebTimeStage.h"

namespace kelvra::test {

// A clock that moves only when the test (or the fake sleeper and exchange) moves it.
class SntpFakeClock final : public platform::IClock {
public:
    int64_t WallMicros() override { return wallMicros; }
    int64_t MonotonicMillis() override { return monotonicMillis; }
    void Advance(int64_t millis) {
        wallMicros += millis * 1000;
        monotonicMillis += millis;
    }
    int64_t wallMicros = 1700000000LL * 1000000;
    int64_t monotonicMillis = 1000000;
};

// Sleeps by moving the fake clock; a stop makes every sleep return false at once.
class SntpFakeSleeper final : public platform::ISleeper {
public:
    explicit SntpFakeSleeper(SntpFakeClock& clock) : clock_(clock) {}
    bool Sleep(uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        if (stop) return false;
        clock_.Advance(milliseconds);
        return true;
    }
    bool StopRequested() const override { return stop; }
    bool stop = false;
    std::vector<uint32_t> sleeps;

private:
    SntpFakeClock& clock_;
};

class SntpFakeClockSetter final : public platform::IClockSetter {
public:
    bool SetLocalTime(const SystemTime& local) override {
        settings.push_back(local);
        return results.empty() ? succeed : results[(settings.size() - 1) % results.size()];
    }
    bool succeed = true;
    std::vector<bool> results;  // when set: the answers in turn, repeated
    std::vector<SystemTime> settings;
};

class SntpFakeWebStage final : public IWebTimeStage {
public:
    void Run(std::string& resultText) override {
        ++runs;
        handedText = resultText;
        if (!replacement.empty()) resultText = replacement;
    }
    int runs = 0;
    std::string handedText;
    std::string replacement;
};

// Answers exchanges by host name without a network: a good server reply, silence, or a
// kiss-o'-death. Records each request with the monotonic time it was sent.
class SntpFakeUdp final : public platform::IUdpExchange {
public:
    enum class Mode { Answer, Silent, Kiss };
    struct Call {
        std::string host;
        int64_t monotonicMillis;
    };

    explicit SntpFakeUdp(SntpFakeClock& clock) : clock_(clock) {}

    void Reset() {
        calls.clear();
        modes_.clear();
    }

    void Set(const std::string& host, Mode mode, const std::string& kissCode = "") {
        modes_[host] = {mode, kissCode};
    }

    platform::UdpExchangeResult Exchange(const std::string& host, uint16_t, const uint8_t* request,
                                         size_t requestLength, uint8_t* reply, size_t replyCapacity,
                                         uint32_t timeoutMillis) override {
        calls.push_back({host, clock_.MonotonicMillis()});
        platform::UdpExchangeResult result;
        result.sentMicros = clock_.WallMicros();
        const auto found = modes_.find(host);
        const Mode mode = found == modes_.end() ? Mode::Silent : found->second.first;
        if (mode == Mode::Silent || requestLength < 48 || replyCapacity < 48) {
            clock_.Advance(timeoutMillis);
            result.status = platform::UdpStatus::Timeout;
            return result;
        }
        clock_.Advance(10);
        std::memset(reply, 0, 48);
        reply[0] = 0x0C;
        reply[1] = 2;
        std::memcpy(reply + 24, request + 40, 8);
        const uint64_t now = SntpTimestampOfUnixMicros(clock_.WallMicros());
        for (int i = 0; i < 8; ++i) {
            reply[32 + i] = reply[40 + i] = uint8_t(now >> (56 - 8 * i));
        }
        if (mode == Mode::Kiss) {
            reply[1] = 0;
            const std::string& code = found->second.second;
            std::memcpy(reply + 12, code.data(), code.size() < 4 ? code.size() : 4);
        }
        clock_.Advance(10);
        result.receivedMicros = clock_.WallMicros();
        result.length = 48;
        result.status = platform::UdpStatus::Ok;
        return result;
    }

    std::vector<std::string> Hosts() const {
        std::vector<std::string> hosts;
        for (const Call& c : calls) hosts.push_back(c.host);
        return hosts;
    }
    std::vector<Call> calls;

private:
    SntpFakeClock& clock_;
    std::map<std::string, std::pair<Mode, std::string>> modes_;
};

// True only when this process certainly cannot change the machine's clock: it reads the
// kernel's capability set (natively or, under Wine, through the Z: drive) and finds no
// CAP_SYS_TIME. False when it cannot tell.
bool SntpClockChangeImpossible();

}  // namespace kelvra::test
