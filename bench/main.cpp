// kelvra-bench: the accuracy and cost of one SNTP exchange, a cycle and the web time fallback,
// each beside its reference in the same run. Run by scripts/bench.sh inside a network namespace
// of its own (it binds 127.0.0.1:123 and runs ntpdig against it). Prints one line per figure:
//   ROW <tab> figure <tab> ours <tab> references <tab> target <tab> verdict
// The clock is never set: every clock setter here is a recorder. Exits 0 when every figure was
// measured (a missed target is in the table), 3 when an exchange did not go as it should.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "Command.h"
#include "DelayRelay.h"
#include "common/SntpTestServer.h"
#include "common/TestHttpNginx.h"
#include "common/TestTime.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/Sleeper.h"
#include "platform/Udp.h"
#include "timesync/CHttp.h"
#include "timesync/RuVir.h"
#include "timesync/SntpPacket.h"
#include "timesync/WebTimeFallback.h"

namespace kelvra::bench {
namespace {

using Steady = std::chrono::steady_clock;

constexpr char kRelayAddress[] = "127.0.0.1";    // the reference server, through the relay
constexpr char kRefusedAddress[] = "127.0.0.3";  // nothing bound on port 123
constexpr char kSilentAddress[] = "127.0.0.4";   // reads and never answers
constexpr uint16_t kPort = 123;                  // ntpdig has no port option

// Passes every exchange to the system's UDP layer and keeps the last one (T1, T4, the reply).
class RecordingUdp final : public platform::IUdpExchange {
public:
    platform::UdpExchangeResult Exchange(const std::string& host, uint16_t port, const uint8_t* request,
                                         size_t requestLength, uint8_t* reply, size_t replyCapacity,
                                         uint32_t timeoutMillis) override {
        last = platform::SystemUdp().Exchange(host, port, request, requestLength, reply, replyCapacity,
                                              timeoutMillis);
        lastReply.assign(reply, reply + std::min(last.length, replyCapacity));
        return last;
    }
    platform::UdpExchangeResult last;
    std::vector<uint8_t> lastReply;
};

// Takes the time the system would have set, and when.
class RecordingSetter final : public platform::IClockSetter {
public:
    bool SetLocalTime(const SystemTime& local) override {
        ++calls;
        time = local;
        atMicros = platform::SystemClock().WallMicros();
        return true;
    }
    int calls = 0;
    SystemTime time{};
    int64_t atMicros = 0;
};

double Median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MillisSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}


uint64_t ReadTimestamp(const std::vector<uint8_t>& reply, size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = v << 8 | reply[at + i];
    return v;
}

std::string Fixed(double value, int decimals, const char* unit) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%+.*f %s", decimals, value, unit);
    return text;
}

std::string Plain(double value, int decimals, const char* unit) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

void Row(const std::string& figure, const std::string& ours, const std::string& references,
         const std::string& target, const std::string& verdict) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), ours.c_str(), references.c_str(), target.c_str(),
                verdict.c_str());
    std::fflush(stdout);
}

struct NtpdigResult {
    bool ok = false;
    double offsetMillis = NAN;
    double elapsedMillis = 0;
};

// One ntpdig query (one sample, its own time-out); the offset from its JSON line.
NtpdigResult Ntpdig(const std::string& host, int timeoutSeconds) {
    NtpdigResult result;
    std::string output;
    const auto start = Steady::now();
    const int status = RunCommand("ntpdig -j -t " + std::to_string(timeoutSeconds) + " " + host + " 2>/dev/null",
                                  output);
    result.elapsedMillis = MillisSince(start);
    const size_t at = output.find("\"offset\":");
    if (status == 0 && at != std::string::npos) {
        result.ok = true;
        result.offsetMillis = std::strtod(output.c_str() + at + 9, nullptr) * 1000.0;
    }
    return result;
}

struct Options {
    int runs = 15;      // fast figures
    int slowRuns = 3;   // figures that wait for a time-out
    bool ntpdig = true;
    std::string nginxSite;
};

struct Bench {
    Options options;
    DelayRelay* relay = nullptr;
    bool failed = false;

