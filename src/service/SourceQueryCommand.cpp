// The real wiring of the operator's query (-q): the built-in servers through CRuVir's own
// exchange and checks, the web time page through CHttp, and a clock setter that only records.
#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/Sleeper.h"
#include "platform/Udp.h"
#include "schedule/CIniReader.h"
#include "service/SourceQuery.h"
#include "timesync/CHttp.h"

namespace kelvra {

int RunTimeSourceQuery(const std::function<void(const std::string&)>& write) {
    ServerList servers;  // not the worker's list: a query leaves the process-wide objects alone
    platform::StoppableSleeper sleeper;
    RecordingClockSetter recorder;
    CRuVir synchroniser(servers, platform::SystemUdp(), platform::SystemClock(), recorder, sleeper);
    CIniReader config;  // read only: the query writes nothing
    const SourceQueryDeps deps{
        servers,
        [&synchroniser](const std::string& server) {
            SystemTime time{};
            return synchroniser.QueryServerDetailed(server, time);
        },
        WebTimeHostFrom(config),
        MakeHttpPageGetter(platform::SystemHttp()),
        platform::SystemClock(),
    };
    return QueryExitCode(QueryTimeSources(deps, write));
}

}  // namespace kelvra
