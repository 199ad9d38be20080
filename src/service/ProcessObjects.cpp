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
#include "support/DailyLog.h"

namespace kelvra {
namespace {

// The body only counts seconds; nothing wakes its sleeps early.
platform::StoppableSleeper g_bodySleeper;

ServerList g_serverList;

bool StartWorker();

CMyService g_service(ServiceDeps{
    platform::SystemServiceManager(),
    platform::SystemEventLog(),
    platform::SystemRegistry(),
    g_bodySleeper,
    [](const std::string& text) { WriteLog(text); },
    [] { return StartWorker(); },
    [](const std::string& text) { platform::WriteConsoleText(text); },
    platform::ExecutablePath(),
});

bool StartWorker() { return false; }

}  // namespace

ServerList& TheServerList() { return g_serverList; }
CMyService& TheService() { return g_service; }

}  // namespace kelvra