    // Clock error after one exchange; the reference server's clock is this machine's, so the
    // true offset is zero and every figure below is an error.
    void Accuracy(uint32_t outMillis, uint32_t backMillis, const std::string& figure, bool symmetric) {
        relay->SetDelays(outMillis * 1000, backMillis * 1000);
        ServerList servers;
        RecordingUdp udp;
        RecordingSetter setter;
        platform::StoppableSleeper sleeper;
        CRuVir ruvir(servers, udp, platform::SystemClock(), setter, sleeper, nullptr, kPort);
        std::vector<double> ours, exact, uncorrected, ntpdig;
        int bad = 0;
        for (int i = 0; i < options.runs; ++i) {
            SystemTime time{};
            const SntpOutcome outcome = ruvir.QueryServerDetailed(kRelayAddress, time);
            if (outcome.status != SntpStatus::Ok || udp.lastReply.size() < sntp::kPacketBytes) {
                ++bad;
                continue;
            }
            const int64_t t1 = udp.last.sentMicros;
            const int64_t t4 = udp.last.receivedMicros;
            const int64_t t2 = sntp::NtpToUnixMicros(ReadTimestamp(udp.lastReply, 32));
            const int64_t t3 = sntp::NtpToUnixMicros(ReadTimestamp(udp.lastReply, 40));
            ours.push_back(double(kelvra::test::LocalMillisOf(time)) - double(t4) / 1000.0);
            exact.push_back(double(sntp::OffsetMicros(t1, t2, t3, t4)) / 1000.0);
            uncorrected.push_back(double(t3 - t4) / 1000.0);
            if (options.ntpdig) {
                const NtpdigResult r = Ntpdig(kRelayAddress, 5);
                if (r.ok) ntpdig.push_back(r.offsetMillis);
            }
        }
        const double m = Median(ours);
        std::string refs = "uncorrected " + Fixed(Median(uncorrected), 2, "ms") + "; ntpdig " +
                           (options.ntpdig ? Fixed(Median(ntpdig), 2, "ms") : std::string("not run")) +
                           "; ours before ms rounding " + Fixed(Median(exact), 3, "ms");
        if (bad) refs += "; " + std::to_string(bad) + " failed exchanges";
        failed |= bad != 0;
        if (symmetric) {
            const bool met = std::fabs(m) <= 1.0 && bad == 0;
            Row(figure, Fixed(m, 2, "ms"), refs, "|error| <= 1 ms", met ? "met" : "MISSED");
        } else {
            Row(figure, Fixed(m, 2, "ms"), refs, "none (SNTP's own error: +(out-back)/2 = +25 ms)", "-");
        }
    }

    void Failures() {
        ServerList servers;
        RecordingUdp udp;
        RecordingSetter setter;
        platform::StoppableSleeper sleeper;
        CRuVir ruvir(servers, udp, platform::SystemClock(), setter, sleeper, nullptr, kPort);
        std::vector<double> ours, ntpdig;
        int wrong = 0;
        for (int i = 0; i < options.runs; ++i) {
            SystemTime time{};
            const auto start = Steady::now();
            const SntpOutcome outcome = ruvir.QueryServerDetailed(kRefusedAddress, time);
            ours.push_back(MillisSince(start));
            wrong += outcome.status != SntpStatus::Refused;
        }
        for (int i = 0; options.ntpdig && i < options.slowRuns; ++i) ntpdig.push_back(Ntpdig(kRefusedAddress, 5).elapsedMillis);
        const double m = Median(ours);
        std::string refs = "ntpdig " + (options.ntpdig ? Plain(Median(ntpdig), 0, "ms") : std::string("not run")) +
                           " (-t 5; it waits out its time-out)";
        if (wrong) refs += "; " + std::to_string(wrong) + " runs not reported as refused";
        const bool met = m < 50.0 && wrong == 0;
        Row("refused port: time until it fails", Plain(m, 3, "ms"), refs, "< 50 ms", met ? "met" : "MISSED");
        failed |= wrong != 0;

        ours.clear();
        ntpdig.clear();
        wrong = 0;
        for (int i = 0; i < options.slowRuns; ++i) {
            SystemTime time{};
            const auto start = Steady::now();
            const SntpOutcome outcome = ruvir.QueryServerDetailed(kSilentAddress, time);
            ours.push_back(MillisSince(start));
            wrong += outcome.status != SntpStatus::Timeout;
            if (options.ntpdig) ntpdig.push_back(Ntpdig(kSilentAddress, 5).elapsedMillis);
        }
        refs = "ntpdig " + (options.ntpdig ? Plain(Median(ntpdig), 0, "ms") : std::string("not run")) + " (-t 5)";
        if (wrong) refs += "; " + std::to_string(wrong) + " runs not reported as a time-out";
        Row("silent server: time until it fails", Plain(Median(ours), 0, "ms"), refs,
            "none (receive time-out 5000 ms)", wrong ? "MISSED" : "-");
        failed |= wrong != 0;
    }

