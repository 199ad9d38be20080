// The three objects that live as long as the process. They are defined together in this one
// file so that their construction follows the order of definition (and their destruction the
// reverse): the server list, the worker holder, the service object.
#include "service/ProcessObjects.h"

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"
#include "platform/Sleeper.h"
#include "platform/Console.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/Udp.h"
#include "schedule/CIniReader.h"
#include "schedule/CThread.h"
#include "support/ClockText.h"
#include "support/DailyLog.h"
#include "timesync/CHttp.h"
#include "timesync/RuVir.h"
#include "timesync/WebTimeFallback.h"

namespace kelvra {
namespace {

// The body only counts seconds; nothing wakes its sleeps early.
platform::StoppableSleeper g_bodySleeper;

ServerList g_serverList;

// The worker's cycle: the servers, then the web time page.
class WorkerCycle final : public ISyncCycle {
public:
    // `sleeper` is the worker's: a stop also ends a wait for a server's 15-second spacing.
    WorkerCycle(IConfigStore& config, platform::ISleeper& sleeper)
        : web_(MakeHttpPageGetter(platform::SystemHttp()), platform::SystemClockSetter(), WebTimeHostFrom(config)),
          servers_(g_serverList, platform::SystemUdp(), platform::SystemClock(), platform::SystemClockSetter(),
                   sleeper, &web_) {}
    std::string SyncTime() override { return servers_.SyncTime(); }

private:
    WebTimeFallback web_;
    CRuVir servers_;
};

WorkerSetup MakeWorkerSetup() {
    WorkerSetup setup;
    setup.makeParts = [](platform::ISleeper& sleeper) {
        WorkerParts parts;
        auto store = std::make_unique<CIniReader>();
        parts.cycle = std::make_unique<WorkerCycle>(*store, sleeper);
        parts.store = std::move(store);
        return parts;
    };
    setup.log = [](const std::string& text) { WriteLog(text); };
    setup.now = [] { return FormatNow(); };
    return setup;
}

CThread g_workerHolder(MakeWorkerSetup());

CMyService g_service(ServiceDeps{
    platform::SystemServiceManager(),
    platform::SystemEventLog(),
    platform::SystemRegistry(),
    g_bodySleeper,
    [](const std::string& text) { WriteLog(text); },
    [] { return g_workerHolder.StartWorker(); },
    [](const std::string& text) { platform::WriteConsoleText(text); },
    platform::ExecutablePath(),
});

}  // namespace

ServerList& TheServerList() { return g_serverList; }
CThread& TheWorkerHolder() { return g_workerHolder; }
CMyService& TheService() { return g_service; }

}  // namespace kelvra
