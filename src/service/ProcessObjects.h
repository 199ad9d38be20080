#pragma once

#include "schedule/CThread.h"
#include "service/CMyService.h"
#include "timesync/ServerList.h"

namespace kelvra {

// The process-wide objects, constructed before main in the order server list, worker holder,
// service object, and destroyed in the reverse order after it.
ServerList& TheServerList();
CThread& TheWorkerHolder();
CMyService& TheService();

}  // namespace kelvra