    void Cycle() {
        relay->SetDelays(0, 0);
        std::vector<double> cycle, exchange, ntpdig;
        int bad = 0;
        for (int i = 0; i < options.runs; ++i) {
            // A fresh object each time, as the 15-second spacing is kept per list entry.
            ServerList servers{kRelayAddress};
            RecordingUdp udp;
            RecordingSetter setter;
            platform::StoppableSleeper sleeper;
            CRuVir ruvir(servers, udp, platform::SystemClock(), setter, sleeper, nullptr, kPort);
            auto start = Steady::now();
            ruvir.SyncTime();
            cycle.push_back(MillisSince(start));
            bad += setter.calls != 1 || udp.last.status != platform::UdpStatus::Ok;
            SystemTime time{};
            start = Steady::now();
            ruvir.QueryServerDetailed(kRelayAddress, time);
            exchange.push_back(MillisSince(start));
            if (options.ntpdig) ntpdig.push_back(Ntpdig(kRelayAddress, 5).elapsedMillis);
        }
        std::string refs = "one bare exchange " + Plain(Median(exchange), 3, "ms") + "; ntpdig process " +
                           (options.ntpdig ? Plain(Median(ntpdig), 1, "ms") : std::string("not run"));
        if (bad) refs += "; " + std::to_string(bad) + " cycles did not set the clock from the first server";
        Row("whole cycle, healthy first server", Plain(Median(cycle), 3, "ms"), refs, "none", bad ? "MISSED" : "-");
        failed |= bad != 0;
    }

    void WebTime() {
        test::TestHttpNginx nginx;
        if (!nginx.Start(options.nginxSite)) {
            Row("web time fallback against nginx", "not run", nginx.Error(), "none", "MISSED");
            failed = true;
            return;
        }
        const std::string host = "127.0.0.1:" + std::to_string(nginx.Port());
        std::vector<double> fallback, fetch, error;
        int bad = 0;
        for (int i = 0; i < options.runs; ++i) {
            RecordingSetter setter;
            WebTimeFallback stage(MakeHttpPageGetter(platform::SystemHttp()), setter, [&] { return host; });
            std::string result;
            auto start = Steady::now();
            stage.Run(result);
            fallback.push_back(MillisSince(start));
            if (setter.calls == 1) {
                error.push_back(double(kelvra::test::LocalMillisOf(setter.time)) - double(setter.atMicros) / 1000.0);
            } else {
                ++bad;
            }
            std::string page;
            start = Steady::now();
            platform::SystemHttp().FetchPage("http://" + host + kWebTimePath, page);
            fetch.push_back(MillisSince(start));
        }
        std::string refs = "one bare HTTP fetch of the page " + Plain(Median(fetch), 3, "ms");
        if (bad) refs += "; " + std::to_string(bad) + " runs did not set the clock";
        Row("web time fallback against nginx (shipped config)", Plain(Median(fallback), 1, "ms"), refs, "none",
            bad ? "MISSED" : "-");
        Row("clock error via the web time page", Fixed(Median(error), 0, "ms"),
            "SNTP, 50 ms each way: see above", "none (the page has whole seconds: -1000..0 ms)", bad ? "MISSED" : "-");
        failed |= bad != 0;
    }
};

int Main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--slow-runs" && i + 1 < argc) {
            options.slowRuns = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--no-ntpdig") {
            options.ntpdig = false;
        } else if (arg == "--nginx-site" && i + 1 < argc) {
            options.nginxSite = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: kelvra-bench --nginx-site CONF [--runs N] [--slow-runs N] [--no-ntpdig]\n"
                         "(inside a network namespace of its own: it binds 127.0.0.1:123)\n");
            return 2;
        }
    }
    test::SntpTestServer server;  // this machine's clock, answering at once
    if (!server.ok()) {
        std::fprintf(stderr, "the reference server did not start\n");
        return 1;
    }
    DelayRelay relay;
    DelayRelay silent;
    if (!relay.Start(kRelayAddress, kPort, server.port()) || !silent.Start(kSilentAddress, kPort, 0)) {
        std::fprintf(stderr, "%s%s\n", relay.Error().c_str(), silent.Error().c_str());
        return 1;
    }
    Bench bench;
    bench.options = options;
    bench.relay = &relay;
    bench.Accuracy(50, 50, "clock error after one exchange, 50 ms each way", true);
    bench.Accuracy(50, 0, "clock error after one exchange, 50 ms out, none back", false);
    bench.Failures();
    bench.Cycle();
    bench.WebTime();
    return bench.failed ? 3 : 0;
}

}  // namespace
}  // namespace kelvra::bench

int main(int argc, char** argv) { return kelvra::bench::Main(argc, argv); }
